// A song's legend: a colour for each track with notes, its name and notes,
// and its Mute and Solo buttons. However many tracks a song has, its
// buttons are one stop of the Tab key (a toolbar with a roving tab index):
// the arrow keys, Home and End move among them, and Tab goes on past them.

import {button, element} from './dom.js';
import {count} from './numbers.js';
import {faultText} from './words.js';

// Told apart also by people who see few colours (the first eight), and each
// at least 3:1 against the roll's white.
const PALETTE = ['#0072b2', '#b35c00', '#007d5a', '#b4457f', '#c8102e', '#6a51a3', '#3c3c3c',
                 '#5f7f00', '#8c4a20', '#00808a', '#8a6d00', '#1a237e'];

function trackName(track) {
  return track.name.trim() !== '' ? track.name : 'Track ' + track.index;
}

function showAudible(row) {
  for (const [index, {item, mute, solo}] of row.legend) {
    mute.setAttribute('aria-pressed', String(row.muted.has(index)));
    solo.setAttribute('aria-pressed', String(row.solo === index));
    item.dataset.audible = row.audible(index) ? 'yes' : 'no';
  }
}

function legendItem(row, track, faultName, colour) {
  const item = element('li');
  const swatch = element('span', 'swatch');
  swatch.style.backgroundColor = colour;
  const name = trackName(track);
  const label = element('span', 'track-name', name);
  const about = element('span', 'track-notes', ': ' + count(track.notes) +
                        (track.notes === 1 ? ' note' : ' notes'));
  if (track.fault) about.append(' (read up to byte ' + count(track.fault.offset) + ': ' +
                                faultText({name: faultName}) + ')');
  const hidden = element('span', 'track-hidden');
  // Each button's name starts with the word it shows.
  const mute = button('mute', 'Mute', 'Mute ' + name);
  const solo = button('solo', 'Solo', 'Solo ' + name);
  for (const toggle of [mute, solo]) {
    toggle.setAttribute('aria-pressed', 'false');
    toggle.tabIndex = -1;
  }
  mute.addEventListener('click', () => {
    if (row.muted.has(track.index)) row.muted.delete(track.index);
    else row.muted.add(track.index);
    showAudible(row);
  });
  solo.addEventListener('click', () => {
    row.solo = row.solo === track.index ? null : track.index;
    showAudible(row);
  });
  const toggles = element('span', 'toggles');
  toggles.append(mute, solo);
  item.append(swatch, label, about, hidden, toggles);
  item.dataset.track = String(track.index);
  row.legend.set(track.index, {item, mute, solo, hidden});
  return item;
}

const MOVES = {
  ArrowRight: (at) => at + 1,
  ArrowDown: (at) => at + 1,
  ArrowLeft: (at) => at - 1,
  ArrowUp: (at) => at - 1,
  Home: () => 0,
  End: (at, last) => last,
};

// The buttons of `toolbar` take one Tab stop: the one focused last.
function roving(toolbar) {
  const buttons = () => [...toolbar.querySelectorAll('button')];
  toolbar.addEventListener('focusin', (event) => {
    for (const b of buttons()) b.tabIndex = b === event.target ? 0 : -1;
  });
  toolbar.addEventListener('keydown', (event) => {
    const move = MOVES[event.key];
    if (!move) return;
    const all = buttons();
    const at = all.indexOf(document.activeElement);
    const to = Math.max(0, Math.min(all.length - 1, move(at, all.length - 1)));
    event.preventDefault();
    all[to].focus();
  });
}

// The legend of the song of `row`: {toolbar (to show), colours ([[track,
// '#rrggbb'], ...], for its roll)}. `faults` names each track's fault.
export function songLegend(row, song, faults) {
  const colours = [];
  const list = element('ul', 'legend');
  row.legend = new Map();
  for (const track of song.tracks) {
    if (track.notes === 0) continue;
    const colour = PALETTE[colours.length % PALETTE.length];
    colours.push([track.index, colour]);
    list.append(legendItem(row, track, faults[track.index], colour));
  }
  const toolbar = element('div', 'legend-bar');
  toolbar.setAttribute('role', 'toolbar');
  toolbar.setAttribute('aria-label', 'Tracks of ' + row.file.name + ': Mute and Solo');
  toolbar.append(list);
  const first = list.querySelector('button');
  if (first) first.tabIndex = 0;
  roving(toolbar);
  return {toolbar, colours};
}
