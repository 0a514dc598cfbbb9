// The page: files picked or dropped go to the converters (worker.js), and a
// row each comes back: sizes, ratio, tracks, duration, what was wrong or
// changed (words.js), a download link, the song to play (player.js) and its
// piano roll, drawn by roll-worker.js.
'use strict';

const filesInput = document.getElementById('files');
const drop = document.getElementById('drop');
const strict = document.getElementById('strict');
const results = document.getElementById('results');
const empty = document.getElementById('empty');
const downloadAll = document.getElementById('download-all');
const clearAll = document.getElementById('clear');
const trouble = document.getElementById('trouble');

const rows = new Map();  // id -> row
let nextId = 1;

// ---- Words and numbers ----

// A file name that is safe to save and to put in a zip archive, whatever the
// input was called (a name may hold anything but '/' on Linux): no folders,
// no "..", no characters or names that Windows refuses, and at most
// MAX_NAME_BYTES bytes, the extension kept.
const MAX_NAME_BYTES = 200;
function safeName(name) {
  let safe = name.replace(/[\\/]/g, '_')
                 .replace(/[\u0000-\u001f\u007f<>:"|?*]/g, '_')
                 .replace(/\.{2,}/g, '.')
                 .replace(/^[.\s]+|[.\s]+$/g, '');
  if (/^(con|prn|aux|nul|com\d|lpt\d)(\.|$)/i.test(safe)) safe = '_' + safe;
  const dot = safe.lastIndexOf('.');
  const extension = dot > 0 ? safe.slice(dot) : '';
  let stem = dot > 0 ? safe.slice(0, dot) : safe;
  const encoder = new TextEncoder();
  while (encoder.encode(stem + extension).length > MAX_NAME_BYTES) {
    stem = [...stem].slice(0, -1).join('');
  }
  return (stem || 'file') + extension;
}

// How much smaller the container is than its MIDI file, as the listing of
// mthc-pack -l says it.
function ratioText(packed, midi) {
  if (midi === 0) return '-';
  return (100 * (1 - packed / midi)).toFixed(1) + '%';
}

// [h:]m:ss.s
function durationText(seconds) {
  const tenths = Math.round(seconds * 10);
  const hours = Math.floor(tenths / 36000);
  const minutes = Math.floor(tenths / 600) % 60;
  const rest = (tenths % 600) / 10;
  const two = (n) => (n < 10 ? '0' : '') + n;
  return (hours > 0 ? hours + ':' + two(minutes) : String(minutes)) + ':' +
         (rest < 10 ? '0' : '') + rest.toFixed(1);
}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function button(className, text, label) {
  const node = element('button', className, text);
  node.type = 'button';
  if (label) node.setAttribute('aria-label', label);
  return node;
}

// ---- The converters ----
//
// Up to one for each core but one (the page and the browser need that one),
// at least one. Each file goes to the converter with the least work given.

const CONVERTERS = Math.max(1, (navigator.hardwareConcurrency || 2) - 1);
const converters = [];
const jobs = new Map();  // id -> {converter, size, events (of a song to play)}
let troubleText = '';

function whyNoConverter(error) {
  if (location.protocol === 'file:') {
    return 'This page was opened from a file saved on this computer, and browsers do not let ' +
           'such a page start its converter. Open the page from its web address instead; ' +
           'once opened there, it also works without a network.';
  }
  return 'The converter of this page could not be loaded (' + error + '). Reload the page; ' +
         'if this stays, the site is missing one of its files.';
}

// Says that nothing can be converted, and ends every file in work.
function showTrouble(text) {
  troubleText = text;
  trouble.textContent = text;
  trouble.hidden = false;
  for (const row of rows.values()) {
    if (row.node.dataset.state === 'waiting' || row.node.dataset.state === 'working') {
      showFailure(row, text);
    }
  }
}

function startConverter() {
  const converter = {worker: null, load: 0, ready: false, broken: false};
  try {
    converter.worker = new Worker('worker.js');
  } catch (error) {
    converter.broken = true;
    showTrouble(whyNoConverter(error.message || error));
    return converter;
  }
  converter.worker.onmessage = (event) => fromConverter(converter, event.data);
  converter.worker.onerror = (event) => {
    event.preventDefault();
    converterFailed(converter, event.message || 'its script did not load');
  };
  return converter;
}

function startConverters() {
  for (let i = 0; i < CONVERTERS; ++i) converters.push(startConverter());
}

// A converter that stopped: before it started, the page cannot convert;
// after, its files fail and a new one takes its place.
function converterFailed(converter, reason) {
  converter.broken = true;
  converter.worker.terminate();
  const text = converter.ready ? failureText(reason) : whyNoConverter(reason);
  for (const [id, job] of jobs) {
    if (job.converter !== converter) continue;
    jobs.delete(id);
    if (job.events) job.events.reject(new Error(reason));
    const row = rows.get(id);
    if (row) showFailure(row, text);
  }
  const at = converters.indexOf(converter);
  if (!converter.ready) {
    if (converters.every((c) => c.broken)) showTrouble(whyNoConverter(reason));
  } else if (at >= 0) {
    converters[at] = startConverter();
  }
}

function failureText(reason) {
  return 'Something went wrong in the page while working on this file (' + reason + '). ' +
         'Try again; if it happens again, the file may be too much for this browser.';
}

function give(message, size, extra) {
  const live = converters.filter((c) => !c.broken);
  if (live.length === 0) return false;
  const converter = live.reduce((a, b) => (b.load < a.load ? b : a));
  converter.load += size;
  jobs.set(message.id, {converter, size, ...extra});
  converter.worker.postMessage(message);
  return true;
}

function jobDone(id) {
  const job = jobs.get(id);
  if (!job) return;
  job.converter.load -= job.size;
  jobs.delete(id);
}

function fromConverter(converter, message) {
  if (message.type === 'ready') {
    converter.ready = true;
    if (converters.every((c) => c.ready || c.broken)) document.body.dataset.ready = 'yes';
    return;
  }
  if (message.type === 'broken') {
    converterFailed(converter, message.reason);
    return;
  }
  if (message.type === 'zip') {
    finishZip(message);
    return;
  }
  if (message.type === 'events') {
    const job = jobs.get(message.id);
    jobDone(message.id);
    if (!job) return;
    if (message.error) job.events.reject(new Error(message.error));
    else job.events.resolve(message);
    return;
  }
  if (message.type === 'done' || message.type === 'cancelled') jobDone(message.id);
  const row = rows.get(message.id);
  if (!row || row.node.dataset.state === 'cancelled') return;
  if (message.type === 'started') showStarted(row);
  else if (message.type === 'progress') showProgress(row, message.done, message.total);
  else if (message.type === 'done') showResult(row, message);
  else if (message.type === 'song') showSong(row, message);
}

// ---- Rows ----

function fact(list, label, className) {
  const group = element('div');
  group.append(element('dt', '', label));
  const value = element('dd', className, '…');
  group.append(value);
  list.append(group);
  return value;
}

function addFiles(files) {
  for (const file of files) {
    const id = nextId++;
    const node = element('li', 'file');
    node.dataset.name = file.name;
    const head = element('div', 'row-head');
    const action = button('row-action', 'Cancel', 'Cancel ' + file.name);
    head.append(element('h3', 'name', file.name), action);
    const facts = element('dl', 'facts');
    const row = {
      id, file, node, action,
      pickedAt: performance.now(),
      input: fact(facts, 'Input', 'input-size'),
      output: fact(facts, 'Output', 'output-size'),
      ratio: fact(facts, 'Saved', 'ratio'),
      tracks: fact(facts, 'Tracks', 'tracks'),
      duration: fact(facts, 'Duration', 'duration'),
      notes: fact(facts, 'Notes', 'notes'),
      status: element('p', 'status'),
      after: element('div', 'after'),
      blob: null,
      url: null,
      outputName: null,
      song: null,
      muted: new Set(),
      solo: null,
      audible: (track) => (row.solo !== null ? track === row.solo : !row.muted.has(track)),
    };
    action.addEventListener('click', () => (isFinal(row) ? removeRow(row) : cancelRow(row)));
    row.input.textContent = bytesText(file.size);
    node.append(head, facts, row.status, row.after);
    results.append(node);
    rows.set(id, row);
    convert(row, false);
  }
  updateList();
}

function convert(row, asIs) {
  row.node.dataset.state = 'waiting';
  row.status.textContent = 'Waiting…';
  if (troubleText) {
    showFailure(row, troubleText);
    return;
  }
  const message = {type: 'file', id: row.id, file: row.file, strict: strict.checked, asIs};
  if (!give(message, row.file.size)) showFailure(row, troubleText || failureText('no converter'));
}

function isFinal(row) {
  return !['waiting', 'working'].includes(row.node.dataset.state);
}

function finish(row, state) {
  row.node.dataset.state = state;
  row.action.textContent = 'Remove';
  row.action.setAttribute('aria-label', 'Remove ' + row.file.name);
}

function cancelRow(row) {
  const job = jobs.get(row.id);
  if (job) job.converter.worker.postMessage({type: 'cancel', id: row.id});
  finish(row, 'cancelled');
  row.status.textContent = 'Cancelled.';
  for (const value of [row.output, row.ratio, row.tracks, row.duration, row.notes]) {
    value.textContent = '-';
  }
}

// Takes the row away and lets go of all it holds: its download, its song,
// its roll.
function removeRow(row) {
  if (!isFinal(row)) cancelRow(row);
  player.forget(row);
  if (row.url) URL.revokeObjectURL(row.url);
  if (row.canvas) {
    rollSizes.unobserve(row.canvas);
    rollWorker.postMessage({type: 'forget', id: row.id});
  }
  row.node.remove();
  rows.delete(row.id);
  updateList();
}

function updateList() {
  empty.hidden = rows.size > 0;
  clearAll.disabled = rows.size === 0;
  downloadAll.disabled = ![...rows.values()].some((row) => row.blob);
}

function showStarted(row) {
  row.node.dataset.state = 'working';
  row.status.textContent = 'Working…';
}

function showProgress(row, done, total) {
  if (!row.progress) {
    row.progress = element('progress', 'progress');
    row.progress.setAttribute('aria-label', 'Packing ' + row.file.name);
    row.status.textContent = 'Packing… ';
    row.status.append(row.progress);
  }
  row.progress.max = total;
  row.progress.value = done;
  row.node.dataset.progress = done + '/' + total;
}

function messageList(items) {
  const lines = element('ul', 'messages');
  for (const [className, text] of items) lines.append(element('li', className, text));
  return lines;
}

function showFailure(row, text, asIs) {
  row.status.textContent = '';
  row.after.replaceChildren(messageList([['error', text]]));
  finish(row, 'failed');
  for (const value of [row.output, row.ratio, row.tracks, row.duration, row.notes]) {
    value.textContent = '-';
  }
  if (asIs) {
    // The blocks are sound and only the music is not: the MIDI file it holds
    // can be had as it is.
    const anyway = button('as-is', 'Convert anyway', 'Convert ' + row.file.name + ' anyway');
    anyway.addEventListener('click', () => {
      row.after.replaceChildren();
      row.action.textContent = 'Cancel';
      row.action.setAttribute('aria-label', 'Cancel ' + row.file.name);
      convert(row, true);
    });
    const line = element('p', 'as-is-line');
    line.append(anyway, ' gives the MIDI file as it is stored, damage and all.');
    row.after.append(line);
  }
}

function showResult(row, message) {
  const name = row.file.name;
  row.status.textContent = '';
  const {error, warnings} = message.problems || {error: null, warnings: []};
  if (message.failure) {
    showFailure(row, failureText(message.failure));
    return;
  }
  if (error) {
    showFailure(row, problemText(error), error.music === true);
    return;
  }
  const lines = messageList(warnings.map((warning) => ['warning', problemText(warning)]));
  row.after.replaceChildren();
  if (lines.children.length > 0) row.after.append(lines);

  const size = message.output.size;
  row.outputName = message.outputName;
  row.blob = message.output;
  row.url = URL.createObjectURL(row.blob);
  const kind = message.container ? 'MIDI file' : 'container';
  row.output.textContent = bytesText(size) + ' (' + kind + ', ' + message.blocks +
      (message.blocks === 1 ? ' block)' : ' blocks)');
  row.ratio.textContent = message.container ? ratioText(row.file.size, size)
                                            : ratioText(size, row.file.size);
  const link = element('a', 'download', 'Download ' + row.outputName);
  link.download = safeName(row.outputName);
  link.href = row.url;
  const paragraph = element('p', 'download-line');
  paragraph.append(link);
  row.after.append(paragraph);
  // The MIDI file to play: the one made, or the one given.
  row.midi = message.container ? row.blob : row.file;
  finish(row, 'done');
  performance.measure('mthc ' + name, {start: row.pickedAt, end: performance.now()});
  updateList();
}

// ---- The song: facts, player, legend and roll ----

// Told apart also by people who see few colours (the first eight), and each
// at least 3:1 against the roll's white.
const PALETTE = ['#0072b2', '#b35c00', '#007d5a', '#b4457f', '#c8102e', '#6a51a3', '#3c3c3c',
                 '#5f7f00', '#8c4a20', '#00808a', '#8a6d00', '#1a237e'];

function trackName(track) {
  return track.name.trim() !== '' ? track.name : 'Track ' + track.index;
}

function showSong(row, {song, notes, end}) {
  row.song = song;
  row.rollEnd = end;
  const count = song.tracks.reduce((sum, track) => sum + track.notes, 0);
  row.tracks.textContent = String(song.tracks.length);
  row.duration.textContent = durationText(song.duration_seconds);
  row.notes.textContent = count.toLocaleString('en-US');
  if (notes.start.length === 0) return;

  // One colour for each track that has notes, in track order.
  const colours = [];
  const legend = element('ul', 'legend');
  row.legend = new Map();
  for (const track of song.tracks) {
    if (track.notes === 0) continue;
    const colour = PALETTE[colours.length % PALETTE.length];
    colours.push([track.index, colour]);
    legend.append(legendItem(row, track, colour));
  }

  const controls = element('div', 'player');
  row.play = button('play', 'Play', 'Play ' + row.file.name);
  row.play.addEventListener('click', () => togglePlay(row));
  row.position = element('input', 'position');
  Object.assign(row.position, {type: 'range', min: 0, max: song.duration_seconds, step: 0.1, value: 0});
  row.position.setAttribute('aria-label', 'Position in ' + row.file.name);
  row.position.addEventListener('input', () => player.seek(row, Number(row.position.value)));
  row.time = element('span', 'time');
  controls.append(row.play, row.position, row.time);

  const canvas = element('canvas');
  canvas.setAttribute('role', 'img');
  canvas.setAttribute('aria-label', 'Piano roll of ' + row.file.name + ': ' + colours.length +
                      ' tracks with notes over ' + durationText(song.duration_seconds));
  canvas.dataset.notes = String(notes.start.length);
  canvas.dataset.rollId = String(row.id);
  row.canvas = canvas;
  row.playhead = element('div', 'playhead');
  const frame = element('div', 'roll-frame');
  frame.append(canvas, row.playhead);
  const figure = element('figure', 'roll');
  const caption = element('figcaption');
  caption.append(legend);
  figure.append(frame, caption);
  row.after.append(controls, figure);
  showPosition(row, 0, false);

  const offscreen = canvas.transferControlToOffscreen();
  const size = canvasSize(canvas);
  rollWorker.postMessage({type: 'add', id: row.id, canvas: offscreen, notes, end, colours, ...size},
                         [offscreen, notes.start.buffer, notes.end.buffer, notes.pitch.buffer,
                          notes.track.buffer]);
  rollSizes.observe(canvas);
}

function legendItem(row, track, colour) {
  const item = element('li');
  const swatch = element('span', 'swatch');
  swatch.style.backgroundColor = colour;
  const name = trackName(track);
  const label = element('span', 'track-name', name);
  const about = element('span', 'track-notes', ': ' + track.notes.toLocaleString('en-US') +
                        (track.notes === 1 ? ' note' : ' notes'));
  if (track.fault) about.append(' (read up to byte ' + track.fault.offset.toLocaleString('en-US') +
                                ': ' + faultText(track.fault) + ')');
  const hidden = element('span', 'track-hidden');
  const mute = button('mute', 'Mute', 'Mute ' + name);
  const solo = button('solo', 'Solo', 'Play only ' + name);
  for (const toggle of [mute, solo]) toggle.setAttribute('aria-pressed', 'false');
  mute.addEventListener('click', () => {
    if (row.muted.has(track.index)) row.muted.delete(track.index);
    else row.muted.add(track.index);
    showAudible(row);
  });
  solo.addEventListener('click', () => {
    row.solo = row.solo === track.index ? null : track.index;
    showAudible(row);
  });
  const toggles = element('span', 'toggles');
  toggles.append(mute, solo);
  item.append(swatch, label, about, hidden, toggles);
  item.dataset.track = String(track.index);
  row.legend.set(track.index, {item, mute, solo, hidden});
  return item;
}

function showAudible(row) {
  for (const [index, {item, mute, solo}] of row.legend) {
    mute.setAttribute('aria-pressed', String(row.muted.has(index)));
    solo.setAttribute('aria-pressed', String(row.solo === index));
    item.dataset.audible = row.audible(index) ? 'yes' : 'no';
  }
}

function showPosition(row, seconds, playing) {
  if (!row.play) return;
  row.play.textContent = playing ? 'Pause' : 'Play';
  row.play.setAttribute('aria-label', (playing ? 'Pause ' : 'Play ') + row.file.name);
  row.node.dataset.playing = playing ? 'yes' : 'no';
  if (document.activeElement !== row.position || playing) row.position.value = String(seconds);
  row.time.textContent = durationText(seconds) + ' / ' + durationText(row.song.duration_seconds);
  row.playhead.style.left = (row.rollEnd > 0 ? Math.min(100, 100 * seconds / row.rollEnd) : 0) + '%';
}

async function togglePlay(row) {
  row.play.disabled = true;
  if (player.playing() !== row) row.play.textContent = 'Loading…';
  try {
    await player.toggle(row, Number(row.position.value));
  } catch (error) {
    row.after.prepend(messageList([['error', 'This song cannot be played here (' + error.message +
                                    ').']]));
    showPosition(row, 0, false);
  } finally {
    row.play.disabled = false;
    // Another song may have started meanwhile.
    if (player.playing() !== row) row.play.textContent = 'Play';
  }
}

// The song's messages, from a converter.
function songEvents(row) {
  return new Promise((resolve, reject) => {
    const id = nextId++;
    if (!give({type: 'events', id, file: row.midi}, 0, {events: {resolve, reject}})) {
      reject(new Error('no converter'));
    }
  });
}

const player = createPlayer({events: songEvents, show: showPosition});

// ---- The rolls ----

let rollWorker = null;

function startRolls() {
  try {
    rollWorker = new Worker('roll-worker.js');
    rollWorker.onmessage = fromRolls;
  } catch {
    // Opened from a file: the converters cannot start either, and say so.
  }
}

function fromRolls(event) {
  const {id, shown} = event.data;
  const row = rows.get(id);
  if (!row || !row.canvas) return;
  // A track whose every note lies under others' at this size says so.
  const cells = new Map(shown);
  for (const [index, {hidden}] of row.legend) {
    hidden.textContent = cells.has(index) ? '' : ' (hidden under other tracks at this size)';
  }
  row.canvas.dataset.drawn = event.data.width + 'x' + event.data.height;
}

function canvasSize(canvas) {
  const ratio = window.devicePixelRatio || 1;
  return {width: Math.max(1, Math.round(canvas.clientWidth * ratio)),
          height: Math.max(1, Math.round(canvas.clientHeight * ratio))};
}

const rollSizes = new ResizeObserver((entries) => {
  for (const entry of entries) {
    const id = Number(entry.target.dataset.rollId);
    rollWorker.postMessage({type: 'size', id, ...canvasSize(entry.target)});
  }
});

// ---- Download all, Clear ----

let zipLink = null;

downloadAll.addEventListener('click', () => {
  const entries = [];
  const taken = new Set();
  for (const row of rows.values()) {
    if (!row.blob) continue;
    // Two inputs may give the same name (a.mid and a.midi): number the later.
    const safe = safeName(row.outputName);
    const dot = safe.lastIndexOf('.');
    let name = safe;
    for (let n = 2; taken.has(name.toLowerCase()); ++n) {
      name = safe.slice(0, dot) + ' (' + n + ')' + safe.slice(dot);
    }
    taken.add(name.toLowerCase());
    entries.push({name, blob: row.blob});
  }
  downloadAll.disabled = true;
  downloadAll.textContent = 'Making the zip archive…';
  const live = converters.filter((c) => !c.broken);
  if (live.length > 0) live[0].worker.postMessage({type: 'zip', entries});
  else finishZip({error: troubleText || 'no converter'});
});

function forgetZip() {
  if (!zipLink) return;
  URL.revokeObjectURL(zipLink.href);
  zipLink.remove();
  zipLink = null;
}

function finishZip({archive, error}) {
  downloadAll.textContent = 'Download all (zip)';
  updateList();
  forgetZip();
  zipLink = element('a', 'zip-link');
  zipLink.id = 'zip-link';
  zipLink.download = 'mthc-files.zip';
  downloadAll.parentNode.append(zipLink);
  if (error) {
    zipLink.textContent = 'The zip archive could not be made: ' + error;
    return;
  }
  zipLink.href = URL.createObjectURL(new Blob([archive], {type: 'application/zip'}));
  zipLink.textContent = 'mthc-files.zip (' + bytesText(archive.byteLength) + ')';
  zipLink.click();
}

// Everything goes, and the memory with it: the converters and the rolls'
// worker start anew.
clearAll.addEventListener('click', () => {
  for (const row of [...rows.values()]) {
    player.forget(row);
    if (row.url) URL.revokeObjectURL(row.url);
    if (row.canvas) rollSizes.unobserve(row.canvas);
    row.node.remove();
  }
  rows.clear();
  forgetZip();
  for (const job of jobs.values()) {
    if (job.events) job.events.reject(new Error('the list was cleared'));
  }
  jobs.clear();
  rollWorker.terminate();
  startRolls();
  if (!troubleText) {
    for (const converter of converters) {
      if (converter.worker) converter.worker.terminate();
    }
    converters.length = 0;
    delete document.body.dataset.ready;
    startConverters();
  }
  downloadAll.textContent = 'Download all (zip)';
  updateList();
  filesInput.focus();
});

// ---- Picking and dropping ----

filesInput.addEventListener('change', () => {
  addFiles(filesInput.files);
  filesInput.value = '';
});

// A file dropped anywhere else would make the browser open it instead.
for (const type of ['dragover', 'drop']) {
  window.addEventListener(type, (event) => event.preventDefault());
}
drop.addEventListener('dragover', (event) => {
  event.dataTransfer.dropEffect = 'copy';
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  drop.classList.remove('over');
  addFiles(event.dataTransfer.files);
});

// ---- Start ----

startRolls();
startConverters();
updateList();
// Once loaded, the page works without a network (sw.js).
if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  navigator.serviceWorker.register('sw.js').catch(() => {});
}
