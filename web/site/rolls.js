// The piano rolls, drawn by roll-worker.js: each roll's canvas is handed
// over with its notes, and the worker is told when its size changes.

// The margins of a roll's axes, in CSS pixels: the pitch on the left, the
// time below. The playhead moves over what is between.
export const AXES = {left: 30, bottom: 16};

let rollWorker = null;
const shownRows = new Map();  // id -> row whose roll is drawn

export function startRolls() {
  try {
    rollWorker = new Worker(new URL('roll-worker.js', import.meta.url));
    rollWorker.onmessage = fromRolls;
  } catch {
    // Opened from a file: the converters cannot start either, and say so.
  }
}

// Every roll goes, and the worker with its memory: a new one starts.
export function restartRolls() {
  for (const row of shownRows.values()) rollSizes.unobserve(row.canvas);
  shownRows.clear();
  if (rollWorker) rollWorker.terminate();
  startRolls();
}

function fromRolls(event) {
  const {id, shown} = event.data;
  const row = shownRows.get(id);
  if (!row) return;
  // A track whose every note lies under others' at this size says so.
  const cells = new Map(shown);
  for (const [index, {hidden}] of row.legend) {
    hidden.textContent = cells.has(index) ? '' : ' (hidden under other tracks at this size)';
  }
  row.canvas.dataset.drawn = event.data.width + 'x' + event.data.height;
  row.canvas.dataset.times = event.data.times.join(' ');
  row.canvas.dataset.pitches = event.data.pitches.join(' ');
}

function canvasSize(canvas) {
  const ratio = window.devicePixelRatio || 1;
  return {width: Math.max(1, Math.round(canvas.clientWidth * ratio)),
          height: Math.max(1, Math.round(canvas.clientHeight * ratio)), ratio};
}

const rollSizes = new ResizeObserver((entries) => {
  for (const entry of entries) {
    const id = Number(entry.target.dataset.rollId);
    rollWorker.postMessage({type: 'size', id, ...canvasSize(entry.target)});
  }
});

// Draws the roll of `row` on its canvas (row.canvas, in the page): `notes`
// as from the converter, `colours` [[track, '#rrggbb'], ...].
export function addRoll(row, notes, end, colours) {
  const canvas = row.canvas;
  canvas.dataset.rollId = String(row.id);
  const offscreen = canvas.transferControlToOffscreen();
  shownRows.set(row.id, row);
  rollWorker.postMessage({type: 'add', id: row.id, canvas: offscreen, notes, end, colours,
                          axes: AXES, ...canvasSize(canvas)},
                         [offscreen, notes.start.buffer, notes.end.buffer, notes.pitch.buffer,
                          notes.track.buffer]);
  rollSizes.observe(canvas);
}

export function forgetRoll(row) {
  rollSizes.unobserve(row.canvas);
  shownRows.delete(row.id);
  rollWorker.postMessage({type: 'forget', id: row.id});
}
