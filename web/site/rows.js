// The list of files: a row each, from the moment a file is picked. Its facts
// (sizes, ratio, tracks, duration, notes), its state (waiting, working,
// done, failed, cancelled), what was wrong or changed (words.js), its
// download link, and its song (song.js) once the converter has described it.

import * as converters from './converters.js';
import {button, element, messageList} from './dom.js';
import {safeName} from './naming.js';
import {bytesText, ratioText} from './numbers.js';
import {forgetRow, showTransport} from './playlist.js';
import {forgetRoll} from './rolls.js';
import {forgetWav} from './save-wav.js';
import {player, showSong} from './song.js';
import {errorText, warningText} from './words.js';

const strict = document.getElementById('strict');
const results = document.getElementById('results');
const empty = document.getElementById('empty');
const downloadAll = document.getElementById('download-all');
const clearAll = document.getElementById('clear');
const troubleLine = document.getElementById('trouble');

export const rows = new Map();  // id -> row

function fact(list, label, className) {
  const group = element('div');
  group.append(element('dt', '', label));
  const value = element('dd', className, '…');
  group.append(value);
  list.append(group);
  return value;
}

// `given`: [{file, folder}], folder the path of the folder it came in
// ('Game/Level 1/'), shown above its name and kept in the zip archive.
export function addFiles(given) {
  for (const {file, folder} of given) {
    const id = converters.newId();
    const node = element('li', 'file');
    node.dataset.name = file.name;
    node.dataset.folder = folder;
    const head = element('div', 'row-head');
    const action = button('row-action', 'Cancel', 'Cancel ' + file.name);
    const title = element('h3', 'name');
    if (folder) title.append(element('span', 'folder', folder));
    title.append(file.name);
    head.append(title, action);
    const facts = element('dl', 'facts');
    const row = {
      id, file, folder, node, action,
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
  if (converters.trouble()) {
    showFailure(row, converters.trouble());
    return;
  }
  const message = {type: 'file', id: row.id, file: row.file, strict: strict.checked, asIs};
  if (!converters.give(message, row.file.size)) {
    showFailure(row, converters.trouble() || converters.failureText('no converter'));
  }
}

function isFinal(row) {
  return !['waiting', 'working'].includes(row.node.dataset.state);
}

function finish(row, state) {
  row.node.dataset.state = state;
  row.action.textContent = 'Remove';
  row.action.setAttribute('aria-label', 'Remove ' + row.file.name);
}

function noFacts(row) {
  for (const value of [row.output, row.ratio, row.tracks, row.duration, row.notes]) {
    value.textContent = '-';
  }
}

function cancelRow(row) {
  converters.cancel(row.id);
  finish(row, 'cancelled');
  row.status.textContent = 'Cancelled.';
  noFacts(row);
}

// What a row holds goes with it: its download, its song, its WAV file, its
// roll.
function letGo(row) {
  player.forget(row);
  forgetRow(row);
  forgetWav(row);
  if (row.url) URL.revokeObjectURL(row.url);
  if (row.canvas) forgetRoll(row);
  row.node.remove();
}

function removeRow(row) {
  if (!isFinal(row)) cancelRow(row);
  letGo(row);
  rows.delete(row.id);
  updateList();
}

// Every row goes (the converters and the rolls' worker are started anew by
// the caller).
export function removeAll() {
  for (const row of rows.values()) letGo(row);
  rows.clear();
}

export function updateList() {
  empty.hidden = rows.size > 0;
  clearAll.disabled = rows.size === 0;
  downloadAll.disabled = ![...rows.values()].some((row) => row.blob);
  showTransport();
}

// Nothing can be converted: the page says why, and every file in work ends.
export function showTrouble(text) {
  troubleLine.textContent = text;
  troubleLine.hidden = false;
  for (const row of rows.values()) {
    if (!isFinal(row)) showFailure(row, text);
  }
}

export function failRow(id, text) {
  const row = rows.get(id);
  if (row) showFailure(row, text);
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

function showFailure(row, text, asIs) {
  row.status.textContent = '';
  row.after.replaceChildren(messageList([['error', text]]));
  finish(row, 'failed');
  noFacts(row);
  if (asIs) {
    // The blocks are sound and only the music is not: the MIDI file it holds
    // can be had as it is.
    const anyway = button('as-is', 'Convert anyway', 'Convert anyway: ' + row.file.name);
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
    showFailure(row, converters.failureText(message.failure));
    return;
  }
  if (error) {
    showFailure(row, errorText(error), error.music === true);
    return;
  }
  const lines = messageList(warnings.map((warning) => ['warning', warningText(warning)]));
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

// What a converter says about a file.
export function fromConverter(message) {
  const row = rows.get(message.id);
  if (!row || row.node.dataset.state === 'cancelled') return;
  if (message.type === 'started') showStarted(row);
  else if (message.type === 'progress') showProgress(row, message.done, message.total);
  else if (message.type === 'done') showResult(row, message);
  else if (message.type === 'song') showSong(row, message);
}
