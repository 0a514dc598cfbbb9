// The SoundFont engine's Ogg Vorbis decoder, for the compressed samples of
// .sf3 files. The engine (spessasynth_core.min.js, vendored) imports it from
// here rather than the decoder itself: the decoder is WebAssembly, which the
// page's Content-Security-Policy does not let the audio worklet compile. So
// the worker that reads SoundFonts (soundfont-worker.js), where WebAssembly
// runs, lends the engine the decoder, and hands the worklet its samples
// decoded; in the worklet no sample is ever left to decode.

let decoder = null;
let used = 0;

export function lendDecoder(given) {
  decoder = given;
}

// How many streams were decoded: a SoundFont that needed any must reach the
// worklet decoded.
export function decodes() {
  return used;
}

export const StbVorbis = {
  ready: Promise.resolve(),
  decode(data) {
    if (!decoder) throw new Error('compressed samples are decoded only in the SoundFont worker');
    ++used;
    return decoder.decode(data);
  },
};
