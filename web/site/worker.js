// One of the page's converters (app.js starts a few): files are read,
// converted or packed, and described here, away from the page. The work
// itself is the library's, compiled to WebAssembly (mthc.js and mthc.wasm);
// the zip archive of "Download all" is made here too (fflate).
//
// A converter works on more than one file at a time, a step at a time (a
// packed block, a conversion, a description), always taking next the step
// of the file with the least work left: a small file is never held behind a
// large one, and a file can be cancelled between two steps. Each file in
// work has a library instance of its own (the library holds one file), so
// at most SLOTS files are in work at once, and at most SLOTS - 1 large ones:
// there is always room for a small file.
//
// Messages in:  {type: 'file', id, file, strict, asIs}
//               {type: 'events', id, file}   the events of a MIDI file, to play it
//               {type: 'cancel', id}
//               {type: 'zip', entries: [{name, blob}]}
// Messages out: {type: 'ready'} once the library has started, or
//               {type: 'broken', reason} when it cannot start
//               {type: 'started', id}
//               {type: 'progress', id, done, total}
//               {type: 'done', id, container, output (a Blob), problems, blocks}
//               {type: 'song', id, song, faults (each track's fault's name, or null),
//                notes: {start, end, pitch, track}, end}
//               {type: 'events', id, times, messages, tracks} or {type: 'events', id, error}
//               {type: 'cancelled', id}
//               {type: 'zip', archive} or {type: 'zip', error}
'use strict';

importScripts('mthc.js', 'fflate.min.js');

const SLOTS = 2;
const LARGE = 1 << 20;  // bytes: a file that takes long (packing it takes seconds)
// The library's memory starts at this size (web/CMakeLists.txt) and only
// grows: an instance that grew is let go after its file, to give it back.
const INITIAL_MEMORY = 64 << 20;

// ---- Library instances ----

// The library compiled once; each instance is a memory of its own.
const compiled = fetch('mthc.wasm').then((response) => {
  if (!response.ok) throw new Error('mthc.wasm: ' + response.status + ' ' + response.statusText);
  return WebAssembly.compileStreaming(response);
});

function newInstance() {
  return compiled.then((module) => createMthc({
    instantiateWasm(imports, success) {
      WebAssembly.instantiate(module, imports).then((instance) => success(instance, module));
      return {};
    },
  }));
}

const spare = [];  // instances without a file, ready
let broken = null;

function takeInstance() {
  return spare.length > 0 ? Promise.resolve(spare.pop()) : newInstance();
}

// Puts an instance back when it is still small and sound; one spare is kept
// ready, so that the next file starts at once.
function giveBack(m, sound) {
  if (sound && m.HEAPU8.length <= INITIAL_MEMORY && spare.length < SLOTS) {
    m._web_clear();
    m._web_forget_song();
    m._web_forget_events();
    spare.push(m);
  }
  if (spare.length === 0 && !broken) newInstance().then((fresh) => spare.push(fresh), () => {});
}

newInstance().then((m) => {
  spare.push(m);
  postMessage({type: 'ready'});
}, (error) => {
  broken = String(error && error.message ? error.message : error);
  postMessage({type: 'broken', reason: broken});
});

// ---- The files in work ----

const waiting = [];  // jobs not started, in the order given
const working = [];  // jobs started: {id, size, left, steps, m, cancelled}
let running = false;

onmessage = (event) => {
  const message = event.data;
  if (message.type === 'zip') {
    makeZip(message.entries);
  } else if (message.type === 'cancel') {
    cancel(message.id);
  } else {
    // A song to play is read in one go, however large: never held back.
    const size = message.file.size;
    const large = message.type === 'file' && size > LARGE;
    waiting.push({message, id: message.id, size, left: size, large, cancelled: false});
    run();
  }
};

function cancel(id) {
  const at = waiting.findIndex((job) => job.id === id);
  if (at >= 0) {
    waiting.splice(at, 1);
    postMessage({type: 'cancelled', id});
  }
  const job = working.find((job) => job.id === id);
  if (job) job.cancelled = true;
}

// Starts what waits, as room allows: large files one after another, small
// ones beside them.
function admit() {
  for (let i = 0; i < waiting.length && working.length < SLOTS;) {
    const job = waiting[i];
    const largeAtWork = working.filter((j) => j.large).length;
    if (job.large && largeAtWork >= SLOTS - 1) {
      ++i;
      continue;
    }
    waiting.splice(i, 1);
    working.push(job);
    postMessage({type: 'started', id: job.id});
  }
}

// A turn of the event loop, without the clamping of timers, so that new
// files and cancels are seen between steps.
const turn = (() => {
  const channel = new MessageChannel();
  const resolvers = [];
  channel.port1.onmessage = () => resolvers.shift()();
  return () => new Promise((resolve) => {
    resolvers.push(resolve);
    channel.port2.postMessage(null);
  });
})();

async function run() {
  if (running) return;
  running = true;
  try {
    for (;;) {
      admit();
      if (working.length === 0) break;
      const job = working.reduce((a, b) => (b.left < a.left ? b : a));
      await step(job);
      await turn();
    }
  } finally {
    running = false;
  }
}

