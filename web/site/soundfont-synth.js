// The visitor's SoundFont, played by the SoundFont engine (spessasynth_core,
// vendored): this module, the worker that reads SoundFonts
// (soundfont-worker.js) and the audio worklet that plays them
// (soundfont-processor.js) are loaded only once a SoundFont is chosen.
//
// A SoundFont here is {name, file (a Blob)}; what the worker made of it is
// kept on it (soundFont.read), so that it is read once.

// Addresses are the module's own: each version of the site has its folder.
const PROCESSOR = new URL('soundfont-processor.js', import.meta.url);
const LOOKAHEAD = 0.3;

let reader = null;
const asked = new Map();  // id -> {resolve, reject}
let nextId = 1;

function startReader() {
  reader = new Worker(new URL('soundfont-worker.js', import.meta.url), {type: 'module'});
  reader.onmessage = (event) => {
    const {id, error, ...result} = event.data;
    const promise = asked.get(id);
    asked.delete(id);
    if (error) promise.reject(new Error(error));
    else promise.resolve(result);
  };
  reader.onerror = (event) => {
    event.preventDefault();
    for (const promise of asked.values()) {
      promise.reject(new Error('the SoundFont engine could not be loaded'));
    }
    asked.clear();
    reader = null;
  };
}

// What the worker makes of the SoundFont: {presets, name, bank (a Blob to
// play: the file itself, or with its samples decoded)}.
export function readSoundFont(soundFont) {
  if (!soundFont.read) {
    if (!reader) startReader();
    const id = nextId++;
    soundFont.read = new Promise((resolve, reject) => {
      asked.set(id, {resolve, reject});
      reader.postMessage({id, file: soundFont.file});
    }).then(({presets, name, decoded}) => ({
      presets, name, bank: decoded ? new Blob([decoded]) : soundFont.file,
    }));
    soundFont.read.catch(() => { soundFont.read = null; });
  }
  return soundFont.read;
}

const withProcessor = new WeakMap();  // context -> promise of the module added

// Resolves with the reply of `type` that `node` gives next.
function reply(node, type) {
  return new Promise((resolve, reject) => {
    const listener = (event) => {
      if (event.data.type !== type) return;
      node.port.removeEventListener('message', listener);
      if (event.data.error) reject(new Error(event.data.error));
      else resolve(event.data);
    };
    node.port.addEventListener('message', listener);
    node.port.start();
  });
}

// The engine in `context` (an AudioContext or an OfflineAudioContext) with
// the SoundFont in hand, not connected yet.
export async function soundFontNode(context, soundFont) {
  const {bank} = await readSoundFont(soundFont);
  if (!withProcessor.has(context)) withProcessor.set(context, context.audioWorklet.addModule(PROCESSOR));
  await withProcessor.get(context);
  const node = new AudioWorkletNode(context, 'mthc-soundfont',
                                    {numberOfInputs: 0, outputChannelCount: [2]});
  const bytes = await bank.arrayBuffer();
  const loaded = reply(node, 'bank');
  node.port.postMessage({type: 'bank', bytes}, [bytes]);
  await loaded;
  return node;
}

// Hands `node` the messages `messages` due at `times` (arrays in time
// order); with `acknowledge`, resolves once it has them.
export function giveEvents(node, times, messages, acknowledge) {
  const taken = acknowledge ? reply(node, 'events') : Promise.resolve();
  const packedTimes = Float64Array.from(times);
  const packedMessages = Uint32Array.from(messages);
  node.port.postMessage({type: 'events', times: packedTimes, messages: packedMessages,
                         acknowledge}, [packedTimes.buffer, packedMessages.buffer]);
  return taken;
}

let live = null;  // {soundFont, sink (a promise), node}

async function makeSink(audio, soundFont, entry) {
  const node = await soundFontNode(audio.context, soundFont);
  if (live !== entry) {
    node.port.postMessage({type: 'end'});
    throw new Error('another SoundFont was chosen meanwhile');
  }
  entry.node = node;
  node.connect(audio.chain.input('soundfont'));
  let times = [];
  let messages = [];
  const post = (message) => node.port.postMessage(message);
  const sink = {
    lookahead: LOOKAHEAD,
    now: () => audio.context.currentTime,
    ready: () => audio.context.resume(),
    earliest: () => 0,
    send(message, at) {
      times.push(at);
      messages.push(message);
    },
    flush() {
      if (times.length === 0) return;
      giveEvents(node, times, messages);
      times = [];
      messages = [];
    },
    reset() {
      sink.flush();
      post({type: 'reset'});
    },
    silence() {
      times = [];
      messages = [];
      post({type: 'silence'});
    },
  };
  return sink;
}

// The engine playing in the page stops and lets its SoundFont go.
export function letGoOfLive() {
  if (live && live.node) {
    live.node.port.postMessage({type: 'end'});
    live.node.disconnect();
  }
  live = null;
}

// A sink for the player (player.js) on `audio` (output.js's pageAudio()):
// one engine plays in the page, with the SoundFont chosen last.
export function soundFontSink(audio, soundFont) {
  if (live && live.soundFont === soundFont) return live.sink;
  letGoOfLive();
  const entry = {soundFont, sink: null, node: null};
  live = entry;
  entry.sink = makeSink(audio, soundFont, entry);
  entry.sink.catch(() => {
    if (live === entry) live = null;
  });
  return entry.sink;
}
