// A WAV file: 16-bit PCM, two channels, from the sound as floating point
// samples (full scale at 1). Samples are rounded to the nearest step and
// held within full scale.

const HEADER = 44;

export function wavFile(left, right, sampleRate) {
  const frames = left.length;
  const buffer = new ArrayBuffer(HEADER + frames * 4);
  const view = new DataView(buffer);
  const text = (at, value) => {
    for (let i = 0; i < value.length; ++i) view.setUint8(at + i, value.charCodeAt(i));
  };
  text(0, 'RIFF');
  view.setUint32(4, buffer.byteLength - 8, true);
  text(8, 'WAVE');
  text(12, 'fmt ');
  view.setUint32(16, 16, true);
  view.setUint16(20, 1, true);  // PCM
  view.setUint16(22, 2, true);  // channels
  view.setUint32(24, sampleRate, true);
  view.setUint32(28, sampleRate * 4, true);  // bytes a second
  view.setUint16(32, 4, true);  // bytes a frame
  view.setUint16(34, 16, true);  // bits a sample
  text(36, 'data');
  view.setUint32(40, frames * 4, true);
  const samples = new Int16Array(buffer, HEADER);
  const step = (x) => Math.max(-32768, Math.min(32767, Math.round(x * 32768)));
  for (let i = 0; i < frames; ++i) {
    samples[2 * i] = step(left[i]);
    samples[2 * i + 1] = step(right[i]);
  }
  return new Blob([buffer], {type: 'audio/wav'});
}
