// Files come in through the file input (the drop zone is its label, so the
// keyboard reaches it too), the folder input, or dropped on the drop zone,
// folders too (folders.js). A SoundFont picked or dropped there, or dropped
// anywhere on the page, is not converted: songs play through it
// (soundfont-choice.js).

import {droppedFiles, pickedFolder} from './folders.js';
import {addFiles} from './rows.js';
import {chooseSoundFont, isSoundFont} from './soundfont-choice.js';

// `given`: [{file, folder}].
function take(given, convert) {
  const soundFonts = given.filter(({file}) => isSoundFont(file));
  if (soundFonts.length > 0) chooseSoundFont(soundFonts[soundFonts.length - 1].file);
  if (convert) addFiles(given.filter(({file}) => !isSoundFont(file)));
}

const filesInput = document.getElementById('files');
const folderInput = document.getElementById('folder');
const drop = document.getElementById('drop');

filesInput.addEventListener('change', () => {
  take([...filesInput.files].map((file) => ({file, folder: ''})), true);
  filesInput.value = '';
});
folderInput.addEventListener('change', () => {
  take(pickedFolder(folderInput.files), true);
  folderInput.value = '';
});

// A file dropped anywhere else would make the browser open it instead: only
// a SoundFont is taken there.
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => {
  event.preventDefault();
  if (!drop.contains(event.target)) {
    take([...event.dataTransfer.files].map((file) => ({file, folder: ''})), false);
  }
});
drop.addEventListener('dragover', (event) => {
  event.dataTransfer.dropEffect = 'copy';
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  drop.classList.remove('over');
  droppedFiles(event.dataTransfer).then((given) => take(given, true));
});
