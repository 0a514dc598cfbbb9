// Files with the folders they are in: a folder picked (its files carry
// their path, webkitRelativePath) or dropped (walked, subfolders and all,
// through the entries the drop gives). Each file comes with its folder, the
// path from the folder chosen down to it, "" for a file given alone:
// [{file, folder: 'Game/Level 1/'}, ...], in the order of their paths.

// Hidden files (".DS_Store") are a system's, not the visitor's.
function hidden(name) {
  return name.startsWith('.');
}

const byPath = (a, b) => (a.folder + a.file.name).localeCompare(b.folder + b.file.name, undefined,
                                                                 {numeric: true});

// The files of a folder input.
export function pickedFolder(files) {
  const found = [];
  for (const file of files) {
    const path = file.webkitRelativePath || file.name;
    const folder = path.slice(0, path.length - file.name.length);
    if (!path.split('/').some(hidden)) found.push({file, folder});
  }
  return found.sort(byPath);
}

function readBatch(reader) {
  return new Promise((resolve, reject) => reader.readEntries(resolve, reject));
}

async function walk(entry, folder, found) {
  if (hidden(entry.name)) return;
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    found.push({file, folder});
    return;
  }
  // A folder's entries come a batch at a time, until an empty one.
  const reader = entry.createReader();
  const children = [];
  for (let batch = await readBatch(reader); batch.length > 0; batch = await readBatch(reader)) {
    children.push(...batch);
  }
  for (const child of children) await walk(child, folder + entry.name + '/', found);
}

// The files of a drop. Its entries must be taken while the drop event
// lasts: this is to be called in the handler, before anything is awaited.
export function droppedFiles(transfer) {
  const items = [...(transfer.items || [])].filter((item) => item.kind === 'file');
  const entries = items.map((item) => (item.webkitGetAsEntry ? item.webkitGetAsEntry() : null));
  if (!entries.some((entry) => entry && entry.isDirectory)) {
    return Promise.resolve([...transfer.files].map((file) => ({file, folder: ''})));
  }
  const loose = items.map((item, i) => (entries[i] ? null : item.getAsFile()));
  return (async () => {
    const found = [];
    for (let i = 0; i < entries.length; ++i) {
      if (entries[i]) await walk(entries[i], '', found);
      else if (loose[i]) found.push({file: loose[i], folder: ''});
    }
    return found.sort(byPath);
  })();
}
