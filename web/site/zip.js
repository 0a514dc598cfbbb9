// "Download all": every output of the list in one zip archive, made by a
// converter (fflate), in the folders its input came in, with every part of
// every path safe to unpack anywhere.

import {askZip, trouble} from './converters.js';
import {element} from './dom.js';
import {safeFolder, safeName, unusedName} from './naming.js';
import {bytesText} from './numbers.js';
import {rows, updateList} from './rows.js';

const downloadAll = document.getElementById('download-all');
let zipLink = null;

function makeZip() {
  const entries = [];
  const taken = new Set();
  for (const row of rows.values()) {
    if (!row.blob) continue;
    const folder = safeFolder(row.folder);
    const name = folder + unusedName(safeName(row.outputName), taken, folder);
    taken.add(name.toLowerCase());
    entries.push({name, blob: row.blob});
  }
  downloadAll.disabled = true;
  downloadAll.textContent = 'Making the zip archive…';
  if (!askZip(entries)) finishZip({error: trouble() || 'no converter'});
}

export function forgetZip() {
  if (!zipLink) return;
  URL.revokeObjectURL(zipLink.href);
  zipLink.remove();
  zipLink = null;
}

// The converter's answer: the archive, or why there is none.
export function finishZip({archive, error}) {
  downloadAll.textContent = 'Download all (zip)';
  updateList();
  forgetZip();
  zipLink = element('a', 'zip-link');
  zipLink.id = 'zip-link';
  zipLink.download = 'mthc-files.zip';
  downloadAll.parentNode.append(zipLink);
  if (error) {
    zipLink.textContent = 'The zip archive could not be made: ' + error;
    return;
  }
  zipLink.href = URL.createObjectURL(new Blob([archive], {type: 'application/zip'}));
  zipLink.textContent = 'mthc-files.zip (' + bytesText(archive.byteLength) + ')';
  zipLink.click();
}

export function resetZip() {
  forgetZip();
  downloadAll.textContent = 'Download all (zip)';
}

downloadAll.addEventListener('click', makeZip);
