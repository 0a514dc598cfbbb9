// A song's sound rendered faster than it plays, in an OfflineAudioContext
// (its rendering runs off the page's main thread), through the same
// synthesizer and master chain (master.js) as in the page, without the
// volume: the built-in synthesizer, or the SoundFont engine with the
// visitor's SoundFont.
//
// The song is rendered to its last message and a tail for the notes'
// release and the reverb, then cut after its last sound.

import {builtinOffline} from './builtin-synth.js';
import {masterChain} from './master.js';
import {soundFontEngine} from './sound.js';

const SAMPLE_RATE = 44100;
// Seconds after the song's end: the longest release and reverb there are.
const TAIL = 3;
// Seconds of sound between two looks at the rendering (progress, cancel).
const STEP = 0.5;
// The built-in synthesizer sets its channels up as it is handed messages,
// not at their time: it is handed them this far ahead of the rendering.
const AHEAD = 1;
// Quieter than the least step of 16 bits: silence.
const SILENT = 0.5 / 32768;

// The frames of `channels` up to the last that is not silent.
function soundingLength(channels, least) {
  for (let frame = channels[0].length - 1; frame >= least; --frame) {
    if (channels.some((samples) => Math.abs(samples[frame]) >= SILENT)) return frame + 1;
  }
  return least;
}

// Renders `events` ({times, messages, tracks}, as the player has them) of a
// song of `duration` seconds, with the notes of the tracks `audible(track)`
// says. `soundFont` is the visitor's or null; `progress(fraction)` is told
// how far it is; `cancelled()` stops it. Resolves with {left, right,
// sampleRate}.
export async function renderSong({events, duration, audible, soundFont, progress, cancelled}) {
  const {times, messages, tracks} = events;
  const end = Math.max(duration, times.length > 0 ? times[times.length - 1] : 0);
  const frames = Math.ceil((end + TAIL) * SAMPLE_RATE);
  const context = new OfflineAudioContext(2, frames, SAMPLE_RATE);
  const chain = masterChain(context);
  chain.output.connect(context.destination);
  const played = (i) => {
    const message = messages[i];
    const noteOn = (message & 0xf0) === 0x90 && ((message >> 16) & 0x7f) > 0;
    return !noteOn || audible(tracks[i]);
  };

  let feed = () => {};
  if (soundFont) {
    const engine = await soundFontEngine();
    const node = await engine.soundFontNode(context, soundFont);
    node.connect(chain.input('soundfont'));
    const kept = [];
    for (let i = 0; i < times.length; ++i) if (played(i)) kept.push(i);
    await engine.giveEvents(node, kept.map((i) => times[i]), kept.map((i) => messages[i]), true);
  } else {
    const synth = await builtinOffline(context, chain.input('builtin'));
    let next = 0;
    feed = (until) => {
      for (; next < times.length && times[next] < until; ++next) {
        if (played(next)) synth.send(messages[next], times[next]);
      }
    };
    feed(AHEAD);
  }
  if (cancelled()) throw new Error('cancelled');

  const length = frames / SAMPLE_RATE;
  const rendered = new Promise((resolve, reject) => {
    for (let at = STEP; at < length; at += STEP) {
      context.suspend(at).then(() => {
        // A render cancelled stays suspended, and goes with its context.
        if (cancelled()) {
          reject(new Error('cancelled'));
          return;
        }
        feed(at + AHEAD);
        progress(at / length);
        context.resume();
      });
    }
    context.startRendering().then(resolve, reject);
  });
  const audio = await rendered;
  const channels = [audio.getChannelData(0), audio.getChannelData(1)];
  const kept = soundingLength(channels, Math.min(frames, Math.ceil(end * SAMPLE_RATE)));
  progress(1);
  return {left: channels[0].subarray(0, kept), right: channels[1].subarray(0, kept),
          sampleRate: SAMPLE_RATE};
}
