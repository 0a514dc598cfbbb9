// What songs play through: the built-in synthesizer, the visitor's
// SoundFont, or a MIDI device ("Play on"). The player asks for the sink
// each time a song starts, and is told when the choice changes.

import {builtinSink, prepareBuiltin} from './builtin-synth.js';
import {midiSink} from './midi-output.js';
import {pageAudio} from './output.js';

let instruments = null;  // the SoundFont chosen (soundfont-choice.js), or null
let playOn = null;  // the MIDIOutput chosen, or null for this page
let midi = null;  // {output, sink}
let engine = null;  // soundfont-synth.js, once loaded

export function setInstruments(soundFont) {
  instruments = soundFont;
  if (engine) engine.letGoOfLive();
}

export function chosenInstruments() {
  return instruments;
}

export function setPlayOn(output) {
  playOn = output;
}

// The SoundFont engine, loaded only for a SoundFont.
export async function soundFontEngine() {
  if (!engine) engine = await import('./soundfont-synth.js');
  return engine;
}

async function soundFontSink(audio, soundFont) {
  return (await soundFontEngine()).soundFontSink(audio, soundFont);
}

// There is a song to play: the built-in synthesizer, if it is what songs
// play through, is made ready while the page is idle, so that the first Play
// need not wait for it.
export function prepareSound() {
  if (instruments || playOn) return;
  const idle = window.requestIdleCallback || ((then) => setTimeout(then, 0));
  idle(() => prepareBuiltin().catch(() => {}));
}

export async function currentSink() {
  if (playOn) {
    if (!midi || midi.output !== playOn) midi = {output: playOn, sink: midiSink(playOn)};
    return midi.sink;
  }
  const audio = pageAudio();
  return instruments ? soundFontSink(audio, instruments) : builtinSink(audio);
}
