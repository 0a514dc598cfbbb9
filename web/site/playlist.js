// Playing the list: "Play all" plays the songs in the list's order, each
// going on to the next by itself; Previous and Next; a loop of one song or
// of the whole list. The song that plays (or was paused last) is the
// current one: its row is marked (aria-current) and, when the list moved on
// to it, scrolled into view, and the line beside the buttons names it.

import {rows} from './rows.js';
import {player, playSong, toggleSong} from './song.js';

const playAllButton = document.getElementById('play-all');
const previousButton = document.getElementById('previous');
const nextButton = document.getElementById('next');
const loop = document.getElementById('loop');
const nowPlaying = document.getElementById('now-playing');

let onward = false;  // the list plays on by itself (Play all)
let current = null;  // the row of the current song

// The rows with a song to play, in the list's order.
function songs() {
  return [...rows.values()].filter((row) => row.play && row.node.isConnected);
}

export function showTransport() {
  const list = songs();
  playAllButton.disabled = list.length === 0;
  const at = list.indexOf(current);
  const wraps = loop.value === 'list';
  previousButton.disabled = list.length === 0 || (at === 0 && !wraps);
  nextButton.disabled = list.length === 0 || (at === list.length - 1 && !wraps);
  nowPlaying.textContent = at >= 0 ? 'Song ' + (at + 1) + ' of ' + list.length + ': ' +
                                     current.file.name : '';
}

// `row` is the current song now (null: none).
export function markCurrent(row) {
  if (current !== row) {
    if (current) {
      delete current.node.dataset.current;
      current.node.removeAttribute('aria-current');
    }
    current = row;
    if (row) {
      row.node.dataset.current = 'yes';
      row.node.setAttribute('aria-current', 'true');
    }
  }
  showTransport();
}

// The row is going: it is no longer the current song.
export function forgetRow(row) {
  if (current !== row) return;
  onward = false;
  markCurrent(null);
}

// Plays `row` from its start, as the list moves on to it.
function go(row) {
  markCurrent(row);
  row.node.scrollIntoView({block: 'nearest'});
  return playSong(row, 0);
}

// The song `by` places on from the current one (the first when there is
// none), around the list's end when it loops; null past the ends.
function step(by) {
  const list = songs();
  if (list.length === 0) return null;
  const at = list.indexOf(current);
  if (at < 0) return list[0];
  const to = at + by;
  if (to >= 0 && to < list.length) return list[to];
  return loop.value === 'list' ? list[(to + list.length) % list.length] : null;
}

export function next() {
  const row = step(1);
  if (row) go(row);
}

export function previous() {
  const row = step(-1);
  if (row) go(row);
}

// Play or pause the current song (the first, when none is).
export function playOrPause() {
  if (current && current.node.isConnected) return toggleSong(current);
  const [first] = songs();
  return first ? go(first) : Promise.resolve();
}

// A song played to its end: the same again, the next one, or nothing.
export function songEnded(row) {
  if (player.current() !== row || player.playing()) return;
  if (loop.value === 'song') {
    go(row);
    return;
  }
  const following = onward || loop.value === 'list' ? step(1) : null;
  if (following) {
    go(following);
  } else {
    onward = false;
  }
}

playAllButton.addEventListener('click', () => {
  const [first] = songs();
  if (!first) return;
  onward = true;
  go(first);
});
previousButton.addEventListener('click', previous);
nextButton.addEventListener('click', next);
loop.addEventListener('change', showTransport);
