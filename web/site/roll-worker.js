// The piano rolls, drawn here rather than on the page: a large song has
// millions of notes and takes a tenth of a second or more to draw, which
// would stall the page at every change of the window's size. The page hands
// each roll's canvas over (transferControlToOffscreen) with its notes, and
// then only says when its size changes; a roll is drawn again only for the
// size it has last.
//
// Each roll has axes: the time below it, the pitch (each C) on its left, in
// margins of `axes` CSS pixels ({left, bottom}) at `ratio` device pixels
// to one.
//
// Messages in:  {type: 'add', id, canvas, notes: {start, end, pitch, track}, end,
//                colours: [[track, '#rrggbb'], ...], axes, width, height, ratio}
//               {type: 'size', id, width, height, ratio}
//               {type: 'forget', id}
// Messages out: {type: 'drawn', id, width, height, shown: [[track, cells], ...],
//                times: ['0:00', ...], pitches: ['C3', ...]} (the labels drawn)
'use strict';

const BACKGROUND = '#ffffff';
const C_LINE = '#e4e4e4';
const LABEL = '#595959';
const AXIS = '#c8c8c8';
const FONT_PX = 11;
// Seconds between two marks of time: the first that leaves room for a label.
const TIME_STEPS = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600];
const LABEL_ROOM = 56;

const rolls = new Map();  // id -> roll
const pending = new Set();  // ids to draw
let drawing = false;

onmessage = (event) => {
  const message = event.data;
  if (message.type === 'add') {
    const {id, canvas, notes, end, colours, axes, width, height, ratio} = message;
    rolls.set(id, {canvas, notes, end, colours, axes, width, height, ratio, drawnWidth: 0,
                   drawnHeight: 0});
  } else if (message.type === 'size') {
    const roll = rolls.get(message.id);
    if (!roll) return;
    roll.width = message.width;
    roll.height = message.height;
    roll.ratio = message.ratio;
  } else if (message.type === 'forget') {
    rolls.delete(message.id);
    pending.delete(message.id);
    return;
  }
  pending.add(message.id);
  drawPending();
};

// A turn of the event loop, so that sizes that came meanwhile count.
function turn() {
  return new Promise((resolve) => setTimeout(resolve, 0));
}

async function drawPending() {
  if (drawing) return;
  drawing = true;
  while (pending.size > 0) {
    await turn();
    const [id] = pending;
    pending.delete(id);
    const roll = rolls.get(id);
    if (!roll || (roll.width === roll.drawnWidth && roll.height === roll.drawnHeight)) continue;
    const {shown, times, pitches} = draw(roll);
    postMessage({type: 'drawn', id, width: roll.width, height: roll.height, shown, times, pitches});
  }
  drawing = false;
}

// A CSS colour #rrggbb as the 32-bit pixel of an ImageData (bytes r, g, b, a).
function pixel(colour) {
  const value = parseInt(colour.slice(1), 16);
  return ((255 << 24) | ((value & 0xff) << 16) | (value & 0xff00) | (value >> 16)) >>> 0;
}

// The name of a key: C4 is middle C (60).
function keyName(pitch) {
  return 'C' + (Math.floor(pitch / 12) - 1);
}

function timeName(seconds) {
  const minutes = Math.floor(seconds / 60);
  const rest = Math.round(seconds - 60 * minutes);
  return minutes + ':' + (rest < 10 ? '0' : '') + rest;
}

// The axes in the margins: a mark and a label every few seconds below, the
// name of each C (or of every other C, when they are close) on the left.
// Returns the labels drawn.
function drawAxes(context, roll, plot, low, high, y) {
  const {ratio, end} = roll;
  context.fillStyle = AXIS;
  context.fillRect(plot.left - 1, 0, 1, plot.height);
  context.fillRect(plot.left - 1, plot.height, plot.width + 1, 1);
  context.font = Math.round(FONT_PX * ratio) + 'px system-ui, sans-serif';
  context.fillStyle = LABEL;

  const times = [];
  if (end > 0) {
    const perSecond = plot.width / end;
    const step = TIME_STEPS.find((s) => s * perSecond >= LABEL_ROOM * ratio) ||
                 TIME_STEPS[TIME_STEPS.length - 1];
    context.textBaseline = 'top';
    for (let t = 0; t <= end; t += step) {
      const x = plot.left + Math.round(t * perSecond);
      context.fillStyle = AXIS;
      context.fillRect(x, plot.height, 1, Math.round(3 * ratio));
      context.fillStyle = LABEL;
      const label = timeName(t);
      context.textAlign = t === 0 ? 'left' : 'center';
      if (x + context.measureText(label).width / 2 > plot.left + plot.width) break;
      context.fillText(label, x, plot.height + Math.round(4 * ratio));
      times.push(label);
    }
  }

  const pitches = [];
  const rowHeight = plot.height / (high - low + 1);
  const every = rowHeight * 12 >= (FONT_PX + 2) * ratio ? 12 : 24;
  context.textAlign = 'right';
  context.textBaseline = 'middle';
  for (let pitch = Math.ceil(low / every) * every; pitch <= high; pitch += every) {
    const middle = Math.min(plot.height - FONT_PX * ratio / 2,
                            Math.max(FONT_PX * ratio / 2, y(pitch) + rowHeight / 2));
    context.fillText(keyName(pitch), plot.left - Math.round(4 * ratio), middle);
    pitches.push(keyName(pitch));
  }
  return {times, pitches};
}

