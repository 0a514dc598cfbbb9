// A song in its row: its facts, Play/Pause, the position and "Save as WAV"
// (save-wav.js), the legend with each track's Mute and Solo, and the piano
// roll (rolls.js) with a playhead. It plays through what sound.js says, and
// the list (playlist.js) says what plays after it.

import {songEvents} from './converters.js';
import {button, element, messageList} from './dom.js';
import {songLegend} from './legend.js';
import {count, durationText, spokenTime} from './numbers.js';
import {createPlayer} from './player.js';
import {AXES, addRoll} from './rolls.js';
import {wavButton} from './save-wav.js';
import {markCurrent, showTransport, songEnded} from './playlist.js';
import {currentSink, prepareSound} from './sound.js';

const KEYS = ['C', 'C♯', 'D', 'E♭', 'E', 'F', 'F♯', 'G', 'A♭', 'A', 'B♭', 'B'];

// A key's name: C4 is middle C (60).
function keyName(pitch) {
  return KEYS[pitch % 12] + (Math.floor(pitch / 12) - 1);
}

export function showSong(row, {song, faults, notes, end}) {
  row.song = song;
  row.rollEnd = end;
  const noteCount = song.tracks.reduce((sum, track) => sum + track.notes, 0);
  row.tracks.textContent = String(song.tracks.length);
  row.duration.textContent = durationText(song.duration_seconds);
  row.notes.textContent = count(noteCount);
  if (notes.start.length === 0) return;

  const {toolbar, colours} = songLegend(row, song, faults);

  const controls = element('div', 'player');
  row.play = button('play', 'Play', 'Play ' + row.file.name);
  row.play.addEventListener('click', () => toggleSong(row));
  row.position = element('input', 'position');
  // A second for each arrow key.
  Object.assign(row.position, {type: 'range', min: 0, max: song.duration_seconds, step: 1, value: 0});
  row.position.setAttribute('aria-label', 'Position in ' + row.file.name);
  row.position.addEventListener('input', () => player.seek(row, Number(row.position.value)));
  row.time = element('span', 'time');
  controls.append(row.play, row.position, row.time, wavButton(row));

  const canvas = element('canvas');
  canvas.setAttribute('role', 'img');
  let low = 127;
  let high = 0;
  const pitches = notes.pitch;
  for (let n = 0; n < pitches.length; ++n) {
    if (pitches[n] < low) low = pitches[n];
    if (pitches[n] > high) high = pitches[n];
  }
  canvas.setAttribute('aria-label', 'Piano roll of ' + row.file.name + ': ' + colours.length +
                      (colours.length === 1 ? ' track' : ' tracks') + ' with notes from ' +
                      keyName(low) + ' to ' + keyName(high) + ' over ' +
                      durationText(song.duration_seconds));
  canvas.dataset.notes = String(notes.start.length);
  row.canvas = canvas;
  row.playhead = element('div', 'playhead');
  // The playhead moves over the notes, between the roll's axes.
  const plot = element('div', 'roll-plot');
  plot.style.left = AXES.left + 'px';
  plot.style.bottom = AXES.bottom + 'px';
  plot.append(row.playhead);
  const frame = element('div', 'roll-frame');
  frame.append(canvas, plot);
  const figure = element('figure', 'roll');
  const caption = element('figcaption');
  caption.append(toolbar);
  figure.append(frame, caption);
  row.after.append(controls, row.wavLine, figure);
  showPosition(row, 0, false);
  addRoll(row, notes, end, colours);
  showTransport();
  prepareSound();
}

function showPosition(row, seconds, playing) {
  if (!row.play) return;
  row.play.textContent = playing ? 'Pause' : 'Play';
  row.play.setAttribute('aria-label', (playing ? 'Pause ' : 'Play ') + row.file.name);
  row.node.dataset.playing = playing ? 'yes' : 'no';
  if (playing) markCurrent(row);
  if (document.activeElement !== row.position || playing) row.position.value = String(seconds);
  // What a screen reader says of the position: a time, said anew each second.
  const spoken = spokenTime(seconds) + ' of ' + spokenTime(row.song.duration_seconds);
  if (row.position.getAttribute('aria-valuetext') !== spoken) {
    row.position.setAttribute('aria-valuetext', spoken);
  }
  row.time.textContent = durationText(seconds) + ' / ' + durationText(row.song.duration_seconds);
  row.playhead.style.left = (row.rollEnd > 0 ? Math.min(100, 100 * seconds / row.rollEnd) : 0) + '%';
}

// Plays the song of `row` from `from` seconds (where its position is, unless
// given), or pauses it if it plays.
export async function toggleSong(row, from = Number(row.position.value)) {
  row.play.disabled = true;
  if (player.playing() !== row) {
    row.play.textContent = 'Loading…';
    row.play.setAttribute('aria-label', 'Loading ' + row.file.name);
  }
  try {
    await player.toggle(row, from);
  } catch (error) {
    row.after.prepend(messageList([['error', 'This song cannot be played here (' + error.message +
                                    ').']]));
    showPosition(row, 0, false);
  } finally {
    row.play.disabled = false;
    // Another song may have started meanwhile.
    if (player.playing() !== row) {
      row.play.textContent = 'Play';
      row.play.setAttribute('aria-label', 'Play ' + row.file.name);
    }
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
