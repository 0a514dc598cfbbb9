// The page: files picked or dropped go to the worker (worker.js), one row
// each comes back: sizes, ratio, tracks, duration, the tools' warnings and
// errors, a download link, and a piano roll of the song.
'use strict';

const worker = new Worker('worker.js');
const rows = new Map();  // id -> row
let nextId = 1;

const filesInput = document.getElementById('files');
const drop = document.getElementById('drop');
const strict = document.getElementById('strict');
const results = document.getElementById('results');
const empty = document.getElementById('empty');
const downloadAll = document.getElementById('download-all');

// ---- Words and numbers as the tools write them ----

function endsWith(name, suffix) {
  return name.length > suffix.length && name.toLowerCase().endsWith(suffix);
}

// The name of the output, as mthc-pack names the file it writes beside the
// input: .mthc becomes .mid, a MIDI file's extension .mthc, and any other
// name gets the extension appended.
function outputName(name, container) {
  if (container) return endsWith(name, '.mthc') ? name.slice(0, -5) + '.mid' : name + '.mid';
  for (const extension of ['.mid', '.midi', '.rmi', '.kar']) {
    if (endsWith(name, extension)) return name.slice(0, -extension.length) + '.mthc';
  }
  return name + '.mthc';
}

// How much smaller the container is than its MIDI file, as the listing of
// mthc-pack -l says it.
function ratioText(packed, midi) {
  if (midi === 0) return '-';
  return (100 * (1 - packed / midi)).toFixed(1) + '%';
}

function bytesText(count) {
  return count.toLocaleString('en-US') + (count === 1 ? ' byte' : ' bytes');
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

// ---- Rows ----

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

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
    node.dataset.state = 'working';
    node.dataset.name = file.name;
    node.append(element('h3', 'name', file.name));
    const facts = element('dl', 'facts');
    const row = {
      id, file, node,
      pickedAt: performance.now(),
      input: fact(facts, 'Input', 'input-size'),
      output: fact(facts, 'Output', 'output-size'),
      ratio: fact(facts, 'Saved', 'ratio'),
      tracks: fact(facts, 'Tracks', 'tracks'),
      duration: fact(facts, 'Duration', 'duration'),
      notes: fact(facts, 'Notes', 'notes'),
      status: element('p', 'status', 'Working…'),
      progress: null,
      blob: null,
      outputName: null,
    };
    row.input.textContent = bytesText(file.size);
    node.append(facts, row.status);
    results.append(node);
    rows.set(id, row);
    worker.postMessage({type: 'file', id, file, strict: strict.checked});
  }
  empty.hidden = rows.size > 0;
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

function showResult(row, message) {
  const name = row.file.name;
  row.status.remove();
  const lines = element('ul', 'messages');
  // The lines of mthc-pack, word for word.
  if (message.error) lines.append(element('li', 'error', 'Error: ' + name + ': ' + message.error));
  for (const warning of message.warnings || []) {
    lines.append(element('li', 'warning', 'Warning: ' + name + ': ' + warning));
  }
  if (lines.children.length > 0) row.node.append(lines);

  if (message.error) {
    row.node.dataset.state = 'failed';
    for (const value of [row.output, row.ratio, row.tracks, row.duration, row.notes]) {
      value.textContent = '-';
    }
    return;
  }
  const size = message.output.size;
  row.outputName = outputName(name, message.container);
  row.blob = message.output;
  const kind = message.container ? 'MIDI file' : 'container';
  row.output.textContent = bytesText(size) + ' (' + kind + ', ' + message.blocks +
      (message.blocks === 1 ? ' block)' : ' blocks)');
  row.ratio.textContent = message.container ? ratioText(row.file.size, size)
                                            : ratioText(size, row.file.size);
  const link = element('a', 'download', 'Download ' + row.outputName);
  link.download = row.outputName;
  link.href = URL.createObjectURL(row.blob);
  const paragraph = element('p', 'download-line');
  paragraph.append(link);
  row.node.append(paragraph);
  row.node.dataset.state = 'done';
  performance.measure('mthc ' + name, {start: row.pickedAt, end: performance.now()});
  downloadAll.disabled = false;
}

worker.onmessage = (event) => {
  const message = event.data;
  if (message.type === 'ready') {
    document.body.dataset.ready = 'yes';
    return;
  }
  if (message.type === 'zip') {
    finishZip(message);
    return;
  }
  const row = rows.get(message.id);
  if (!row) return;
  if (message.type === 'progress') showProgress(row, message.done, message.total);
  else if (message.type === 'done') showResult(row, message);
  else if (message.type === 'song') showSong(row, message.song, message.notes);
};

// ---- Download all ----

let zipLink = null;

downloadAll.addEventListener('click', () => {
  const entries = [];
  const taken = new Set();
  for (const row of rows.values()) {
    if (!row.blob) continue;
    // Two inputs may give the same name (a.mid and a.midi): number the later.
    let name = row.outputName;
    for (let n = 2; taken.has(name.toLowerCase()); ++n) {
      const dot = row.outputName.lastIndexOf('.');
      name = row.outputName.slice(0, dot) + ' (' + n + ')' + row.outputName.slice(dot);
    }
    taken.add(name.toLowerCase());
    entries.push({name, blob: row.blob});
  }
  downloadAll.disabled = true;
  downloadAll.textContent = 'Making the zip archive…';
  worker.postMessage({type: 'zip', entries});
});

