// The converters (worker.js): up to one for each core but one (the page and
// the browser need that one), at least one. Each file goes to the converter
// with the least work given. What they say back goes to the handlers given
// to startConverters():
//   file(message)      about a file in work (started, progress, done, song, cancelled)
//   failed(id, text)   a file whose converter stopped
//   trouble(text)      nothing can be converted at all, and why
//   zip(message)       the zip archive of "Download all"

export const CONVERTERS = Math.max(1, (navigator.hardwareConcurrency || 2) - 1);
const converters = [];
const jobs = new Map();  // id -> {converter, size, events (of a song to play)}
let troubleText = '';
let handlers = null;
let nextId = 1;

// Numbers for files and requests, unique in the page.
export function newId() {
  return nextId++;
}

// Why nothing can be converted, or '' while all is well.
export function trouble() {
  return troubleText;
}

function whyNoConverter(error) {
  if (location.protocol === 'file:') {
    return 'This page was opened from a file saved on this computer, and browsers do not let ' +
           'such a page start its converter. Open the page from its web address instead; ' +
           'once opened there, it also works without a network.';
  }
  return 'The converter of this page could not be loaded (' + error + '). Reload the page; ' +
         'if this stays, the site is missing one of its files.';
}

export function failureText(reason) {
  return 'Something went wrong in the page while working on this file (' + reason + '). ' +
         'Try again; if it happens again, the file may be too much for this browser.';
}

function showTrouble(text) {
  troubleText = text;
  handlers.trouble(text);
}

function startConverter() {
  const converter = {worker: null, load: 0, ready: false, broken: false};
  try {
    converter.worker = new Worker(new URL('worker.js', import.meta.url));
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

export function startConverters(given) {
  if (given) handlers = given;
  for (let i = 0; i < CONVERTERS; ++i) converters.push(startConverter());
}

// Lets every converter go, and what they hold, and starts them anew (unless
// they could not start at all).
export function restartConverters() {
  for (const job of jobs.values()) {
    if (job.events) job.events.reject(new Error('the list was cleared'));
  }
  jobs.clear();
  if (troubleText) return;
  for (const converter of converters) {
    if (converter.worker) converter.worker.terminate();
  }
  converters.length = 0;
  delete document.body.dataset.ready;
  startConverters();
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
    handlers.failed(id, text);
  }
  const at = converters.indexOf(converter);
  if (!converter.ready) {
    if (converters.every((c) => c.broken)) showTrouble(whyNoConverter(reason));
  } else if (at >= 0) {
    converters[at] = startConverter();
  }
}

function live() {
  return converters.filter((c) => !c.broken);
}

// Hands `message` (with its id) to the converter with the least work; false
// when there is none.
export function give(message, size, extra) {
  const ready = live();
  if (ready.length === 0) return false;
  const converter = ready.reduce((a, b) => (b.load < a.load ? b : a));
  converter.load += size;
  jobs.set(message.id, {converter, size, ...extra});
  converter.worker.postMessage(message);
  return true;
}

export function cancel(id) {
  const job = jobs.get(id);
  if (job) job.converter.worker.postMessage({type: 'cancel', id});
}

function jobDone(id) {
  const job = jobs.get(id);
  if (!job) return;
  job.converter.load -= job.size;
  jobs.delete(id);
}

// The messages of a MIDI file to play it, from a converter.
export function songEvents(file) {
  return new Promise((resolve, reject) => {
    const id = newId();
    if (!give({type: 'events', id, file}, 0, {events: {resolve, reject}})) {
      reject(new Error('no converter'));
    }
  });
}

// Asks a converter for a zip archive of `entries`; false when none can.
export function askZip(entries) {
  const ready = live();
  if (ready.length === 0) return false;
  ready[0].worker.postMessage({type: 'zip', entries});
  return true;
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
    handlers.zip(message);
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
  handlers.file(message);
}
