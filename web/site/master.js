// What every synthesizer's sound goes through before it leaves the page, or
// goes into a WAV file: a limiter, so that dense passages (sixteen channels
// of fortissimo chords) never go past full scale, and under it a ceiling
// that the limiter's few overshoots cannot pass.
//
// Each synthesizer comes in through a gain of its own (LEVELS), which gives
// real songs about the loudness of a render from General MIDI samples
// (timidity's), and leaves the limiter the peaks alone.

export const LEVELS = {
  builtin: 0.45,
  soundfont: 0.9,
};

// The Web Audio compressor as a limiter: a hard knee, the greatest ratio,
// and a quick attack (it looks 6 ms ahead). It also raises what lies under
// its threshold by a little (its own make-up gain), which LEVELS allow for.
const LIMITER = {threshold: -3, knee: 0, ratio: 20, attack: 0.001, release: 0.1};

// Up to CEILING_FROM the ceiling lets the signal through untouched; above,
// it bends it smoothly towards CEILING, which nothing goes past (the shaper
// holds its last value for any input beyond full scale).
const CEILING_FROM = 0.9;
const CEILING = 0.995;
const CURVE_POINTS = 4097;

function ceilingCurve() {
  const curve = new Float32Array(CURVE_POINTS);
  const room = CEILING - CEILING_FROM;
  for (let i = 0; i < CURVE_POINTS; ++i) {
    const x = (2 * i) / (CURVE_POINTS - 1) - 1;
    const size = Math.abs(x);
    const y = size <= CEILING_FROM ? size
                                   : CEILING_FROM + room * Math.tanh((size - CEILING_FROM) / room);
    curve[i] = Math.sign(x) * y;
  }
  return curve;
}

// The chain in `context` (an AudioContext or an OfflineAudioContext):
// synthesizers connect to a level of input(kind); output is to be
// connected on.
export function masterChain(context) {
  const limiter = context.createDynamicsCompressor();
  for (const [name, value] of Object.entries(LIMITER)) limiter[name].value = value;
  const ceiling = context.createWaveShaper();
  ceiling.curve = ceilingCurve();
  limiter.connect(ceiling);
  return {
    input(kind) {
      const level = context.createGain();
      level.gain.value = LEVELS[kind];
      level.connect(limiter);
      return level;
    },
    output: ceiling,
  };
}
