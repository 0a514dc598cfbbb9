// Names of the files the page gives: safe to save and to put in a zip
// archive, whatever the input was called.

// At most this many bytes of UTF-8 in a name, the extension kept.
export const MAX_NAME_BYTES = 200;

// A name may hold anything but '/' on Linux: here it gets no folders, no
// "..", and no characters or names that Windows refuses.
export function safeName(name) {
  let safe = name.replace(/[\\/]/g, '_')
                 .replace(/[\u0000-\u001f\u007f<>:"|?*]/g, '_')
                 .replace(/\.{2,}/g, '.')
                 .replace(/^[.\s]+|[.\s]+$/g, '');
  if (/^(con|prn|aux|nul|com\d|lpt\d)(\.|$)/i.test(safe)) safe = '_' + safe;
  const dot = safe.lastIndexOf('.');
  const extension = dot > 0 ? safe.slice(dot) : '';
  let stem = dot > 0 ? safe.slice(0, dot) : safe;
  const encoder = new TextEncoder();
  while (encoder.encode(stem + extension).length > MAX_NAME_BYTES) {
    stem = [...stem].slice(0, -1).join('');
  }
  return (stem || 'file') + extension;
}

// A folder's path ('Game/Level 1/') with each of its parts a safe name:
// no part is "..", empty or a name that Windows refuses.
export function safeFolder(folder) {
  return folder.split('/').filter((part) => part !== '').map((part) => safeName(part) + '/')
               .join('');
}

// `safe` (a safe name), numbered " (2)", " (3)" … until `taken` (lower
// case paths) does not have it in `folder` (a safe folder, or ''): two
// inputs may give the same name (a.mid and a.midi).
export function unusedName(safe, taken, folder = '') {
  const dot = safe.lastIndexOf('.');
  let name = safe;
  for (let n = 2; taken.has((folder + name).toLowerCase()); ++n) {
    name = safe.slice(0, dot) + ' (' + n + ')' + safe.slice(dot);
  }
  return name;
}
