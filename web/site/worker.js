// The page's worker: every file is read, converted or packed, and described
// here, away from the page, one at a time in the order given. The work itself
// is the library's, compiled to WebAssembly (mthc.js and mthc.wasm); the zip
// archive of "Download all" is made here too (fflate).
//
// Messages in:  {type: 'file', id, file, strict}  {type: 'zip', entries: [{name, blob}]}
// Messages out: {type: 'ready'} once the library has started
//               {type: 'progress', id, done, total}
//               {type: 'done', id, container, output (a Blob), error, warnings, blocks}
//               {type: 'song', id, song, notes: {start, end, pitch, track}}
//               {type: 'zip', archive} or {type: 'zip', error}
'use strict';

importScripts('mthc.js', 'fflate.min.js');

let library = createMthc();
library.then(() => postMessage({type: 'ready'}));
// Messages wait for the library and for each other.
let queue = Promise.resolve();

onmessage = (event) => {
  const message = event.data;
  queue = queue.then(async () => {
    const m = await library;
    try {
      if (message.type === 'file') await handleFile(m, message);
      else if (message.type === 'zip') await handleZip(message);
    } catch (error) {
      const text = 'the page failed: ' + String(error);
      if (message.type === 'zip') {
        postMessage({type: 'zip', error: text});
        return;
      }
      // The library stops for good on what it cannot survive (memory that
      // cannot grow): say so, and start it anew for the next file.
      postMessage({type: 'done', id: message.id, error: text});
      library = createMthc();
    }
  });
};

function text(m, pointer) {
  return m.UTF8ToString(pointer);
}

function lines(value) {
  return value.split('\n').filter((line) => line !== '');
}

// The output of the file in hand, copied out of the library's memory once,
// into a Blob: the page links to it and sends it back for the zip archive.
function output(m) {
  const start = m._web_output();
  return new Blob([m.HEAPU8.subarray(start, start + m._web_output_size())],
                  {type: 'application/octet-stream'});
}

async function handleFile(m, {id, file, strict}) {
  const tooLarge = text(m, m._web_size_error(file.size));
  if (tooLarge !== '') {
    postMessage({type: 'done', id, error: tooLarge});
    return;
  }
  const bytes = new Uint8Array(await file.arrayBuffer());
  const start = m._web_input(bytes.length);
  if (start === 0) {
    postMessage({type: 'done', id, error: 'out of memory reading the file'});
    return;
  }
  m.HEAPU8.set(bytes, start);
  const container = m._web_is_container() === 1;
  let ok;
  if (container) {
    ok = m._web_convert() === 1;
  } else {
    m._web_pack_start(strict ? 1 : 0);
    while (m._web_pack_continue() === 1) {
      postMessage({type: 'progress', id, done: m._web_pack_done(), total: m._web_pack_total()});
    }
    ok = m._web_pack_finish() === 1;
  }
  const result = {
    type: 'done',
    id,
    container,
    error: ok ? '' : text(m, m._web_error()),
    warnings: lines(text(m, m._web_warnings())),
    blocks: m._web_blocks(),
  };
  if (!ok) {
    postMessage(result);
    m._web_clear();
    return;
  }
  // The download first; the song's description follows.
  result.output = output(m);
  postMessage(result);
  if (m._web_describe() === 1) {
    const count = m._web_note_count();
    const notes = {
      start: copy(m, Float32Array, m._web_note_starts(), count),
      end: copy(m, Float32Array, m._web_note_ends(), count),
      pitch: copy(m, Uint8Array, m._web_note_pitches(), count),
      track: copy(m, Uint16Array, m._web_note_tracks(), count),
    };
    const song = JSON.parse(text(m, m._web_song()));
    postMessage({type: 'song', id, song, notes},
                [notes.start.buffer, notes.end.buffer, notes.pitch.buffer, notes.track.buffer]);
  }
  m._web_forget_song();
  m._web_clear();
}

// `count` elements of an array of the library's at `start`, copied out.
function copy(m, Type, start, count) {
  return new Type(m.HEAPU8.buffer, start, count).slice();
}

async function handleZip({entries}) {
  // Containers are compressed already: stored as they are.
  const files = {};
  for (const {name, blob} of entries) {
    const data = new Uint8Array(await blob.arrayBuffer());
    files[name] = [data, {level: /\.mthc$/i.test(name) ? 0 : 6}];
  }
  const archive = fflate.zipSync(files).buffer;
  postMessage({type: 'zip', archive}, [archive]);
}
