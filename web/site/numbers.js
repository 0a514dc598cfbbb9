// How the page writes numbers: counts, sizes, ratios and durations.

export function count(n) {
  return Number(n).toLocaleString('en-US');
}

export function bytesText(n) {
  return count(n) + (n === 1 ? ' byte' : ' bytes');
}

// How much smaller the container is than its MIDI file, as the listing of
// mthc-pack -l says it.
export function ratioText(packed, midi) {
  if (midi === 0) return '-';
  return (100 * (1 - packed / midi)).toFixed(1) + '%';
}

// [h:]m:ss.s
export function durationText(seconds) {
  const tenths = Math.round(seconds * 10);
  const hours = Math.floor(tenths / 36000);
  const minutes = Math.floor(tenths / 600) % 60;
  const rest = (tenths % 600) / 10;
  const two = (n) => (n < 10 ? '0' : '') + n;
  return (hours > 0 ? hours + ':' + two(minutes) : String(minutes)) + ':' +
         (rest < 10 ? '0' : '') + rest.toFixed(1);
}

// A time as it is said: "2 minutes 5 seconds", to the second.
export function spokenTime(seconds) {
  const whole = Math.round(seconds);
  const parts = [[Math.floor(whole / 3600), 'hour'], [Math.floor(whole / 60) % 60, 'minute'],
                 [whole % 60, 'second']];
  const said = parts.filter(([n], i) => n > 0 || (i === 2 && whole === 0))
                    .map(([n, unit]) => n + ' ' + unit + (n === 1 ? '' : 's'));
  return said.join(' ');
}
