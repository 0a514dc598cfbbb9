// The page: files picked or dropped (drop.js) go to the converters
// (converters.js, worker.js), and a row each comes back (rows.js): its
// facts, what was wrong or changed (words.js), a download link, the song to
// play (song.js, player.js) and its piano roll (rolls.js, roll-worker.js);
// "Download all" (zip.js) and "Clear" act on the whole list, and the list
// plays in order (playlist.js, keys.js). Songs play through the built-in
// synthesizer or the visitor's SoundFont (soundfont-choice.js), or on a MIDI
// device (play-on.js), at the volume set (volume.js).

import * as converters from './converters.js';
import './drop.js';
import './keys.js';
import './sample.js';
import './play-on.js';
import './volume.js';
import {restartRolls, startRolls} from './rolls.js';
import {failRow, fromConverter, removeAll, rows, showTrouble, updateList} from './rows.js';
import {finishZip, resetZip} from './zip.js';

const filesInput = document.getElementById('files');

// Everything goes, and the memory with it: the converters and the rolls'
// worker start anew.
document.getElementById('clear').addEventListener('click', () => {
  removeAll();
  resetZip();
  restartRolls();
  converters.restartConverters();
  updateList();
  filesInput.focus();
});

// The modules run: saved-copy.js has nothing to do.
document.documentElement.dataset.modules = 'run';
// The build whose files these are (their folder, v-...): every file the
// page loads later comes from the same folder.
document.documentElement.dataset.build = new URL('.', import.meta.url).pathname.split('/').at(-2);
// For a look from the browser's console (and the tests): how many
// converters work, and the rows with what each holds.
window.CONVERTERS = converters.CONVERTERS;
window.rows = rows;

startRolls();
converters.startConverters({file: fromConverter, failed: failRow, trouble: showTrouble,
                            zip: finishZip});
updateList();
// Once loaded, the page works without a network (sw.js).
if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  navigator.serviceWorker.register('sw.js').catch(() => {});
}
