// The SoundFont chosen, kept in the browser's own storage (IndexedDB) for
// the next visit: the file as it was picked, under its name. Storage may be
// refused (a private window, a full disk): then the choice holds for this
// visit only, and the caller says so.

const DATABASE = 'mthc';
const STORE = 'soundfont';
const KEY = 'chosen';

function open() {
  return new Promise((resolve, reject) => {
    const request = indexedDB.open(DATABASE, 1);
    request.onupgradeneeded = () => request.result.createObjectStore(STORE);
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}

async function withStore(mode, work) {
  const database = await open();
  try {
    return await new Promise((resolve, reject) => {
      const transaction = database.transaction(STORE, mode);
      const request = work(transaction.objectStore(STORE));
      transaction.oncomplete = () => resolve(request.result);
      transaction.onerror = () => reject(transaction.error);
      transaction.onabort = () => reject(transaction.error || new Error('the browser stopped it'));
    });
  } finally {
    database.close();
  }
}

// {name, file} or null.
export async function keptSoundFont() {
  const kept = await withStore('readonly', (store) => store.get(KEY));
  return kept && kept.file instanceof Blob ? {name: String(kept.name), file: kept.file} : null;
}

export function keepSoundFont(name, file) {
  return withStore('readwrite', (store) => store.put({name, file}, KEY));
}

export function forgetSoundFont() {
  return withStore('readwrite', (store) => store.delete(KEY));
}
