// The visitor's SoundFont: picked with its own file input, or dropped on the
// page (drop.js), read by the SoundFont engine, then every song plays
// through it. The choice is kept for the next visit (soundfont-store.js),
// shown by name, and can be undone: back to the built-in synthesizer.

import {player} from './song.js';
import {chosenInstruments, setInstruments, soundFontEngine} from './sound.js';
import {forgetSoundFont, keepSoundFont, keptSoundFont} from './soundfont-store.js';
import {reason} from './words.js';

const section = document.getElementById('sound');
const input = document.getElementById('soundfont');
const name = document.getElementById('instruments-name');
const undo = document.getElementById('soundfont-undo');
const status = document.getElementById('soundfont-status');

const BUILT_IN = 'the built-in synthesizer';

export function isSoundFont(file) {
  return /\.(sf2|sf3|dls)$/i.test(file.name);
}

function say(text) {
  status.textContent = text;
  status.hidden = text === '';
}

function show(soundFont) {
  name.textContent = soundFont ? soundFont.name : BUILT_IN;
  undo.hidden = !soundFont;
  section.dataset.instruments = soundFont ? 'soundfont' : 'builtin';
}

async function playOnWith(soundFont) {
  setInstruments(soundFont);
  show(soundFont);
  try {
    await player.changeSink();
  } catch (error) {
    say('The song playing could not go on (' + reason(error) + ').');
  }
}

export async function chooseSoundFont(file) {
  const soundFont = {name: file.name, file};
  const before = chosenInstruments();
  section.dataset.instruments = 'reading';
  say('Reading ' + file.name + '…');
  let presets;
  try {
    const engine = await soundFontEngine();
    ({presets} = await engine.readSoundFont(soundFont));
  } catch (error) {
    show(before);
    say(file.name + ' cannot be used: it is not a SoundFont this page can read (' +
        reason(error) + '). Songs play with ' + (before ? before.name : BUILT_IN) + ' still.');
    return;
  }
  let kept = true;
  try {
    await keepSoundFont(soundFont.name, file);
  } catch {
    kept = false;
  }
  say('Songs play with ' + soundFont.name + ' (' + presets.toLocaleString('en-US') +
      (presets === 1 ? ' instrument)' : ' instruments)') +
      (kept ? '.' : '. This browser would not keep it for your next visit.'));
  await playOnWith(soundFont);
}

input.addEventListener('change', () => {
  const [file] = input.files;
  input.value = '';
  if (file) chooseSoundFont(file);
});

undo.addEventListener('click', async () => {
  try {
    await forgetSoundFont();
  } catch {
    // Nothing was kept, or storage is refused: nothing to forget.
  }
  say('Songs play with ' + BUILT_IN + '.');
  await playOnWith(null);
  input.focus();
});

// The SoundFont of the last visit, by name; the engine is loaded only when
// a song plays.
section.dataset.instruments = 'reading';
keptSoundFont().then((kept) => {
  if (kept && !chosenInstruments()) setInstruments(kept);
}, () => {}).finally(() => show(chosenInstruments()));
