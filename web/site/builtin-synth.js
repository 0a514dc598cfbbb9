// The built-in synthesizer: a small General MIDI synthesizer on Web Audio
// (webaudio-tinysynth, vendored: its sounds are made from oscillators and
// noise, so it needs no sample files). It takes channel messages with the
// audio clock's time at which each is due.
//
// One instance plays the page's songs; another, made once, renders WAV files
// and is moved to each render's offline context, through the master chain.
//
// Making one takes the main thread for a tenth of a second or more: its
// script is loaded ahead, in a moment when the page is idle once there is a
// song to play (prepareBuiltin), and when a song first plays, the page's
// audio, the synthesizer and its move there each take a task of their own.

import {bytesOf} from './midi-message.js';

let loading = null;

function loadSynth() {
  if (!loading) {
    loading = new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = new URL('webaudio-tinysynth.min.js', import.meta.url);
      script.onload = () => resolve();
      script.onerror = () => reject(new Error('the synthesizer could not be loaded'));
      document.head.append(script);
    });
    loading.catch(() => { loading = null; });
  }
  return loading;
}

// The synthesizer makes an audio context of its own as it starts (and plays
// a silent note on it): it is handed one that never sounds, an offline
// context never rendered (which it may resume as it likes), to be moved to
// another (setAudioContext) before it plays.
function scratchSynth() {
  const AudioContext = window.AudioContext;
  window.AudioContext = function ScratchContext() {
    const scratch = new OfflineAudioContext(2, 128, 44100);
    scratch.resume = () => Promise.resolve();
    return scratch;
  };
  try {
    return new WebAudioTinySynth({quality: 1, useReverb: 1});
  } finally {
    window.AudioContext = AudioContext;
  }
}

// The next turn of the event loop: what follows is a task of its own.
function nextTask() {
  return new Promise((resolve) => setTimeout(resolve, 0));
}

// Loads the synthesizer ahead of the first song played.
export function prepareBuiltin() {
  return loadSynth();
}

function silence(synth) {
  for (let channel = 0; channel < 16; ++channel) synth.send([0xb0 | channel, 120, 0]);
}

let liveSynth = null;

// A sink for the player (player.js) on `audio` (output.js's pageAudio()).
export async function builtinSink(audio) {
  if (!liveSynth) {
    await loadSynth();
    // The page's audio was made in this task.
    await nextTask();
    const made = liveSynth || scratchSynth();
    await nextTask();
    if (!liveSynth) {
      made.setAudioContext(audio.context, audio.chain.input('builtin'));
      liveSynth = made;
    }
  }
  const synth = liveSynth;
  return {
    lookahead: 0.3,
    now: () => audio.context.currentTime,
    ready: () => audio.context.resume(),
    send: (message, at) => synth.send(bytesOf(message), at),
    flush() {},
    reset: () => synth.reset(),
    silence: () => silence(synth),
    earliest: () => 0,
  };
}

let offlineSynth = null;

// The synthesizer on `context` (an OfflineAudioContext about to render),
// sounding into `destination`: {send(message, at), flush()}. It plays its
// controllers and programs when they are handed over, not at their time, so
// a render hands the messages over a little at a time, as the page does.
export async function builtinOffline(context, destination) {
  await loadSynth();
  // The synthesizer resumes its context whenever it is handed a message
  // while the context is suspended, and plays a silent note on a context it
  // is moved to. A render starts and resumes its context itself (it stops at
  // each of its steps): while the synthesizer moves, the render's context
  // resumes nothing, and after, the synthesizer is shown a context that is
  // never to be resumed.
  context.resume = () => Promise.resolve();
  try {
    if (!offlineSynth) offlineSynth = scratchSynth();
    offlineSynth.setAudioContext(context, destination);
  } finally {
    delete context.resume;
  }
  offlineSynth.audioContext = {state: 'running'};
  offlineSynth.reset();
  const synth = offlineSynth;
  return {
    send: (message, at) => synth.send(bytesOf(message), at),
    flush() {},
  };
}