async function step(job) {
  let finished = job.cancelled;
  let sound = true;
  if (!finished) {
    try {
      if (!job.m) {
        if (broken) throw new Error(broken);
        job.m = await takeInstance();
        job.steps = job.message.type === 'events' ? playEvents(job) : handleFile(job);
      }
      finished = (await job.steps.next()).done;
    } catch (error) {
      // The library stops for good on what it cannot survive (memory that
      // cannot grow): this file fails, and its instance is let go.
      sound = false;
      finished = true;
      const reason = String(error && error.message ? error.message : error);
      const failure = job.message.type === 'events' ? {type: 'events', id: job.id, error: reason}
                                                    : {type: 'done', id: job.id, failure: reason};
      postMessage(failure);
    }
  }
  if (!finished && !job.cancelled) return;
  if (job.cancelled) postMessage({type: 'cancelled', id: job.id});
  working.splice(working.indexOf(job), 1);
  if (job.m) giveBack(job.m, sound);
}

function text(m, pointer) {
  return m.UTF8ToString(pointer);
}

// `count` elements of an array of the library's at `start`, copied out.
function copy(m, Type, start, count) {
  return new Type(m.HEAPU8.buffer, start, count).slice();
}

// Puts the file into the instance's memory; false when memory runs out.
async function load(m, file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  const start = m._web_input(bytes.length);
  if (start === 0) return false;
  m.HEAPU8.set(bytes, start);
  return true;
}

// The steps of one file; each `yield` lets another file take a step.
async function* handleFile(job) {
  const {m, id} = job;
  const {file, strict, asIs} = job.message;
  if (m._web_too_large(file.size) === 1) {
    postMessage({type: 'done', id, problems: {error: {
      kind: 'too_large', size: file.size, max_track_data: m._web_max_track_data()}}});
    return;
  }
  if (!(await load(m, file))) {
    postMessage({type: 'done', id, problems: {error: {kind: 'out_of_memory_reading'}}});
    return;
  }
  yield;
  const container = m._web_is_container() === 1;
  let ok;
  if (container) {
    ok = (asIs ? m._web_convert_as_is() : m._web_convert()) === 1;
  } else {
    m._web_pack_start(strict ? 1 : 0);
    while (m._web_pack_continue() === 1) {
      const done = m._web_pack_done();
      const total = m._web_pack_total();
      job.left = Math.max(0, total - done);
      postMessage({type: 'progress', id, done, total});
      yield;
    }
    ok = m._web_pack_finish() === 1;
  }
  const result = {
    type: 'done',
    id,
    container,
    outputName: m.ccall('web_output_name', 'string', ['string', 'number'],
                        [file.name, container ? 1 : 0]),
    problems: JSON.parse(text(m, m._web_problems())),
    blocks: m._web_blocks(),
  };
  if (ok) {
    // The output of the file, copied out of the library's memory once into
    // a Blob: the page links to it and sends it back for the zip archive.
    const start = m._web_output();
    result.output = new Blob([m.HEAPU8.subarray(start, start + m._web_output_size())],
                             {type: 'application/octet-stream'});
  }
  // The download first; the song's description follows.
  postMessage(result);
  if (!ok) return;
  yield;
  if (m._web_describe() !== 1) return;
  const count = m._web_note_count();
  const notes = {
    start: copy(m, Float32Array, m._web_note_starts(), count),
    end: copy(m, Float32Array, m._web_note_ends(), count),
    pitch: copy(m, Uint8Array, m._web_note_pitches(), count),
    track: copy(m, Uint16Array, m._web_note_tracks(), count),
  };
  const song = JSON.parse(text(m, m._web_song()));
  // Each track's fault by the library's name, which the page's words use
  // (the song's summary is mthc-pack's listing, whose fault is a text).
  const faults = JSON.parse(text(m, m._web_song_faults()));
  m._web_forget_song();
  let end = song.duration_seconds;
  for (let n = 0; n < count; ++n) end = Math.max(end, notes.end[n]);
  postMessage({type: 'song', id, song, faults, notes, end},
              [notes.start.buffer, notes.end.buffer, notes.pitch.buffer, notes.track.buffer]);
}

// The events of a MIDI file for the player.
async function* playEvents(job) {
  const {m, id} = job;
  if (!(await load(m, job.message.file))) throw new Error('out of memory');
  yield;
  if (m._web_play_events() !== 1) throw new Error('the song could not be read');
  const count = m._web_event_count();
  const times = copy(m, Float64Array, m._web_event_times(), count);
  const messages = copy(m, Uint32Array, m._web_event_messages(), count);
  const tracks = copy(m, Uint16Array, m._web_event_tracks(), count);
  m._web_forget_events();
  postMessage({type: 'events', id, times, messages, tracks},
              [times.buffer, messages.buffer, tracks.buffer]);
}

async function makeZip(entries) {
  try {
    // Containers are compressed already: stored as they are.
    const files = {};
    for (const {name, blob} of entries) {
      const data = new Uint8Array(await blob.arrayBuffer());
      files[name] = [data, {level: /\.mthc$/i.test(name) ? 0 : 6}];
    }
    const archive = fflate.zipSync(files).buffer;
    postMessage({type: 'zip', archive}, [archive]);
  } catch (error) {
    postMessage({type: 'zip', error: String(error)});
  }
}
