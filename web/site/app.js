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

function durationText(seconds) {
  const minutes = Math.floor(seconds / 60);
  const rest = seconds - minutes * 60;
  return minutes + ':' + (rest < 10 ? '0' : '') + rest.toFixed(1);
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
      song: null,
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
  const size = message.output.byteLength;
  row.outputName = outputName(name, message.container);
  row.blob = new Blob([message.output], {type: 'application/octet-stream'});
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
  if (message.type === 'zip') {
    finishZip(message.archive);
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

function finishZip(archive) {
  if (zipLink) URL.revokeObjectURL(zipLink.href);
  else {
    zipLink = element('a', 'zip-link');
    zipLink.id = 'zip-link';
    zipLink.download = 'mthc-files.zip';
    downloadAll.after(zipLink);
  }
  zipLink.href = URL.createObjectURL(new Blob([archive], {type: 'application/zip'}));
  zipLink.textContent = 'mthc-files.zip (' + bytesText(archive.byteLength) + ')';
  downloadAll.textContent = 'Download all (zip)';
  downloadAll.disabled = false;
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

function showSong(row, song, notes) {
  // filled in with the song's description
}
