// Reads the visitor's SoundFont (.sf2, .sf3 or .dls) away from the page, with
// the SoundFont engine: whether it is one, what it is called, how many
// instruments it has. The audio worklet plays it (soundfont-processor.js),
// but cannot decode compressed samples (vorbis-hook.js): a SoundFont that
// has them comes back as a plain .sf2 with its samples decoded, any other
// as it is.
//
// Message in:  {id, file (a Blob)}
// Message out: {id, presets, name, decoded (an ArrayBuffer, or null for the
//               file as it is)} or {id, error}

import {SoundBankLoader} from './spessasynth_core.min.js';
import {StbVorbis} from './stb-vorbis.min.js';
import {decodes, lendDecoder} from './vorbis-hook.js';

const decoderReady = StbVorbis.ready.then(() => lendDecoder(StbVorbis));

async function read(file) {
  await decoderReady;
  const bytes = await file.arrayBuffer();
  const before = decodes();
  const bank = SoundBankLoader.fromArrayBuffer(bytes);
  if (bank.presets.length === 0) throw new Error('it has no instruments');
  let decoded = null;
  if (bank.samples.some((sample) => sample.isCompressed) || decodes() > before) {
    for (const sample of bank.samples) {
      if (sample.isCompressed) sample.setAudioData(sample.getAudioData(), sample.sampleRate);
    }
    decoded = bank.writeSF2();
  }
  return {presets: bank.presets.length, name: bank.soundBankInfo.name, decoded};
}

onmessage = async (event) => {
  const {id, file} = event.data;
  try {
    const result = await read(file);
    postMessage({id, ...result}, result.decoded ? [result.decoded] : []);
  } catch (error) {
    postMessage({id, error: String(error && error.message ? error.message : error)});
  }
};
