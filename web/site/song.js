// A song in its row: its facts, Play/Pause, the position and "Save as WAV"
// (save-wav.js), the legend with each track's Mute and Solo, and the piano
// roll (rolls.js) with a playhead. It plays through what sound.js says, and
// the list (playlist.js) says what plays after it.

import {songEvents} from './converters.js';
import {button, element, messageList} from './dom.js';
import {count, durationText} from './numbers.js';
import {createPlayer} from './player.js';
import {addRoll} from './rolls.js';
import {wavButton} from './save-wav.js';
import {markCurrent, showTransport, songEnded} from './playlist.js';
import {currentSink} from './sound.js';
import {faultText} from './words.js';

// Told apart also by people who see few colours (the first eight), and each
// at least 3:1 against the roll's white.
const PALETTE = ['#0072b2', '#b35c00', '#007d5a', '#b4457f', '#c8102e', '#6a51a3', '#3c3c3c',
                 '#5f7f00', '#8c4a20', '#00808a', '#8a6d00', '#1a237e'];

function trackName(track) {
  return track.name.trim() !== '' ? track.name : 'Track ' + track.index;
}

export function showSong(row, {song, faults, notes, end}) {
  row.song = song;
  row.rollEnd = end;
  const noteCount = song.tracks.reduce((sum, track) => sum + track.notes, 0);
  row.tracks.textContent = String(song.tracks.length);
  row.duration.textContent = durationText(song.duration_seconds);
  row.notes.textContent = count(noteCount);
  if (notes.start.length === 0) return;

  // One colour for each track that has notes, in track order.
  const colours = [];
  const legend = element('ul', 'legend');
  row.legend = new Map();
  for (const track of song.tracks) {
    if (track.notes === 0) continue;
    const colour = PALETTE[colours.length % PALETTE.length];
    colours.push([track.index, colour]);
    legend.append(legendItem(row, track, faults[track.index], colour));
  }

  const controls = element('div', 'player');
  row.play = button('play', 'Play', 'Play ' + row.file.name);
  row.play.addEventListener('click', () => toggleSong(row));
  row.position = element('input', 'position');
  Object.assign(row.position, {type: 'range', min: 0, max: song.duration_seconds, step: 0.1, value: 0});
  row.position.setAttribute('aria-label', 'Position in ' + row.file.name);
  row.position.addEventListener('input', () => player.seek(row, Number(row.position.value)));
  row.time = element('span', 'time');
  controls.append(row.play, row.position, row.time, wavButton(row));

  const canvas = element('canvas');
  canvas.setAttribute('role', 'img');
  canvas.setAttribute('aria-label', 'Piano roll of ' + row.file.name + ': ' + colours.length +
                      ' tracks with notes over ' + durationText(song.duration_seconds));
  canvas.dataset.notes = String(notes.start.length);
  row.canvas = canvas;
  row.playhead = element('div', 'playhead');
  const frame = element('div', 'roll-frame');
  frame.append(canvas, row.playhead);
  const figure = element('figure', 'roll');
  const caption = element('figcaption');
  caption.append(legend);
  figure.append(frame, caption);
  row.after.append(controls, row.wavLine, figure);
  showPosition(row, 0, false);
  addRoll(row, notes, end, colours);
  showTransport();
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
  const mute = button('mute', 'Mute', 'Mute ' + name);
  const solo = button('solo', 'Solo', 'Play only ' + name);
  for (const toggle of [mute, solo]) toggle.setAttribute('aria-pressed', 'false');
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

function showAudible(row) {
  for (const [index, {item, mute, solo}] of row.legend) {
    mute.setAttribute('aria-pressed', String(row.muted.has(index)));
    solo.setAttribute('aria-pressed', String(row.solo === index));
    item.dataset.audible = row.audible(index) ? 'yes' : 'no';
  }
}

function showPosition(row, seconds, playing) {
  if (!row.play) return;
  row.play.textContent = playing ? 'Pause' : 'Play';
  row.play.setAttribute('aria-label', (playing ? 'Pause ' : 'Play ') + row.file.name);
  row.node.dataset.playing = playing ? 'yes' : 'no';
  if (playing) markCurrent(row);
  if (document.activeElement !== row.position || playing) row.position.value = String(seconds);
  row.time.textContent = durationText(seconds) + ' / ' + durationText(row.song.duration_seconds);
  row.playhead.style.left = (row.rollEnd > 0 ? Math.min(100, 100 * seconds / row.rollEnd) : 0) + '%';
}

// Plays the song of `row` from `from` seconds (where its position is, unless
// given), or pauses it if it plays.
export async function toggleSong(row, from = Number(row.position.value)) {
  row.play.disabled = true;
  if (player.playing() !== row) row.play.textContent = 'Loading…';
  try {
    await player.toggle(row, from);
  } catch (error) {
    row.after.prepend(messageList([['error', 'This song cannot be played here (' + error.message +
                                    ').']]));
    showPosition(row, 0, false);
  } finally {
    row.play.disabled = false;
    // Another song may have started meanwhile.
    if (player.playing() !== row) row.play.textContent = 'Play';
  }
}

// Plays the song of `row` from `from` seconds, whether it plays now or not.
export function playSong(row, from = 0) {
  if (player.playing() !== row) return toggleSong(row, from);
  player.seek(row, from);
  return Promise.resolve();
}

export const player = createPlayer({events: (row) => songEvents(row.midi), sink: currentSink,
                                     show: showPosition, ended: (row) => songEnded(row)});
