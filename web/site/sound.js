// What songs play through: the built-in synthesizer, on the page's audio
// (output.js). The player asks for the sink each time a song starts.

import {builtinSink} from './builtin-synth.js';
import {pageAudio} from './output.js';

export async function currentSink() {
  return builtinSink(pageAudio());
}
