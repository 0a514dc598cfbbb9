// Files come in through the file input (the drop zone is its label, so the
// keyboard reaches it too) or dropped on the drop zone.

import {addFiles} from './rows.js';

const filesInput = document.getElementById('files');
const drop = document.getElementById('drop');

filesInput.addEventListener('change', () => {
  addFiles(filesInput.files);
  filesInput.value = '';
});

// A file dropped anywhere else would make the browser open it instead.
for (const type of ['dragover', 'drop']) {
  window.addEventListener(type, (event) => event.preventDefault());
}
drop.addEventListener('dragover', (event) => {
  event.dataTransfer.dropEffect = 'copy';
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  drop.classList.remove('over');
  addFiles(event.dataTransfer.files);
});