function finishZip({archive, error}) {
  downloadAll.textContent = 'Download all (zip)';
  downloadAll.disabled = false;
  if (zipLink) URL.revokeObjectURL(zipLink.href);
  else {
    zipLink = element('a', 'zip-link');
    zipLink.id = 'zip-link';
    zipLink.download = 'mthc-files.zip';
    downloadAll.after(zipLink);
  }
  if (error) {
    zipLink.removeAttribute('href');
    zipLink.textContent = 'Error: the zip archive could not be made: ' + error;
    return;
  }
  zipLink.href = URL.createObjectURL(new Blob([archive], {type: 'application/zip'}));
  zipLink.textContent = 'mthc-files.zip (' + bytesText(archive.byteLength) + ')';
  zipLink.click();
}

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

// ---- The piano roll ----

// Told apart also by people who see few colours (the first eight), and
// readable on white.
const PALETTE = ['#0072b2', '#e69f00', '#009e73', '#cc79a7', '#d55e00', '#56b4e9', '#7f3c8d',
                 '#3c3c3c', '#80ba5a', '#a05a2c', '#008695', '#e68310'];
const BACKGROUND = '#ffffff';
const C_LINE = '#ececec';

// A CSS colour #rrggbb as the 32-bit pixel of an ImageData (bytes r, g, b, a).
function pixel(colour) {
  const value = parseInt(colour.slice(1), 16);
  return ((255 << 24) | ((value & 0xff) << 16) | (value & 0xff00) | (value >> 16)) >>> 0;
}

function trackName(track, index) {
  return track.name.trim() !== '' ? track.name : 'Track ' + index;
}

function showSong(row, song, notes) {
  const count = song.tracks.reduce((sum, track) => sum + track.notes, 0);
  row.tracks.textContent = String(song.tracks.length);
  row.duration.textContent = durationText(song.seconds);
  row.notes.textContent = count.toLocaleString('en-US');
  if (notes.start.length === 0) return;

  // One colour for each track that has notes, in track order.
  const colours = new Map();
  const legend = element('ul', 'legend');
  song.tracks.forEach((track, index) => {
    if (track.notes === 0) return;
    const colour = PALETTE[colours.size % PALETTE.length];
    colours.set(index, colour);
    const item = element('li');
    const swatch = element('span', 'swatch');
    swatch.style.backgroundColor = colour;
    item.append(swatch, trackName(track, index) + ': ' + track.notes.toLocaleString('en-US') +
                (track.notes === 1 ? ' note' : ' notes'));
    if (track.error) item.append(' (read up to byte ' + track.errorOffset + ': ' + track.error + ')');
    legend.append(item);
  });

  const canvas = element('canvas');
  canvas.setAttribute('role', 'img');
  canvas.setAttribute('aria-label', 'Piano roll of ' + row.file.name + ': ' + legend.children.length +
                      ' tracks with notes over ' + durationText(song.seconds));
  canvas.dataset.notes = String(notes.start.length);
  const figure = element('figure', 'roll');
  const caption = element('figcaption');
  caption.append(legend);
  figure.append(canvas, caption);
  row.node.append(figure);

  const draw = () => drawRoll(canvas, song, notes, colours);
  new ResizeObserver(draw).observe(canvas);
}

// Notes as bars: time from left to right, pitch from bottom to top, a light
// line at every C. A large song has millions of notes, most narrower than a
// pixel: they are first laid on a grid of a cell per pixel column and key,
// which is then drawn row by row.
function drawRoll(canvas, song, notes, colours) {
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
  const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
  if (canvas.width === width && canvas.height === height && canvas.dataset.drawn) return;
  canvas.width = width;
  canvas.height = height;

  let low = 127;
  let high = 0;
  let end = song.seconds;
  for (let n = 0; n < notes.start.length; ++n) {
    low = Math.min(low, notes.pitch[n]);
    high = Math.max(high, notes.pitch[n]);
    end = Math.max(end, notes.end[n]);
  }
  const xScale = end > 0 ? width / end : 0;

  // The grid: the colour of the last note in each cell, 0 for none.
  const colourOf = new Uint32Array(song.tracks.length);
  for (const [track, colour] of colours) colourOf[track] = pixel(colour);
  const grid = new Uint32Array(width * 128);
  for (let n = 0; n < notes.start.length; ++n) {
    const x0 = Math.min(width - 1, Math.floor(notes.start[n] * xScale));
    const x1 = Math.min(width, Math.max(x0 + 1, Math.floor(notes.end[n] * xScale)));
    const at = notes.pitch[n] * width;
    grid.fill(colourOf[notes.track[n]], at + x0, at + x1);
  }

  const image = new ImageData(width, height);
  const pixels = new Uint32Array(image.data.buffer);
  pixels.fill(pixel(BACKGROUND));
  const rowHeight = height / (high - low + 1);
  const gap = rowHeight >= 4 ? 1 : 0;
  const top = (pitch) => Math.floor((high - pitch) * rowHeight);
  const line = pixel(C_LINE);
  for (let pitch = low; pitch <= high; ++pitch) {
    const y0 = top(pitch);
    const y1 = Math.min(height, Math.max(y0 + 1, top(pitch - 1) - gap));
    if (pitch % 12 === 0) {
      const y = Math.min(height - 1, top(pitch - 1) - 1);
      pixels.fill(line, y * width, (y + 1) * width);
    }
    const cells = grid.subarray(pitch * width, (pitch + 1) * width);
    for (let x = 0; x < width; ++x) {
      const colour = cells[x];
      if (colour === 0) continue;
      for (let y = y0; y < y1; ++y) pixels[y * width + x] = colour;
    }
  }
  canvas.getContext('2d').putImageData(image, 0, 0);
  canvas.dataset.drawn = 'yes';
}
