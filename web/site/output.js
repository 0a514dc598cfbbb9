// The page's sound: one audio context, made when a song first plays (not
// before: a page that only converts makes no sound at all), its master
// chain (master.js), and the visitor's volume last before the speakers.

import {masterChain} from './master.js';

let live = null;  // {context, chain, volume}
let volume = 1;

export function pageAudio() {
  if (!live) {
    const context = new AudioContext();
    const chain = masterChain(context);
    const gain = context.createGain();
    gain.gain.value = volume;
    chain.output.connect(gain);
    gain.connect(context.destination);
    live = {context, chain, volume: gain};
  }
  return live;
}

// Seconds over which the volume moves to a new setting, without a click.
const GLIDE = 0.03;

// `value` from 0 (silence) to 1 (full).
export function setVolume(value) {
  volume = value;
  if (!live) return;
  const gain = live.volume.gain;
  const now = live.context.currentTime;
  gain.cancelScheduledValues(now);
  gain.setValueAtTime(gain.value, now);
  gain.linearRampToValueAtTime(value, now + GLIDE);
}
