// The page's keys, listed on the page (index.html): Space plays or pauses
// the current song, N and P go to the next and the previous song. They act
// only where a key means nothing else: not in a control, which keeps its own
// keys (Space presses a button, moves a slider's thumb or ticks a box).

import {next, playOrPause, previous} from './playlist.js';

const CONTROLS = 'a, button, input, select, textarea, summary, label, [contenteditable], ' +
                 '[role=toolbar]';

const ACTIONS = {' ': playOrPause, n: next, p: previous};

document.addEventListener('keydown', (event) => {
  if (event.ctrlKey || event.altKey || event.metaKey || event.defaultPrevented) return;
  const action = ACTIONS[event.key.length === 1 ? event.key.toLowerCase() : ''];
  if (!action || (event.target instanceof Element && event.target.closest(CONTROLS))) return;
  // Space would scroll the page.
  event.preventDefault();
  action();
});
