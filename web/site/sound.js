// What songs play through: the built-in synthesizer or the visitor's
// SoundFont, on the page's audio (output.js). The player asks for the sink
// each time a song starts, and is told when the choice changes.

import {builtinSink} from './builtin-synth.js';
import {pageAudio} from './output.js';

let instruments = null;  // the SoundFont chosen (soundfont-choice.js), or null
let engine = null;  // soundfont-synth.js, once loaded

export function setInstruments(soundFont) {
  instruments = soundFont;
  if (engine) engine.letGoOfLive();
}

export function chosenInstruments() {
  return instruments;
}

// The SoundFont engine, loaded only for a SoundFont.
export async function soundFontEngine() {
  if (!engine) engine = await import('./soundfont-synth.js');
  return engine;
}

async function soundFontSink(audio, soundFont) {
  return (await soundFontEngine()).soundFontSink(audio, soundFont);
}

export async function currentSink() {
  const audio = pageAudio();
  return instruments ? soundFontSink(audio, instruments) : builtinSink(audio);
}
