// Files come in through the file input (the drop zone is its label, so the
// keyboard reaches it too) or dropped on the drop zone. A SoundFont picked
// or dropped there, or dropped anywhere on the page, is not converted: songs
// play through it (soundfont-choice.js).

import {addFiles} from './rows.js';
import {chooseSoundFont, isSoundFont} from './soundfont-choice.js';

function take(files, convert) {
  const all = [...files];
  const soundFonts = all.filter(isSoundFont);
  if (soundFonts.length > 0) chooseSoundFont(soundFonts[soundFonts.length - 1]);
  if (convert) addFiles(all.filter((file) => !isSoundFont(file)));
}

const filesInput = document.getElementById('files');
const drop = document.getElementById('drop');

filesInput.addEventListener('change', () => {
  take(filesInput.files, true);
  filesInput.value = '';
});

// A file dropped anywhere else would make the browser open it instead: only
// a SoundFont is taken there.
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => {
  event.preventDefault();
  if (!drop.contains(event.target)) take(event.dataTransfer.files, false);
});
drop.addEventListener('dragover', (event) => {
  event.dataTransfer.dropEffect = 'copy';
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  drop.classList.remove('over');
  take(event.dataTransfer.files, true);
});
