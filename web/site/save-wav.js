// "Save as WAV": a song's sound as a WAV file named after it, rendered with
// the synthesizer chosen (wav-render.js), with progress and Cancel, mute
// and solo as they are set.

import {songEvents} from './converters.js';
import {button, element, messageList} from './dom.js';
import {safeName} from './naming.js';
import {bytesText} from './numbers.js';
import {chosenInstruments} from './sound.js';
import {wavFile} from './wav-file.js';
import {renderSong} from './wav-render.js';
import {reason} from './words.js';

// A WAV file of 20 minutes is 212 MB, and is rendered in memory twice that
// size: longer songs are not saved as WAV here.
const LONGEST = 20 * 60;

function wavName(name) {
  const dot = name.lastIndexOf('.');
  return safeName((dot > 0 ? name.slice(0, dot) : name) + '.wav');
}

function showIdle(row) {
  row.wavButton.textContent = 'Save as WAV';
  // Each name starts with the words the button shows.
  row.wavButton.setAttribute('aria-label', 'Save as WAV: ' + row.file.name);
  row.node.dataset.wav = row.wavUrl ? 'done' : 'idle';
}

// The button of `row`, and the line below its controls where the WAV file
// shows (row.wavLine).
export function wavButton(row) {
  row.wavButton = button('save-wav secondary', '');
  row.wavLine = element('p', 'wav-line');
  row.wavLine.hidden = true;
  row.wavButton.addEventListener('click', () => (row.wavJob ? cancel(row) : save(row)));
  showIdle(row);
  return row.wavButton;
}

function cancel(row) {
  row.wavJob.cancelled = true;
  row.wavJob = null;
  row.wavLine.replaceChildren('The WAV file was cancelled.');
  showIdle(row);
}

async function save(row) {
  const job = {cancelled: false};
  row.wavJob = job;
  const name = wavName(row.file.name);
  row.wavButton.textContent = 'Cancel WAV';
  row.wavButton.setAttribute('aria-label', 'Cancel WAV: ' + row.file.name);
  row.node.dataset.wav = 'rendering';
  const bar = element('progress', 'wav-progress');
  bar.max = 1;
  bar.value = 0;
  bar.setAttribute('aria-label', 'Making ' + name);
  row.wavLine.hidden = false;
  row.wavLine.replaceChildren('Making ' + name + '… ', bar);
  try {
    if (row.song.duration_seconds > LONGEST) {
      throw new Error('songs longer than ' + LONGEST / 60 + ' minutes are not saved as WAV ' +
                      'here: the file would be too large');
    }
    const events = await songEvents(row.midi);
    const audio = await renderSong({
      events,
      duration: row.song.duration_seconds,
      audible: row.audible,
      soundFont: chosenInstruments(),
      progress: (fraction) => { bar.value = fraction; },
      cancelled: () => job.cancelled,
    });
    if (job.cancelled) return;
    const file = wavFile(audio.left, audio.right, audio.sampleRate);
    if (row.wavUrl) URL.revokeObjectURL(row.wavUrl);
    row.wavUrl = URL.createObjectURL(file);
    const link = element('a', 'wav-link', 'Download ' + name + ' (' + bytesText(file.size) + ')');
    link.download = name;
    link.href = row.wavUrl;
    row.wavLine.replaceChildren(link);
    row.wavJob = null;
    showIdle(row);
    link.click();
  } catch (error) {
    if (job.cancelled) return;
    row.wavJob = null;
    row.wavLine.replaceChildren(messageList([['error', 'The WAV file could not be made (' +
                                              reason(error) + ').']]));
    showIdle(row);
  }
}

// The row goes: its render stops and its WAV file is let go.
export function forgetWav(row) {
  if (row.wavJob) row.wavJob.cancelled = true;
  row.wavJob = null;
  if (row.wavUrl) URL.revokeObjectURL(row.wavUrl);
  row.wavUrl = null;
}