// Notes as bars: time from left to right, pitch from bottom to top, a light
// line at every C, axes on the left and below. Most notes of a large song
// are narrower than a pixel: they are first laid on a grid of a cell per
// pixel column and key, which is then drawn row by row. A cell keeps the
// last two tracks that sound in it; where two tracks sound the same note at
// the same time (a part doubled), the cell is drawn in both colours, so that
// neither hides. Returns how many cells show each track, and the labels of
// the axes.
function draw(roll) {
  const {canvas, notes, colours, width, height} = roll;
  canvas.width = width;
  canvas.height = height;
  roll.drawnWidth = width;
  roll.drawnHeight = height;
  const left = Math.min(width - 1, Math.round(roll.axes.left * roll.ratio));
  const plot = {left, width: width - left,
                height: Math.max(1, height - Math.round(roll.axes.bottom * roll.ratio))};

  let low = 127;
  let high = 0;
  const count = notes.start.length;
  for (let n = 0; n < count; ++n) {
    low = Math.min(low, notes.pitch[n]);
    high = Math.max(high, notes.pitch[n]);
  }
  const columns = plot.width;
  const xScale = roll.end > 0 ? columns / roll.end : 0;

  // Tracks are numbered from 1 in the grid: 0 is an empty cell.
  const top = new Uint32Array(columns * 128);
  const under = new Uint32Array(columns * 128);
  for (let n = 0; n < count; ++n) {
    const x0 = Math.min(columns - 1, Math.floor(notes.start[n] * xScale));
    const x1 = Math.min(columns, Math.max(x0 + 1, Math.floor(notes.end[n] * xScale)));
    const track = notes.track[n] + 1;
    const at = notes.pitch[n] * columns;
    for (let x = at + x0; x < at + x1; ++x) {
      if (top[x] !== track) {
        under[x] = top[x];
        top[x] = track;
      }
    }
  }

  const colourOf = new Map();
  for (const [track, colour] of colours) colourOf.set(track + 1, pixel(colour));
  const shown = new Map();
  const image = new ImageData(width, height);
  const pixels = new Uint32Array(image.data.buffer);
  pixels.fill(pixel(BACKGROUND));
  const rowHeight = plot.height / (high - low + 1);
  const gap = rowHeight >= 4 ? 1 : 0;
  const y = (pitch) => Math.floor((high - pitch) * rowHeight);
  const line = pixel(C_LINE);
  for (let pitch = low; pitch <= high; ++pitch) {
    const y0 = y(pitch);
    const y1 = Math.min(plot.height, Math.max(y0 + 1, y(pitch - 1) - gap));
    // Where two tracks sound together: the upper half of the bar in one
    // colour and the lower half in the other, or, where bars are too thin
    // for halves, diagonal stripes three pixels wide.
    const split = y1 - y0 >= 4;
    const middle = (y0 + y1) >> 1;
    if (pitch % 12 === 0) {
      const at = Math.min(plot.height - 1, y(pitch - 1) - 1);
      pixels.fill(line, at * width + left, (at + 1) * width);
    }
    const base = pitch * columns;
    for (let x = 0; x < columns; ++x) {
      const first = top[base + x];
      if (first === 0) continue;
      const second = under[base + x];
      const a = colourOf.get(first);
      const b = second === 0 ? a : colourOf.get(second);
      shown.set(first, (shown.get(first) || 0) + 1);
      if (second !== 0) shown.set(second, (shown.get(second) || 0) + 1);
      for (let row = y0; row < y1; ++row) {
        pixels[row * width + left + x] = (split ? row < middle : (x + row) % 6 < 3) ? a : b;
      }
    }
  }
  const context = canvas.getContext('2d');
  context.putImageData(image, 0, 0);
  const labels = count > 0 ? drawAxes(context, roll, plot, low, high, y) : {times: [], pitches: []};
  return {shown: [...shown].map(([track, cells]) => [track - 1, cells]), ...labels};
}
