// The built-in synthesizer: a small General MIDI synthesizer on Web Audio
// (webaudio-tinysynth, vendored: its sounds are made from oscillators and
// noise, so it needs no sample files), loaded when a song first plays. It
// takes channel messages with the audio clock's time at which each is due.
//
// It is moved to the page's audio context, through the master chain.

let loading = null;

function loadSynth() {
  if (!loading) {
    loading = new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = 'webaudio-tinysynth.min.js';
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
// context never rendered (which it may resume as it likes), and then moved.
function newSynth(context, destination) {
  const AudioContext = window.AudioContext;
  window.AudioContext = function ScratchContext() {
    const scratch = new OfflineAudioContext(2, 128, context.sampleRate);
    scratch.resume = () => Promise.resolve();
    return scratch;
  };
  let synth;
  try {
    synth = new WebAudioTinySynth({quality: 1, useReverb: 1});
  } finally {
    window.AudioContext = AudioContext;
  }
  synth.setAudioContext(context, destination);
  return synth;
}

// A message as the player has it (status | first data byte << 8 | second
// << 16) as the synthesizer takes it.
function bytesOf(message) {
  const status = message & 0xff;
  const command = status & 0xf0;
  const first = (message >> 8) & 0x7f;
  return command === 0xc0 || command === 0xd0 ? [status, first]
                                              : [status, first, (message >> 16) & 0x7f];
}

function silence(synth) {
  for (let channel = 0; channel < 16; ++channel) synth.send([0xb0 | channel, 120, 0]);
}

let liveSynth = null;

// A sink for the player (player.js) on `audio` (output.js's pageAudio()).
export async function builtinSink(audio) {
  await loadSynth();
  if (!liveSynth) liveSynth = newSynth(audio.context, audio.chain.input('builtin'));
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
