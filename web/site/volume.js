// The volume control: a range from 0 (silence) to 100, remembered between
// visits (in the browser's local storage), heard on a curve that people
// hear as even steps (the gain is the square of the setting).

import {setVolume} from './output.js';

const KEY = 'mthc-volume';
const range = document.getElementById('volume');
const shown = document.getElementById('volume-value');

function apply() {
  const setting = Number(range.value);
  shown.textContent = setting + '%';
  setVolume((setting / 100) ** 2);
}

function remembered() {
  try {
    const kept = localStorage.getItem(KEY);
    if (kept !== null && /^\d+$/.test(kept) && Number(kept) <= 100) return kept;
  } catch {
    // No storage (a private window may refuse it): the volume is not kept.
  }
  return null;
}

const kept = remembered();
if (kept !== null) range.value = kept;
apply();
range.addEventListener('input', () => {
  apply();
  try {
    localStorage.setItem(KEY, range.value);
  } catch {
    // As above: this visit keeps the volume all the same.
  }
});
