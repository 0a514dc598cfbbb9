// Playing a song: a small General MIDI synthesizer on Web Audio
// (webaudio-tinysynth, vendored: its sounds are made from oscillators and
// noise, so it needs no sample files), fed the song's channel messages a
// little ahead of time. The messages come from a converter, with their times
// in seconds (the tempo changes followed); the page only schedules them,
// a few dozen at a time, so playing never holds it up. One song plays at a
// time: starting another stops the first.

// How far ahead messages are handed to the synthesizer, in seconds: enough
// to ride over a busy page, and more while the page is hidden, when the
// browser runs its timers only about once a second.
const LOOKAHEAD = 0.3;
const LOOKAHEAD_HIDDEN = 2.5;
const TICK_MS = 40;
const MESSAGES_PER_TICK = 4000;

// `hooks.events(row)` gives a promise of the row's song as
// {times, messages, tracks}; `hooks.show(row, seconds, playing)` shows where
// the row's song is.
export function createPlayer(hooks) {
  let synth = null;
  let loading = null;
  // The song playing or paused last: its row, its messages, the next message
  // to hand over, and the time of the audio clock at which the song was at
  // `from` seconds.
  let session = null;
  let timer = 0;
  let frame = 0;

  function loadSynth() {
    if (!loading) {
      loading = new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = 'webaudio-tinysynth.min.js';
        script.onload = () => {
          synth = new WebAudioTinySynth({quality: 1, useReverb: 1});
          resolve(synth);
        };
        script.onerror = () => reject(new Error('the synthesizer could not be loaded'));
        document.head.append(script);
      });
      loading.catch(() => { loading = null; });
    }
    return loading;
  }

  function clock() {
    return synth.getAudioContext().currentTime;
  }

  function position() {
    if (!session) return 0;
    if (!session.playing) return session.from;
    return Math.min(session.duration, session.from + Math.max(0, clock() - session.startedAt));
  }

  function send(message, at) {
    const status = message & 0xff;
    const command = status & 0xf0;
    const bytes = command === 0xc0 || command === 0xd0
        ? [status, (message >> 8) & 0x7f]
        : [status, (message >> 8) & 0x7f, (message >> 16) & 0x7f];
    synth.send(bytes, at);
  }

  function silence() {
    for (let channel = 0; channel < 16; ++channel) synth.send([0xb0 | channel, 120, 0]);
  }

  // The first message at or after `seconds`.
  function indexAt(times, seconds) {
    let low = 0;
    let high = times.length;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (times[middle] < seconds) low = middle + 1;
      else high = middle;
    }
    return low;
  }

  // The channels as the song has set them up by message `index`: their
  // programs, controllers, pitch bends and bend ranges, sent anew.
  function restoreChannels(events, index) {
    synth.reset();
    const program = new Int16Array(16).fill(-1);
    const bend = new Int32Array(16).fill(-1);
    const bendRange = new Int16Array(16).fill(-1);
    const parameter = new Int16Array(16).fill(0x3fff);
    const controllers = new Map();  // channel << 8 | controller -> value
    for (let i = 0; i < index; ++i) {
      const message = events.messages[i];
      const channel = message & 0x0f;
      const command = message & 0xf0;
      const first = (message >> 8) & 0x7f;
      const second = (message >> 16) & 0x7f;
      if (command === 0xc0) program[channel] = first;
      else if (command === 0xe0) bend[channel] = message >> 8;
      else if (command !== 0xb0 || first >= 120) continue;
      else if (first === 101) parameter[channel] = (parameter[channel] & 0x7f) | (second << 7);
      else if (first === 100) parameter[channel] = (parameter[channel] & 0x3f80) | second;
      else if (first === 6 && parameter[channel] === 0) bendRange[channel] = second;
      else if (first !== 38 && first !== 98 && first !== 99) {
        controllers.set((channel << 8) | first, second);
      }
    }
    for (let channel = 0; channel < 16; ++channel) {
      if (program[channel] >= 0) synth.send([0xc0 | channel, program[channel]]);
      if (bendRange[channel] >= 0) {
        synth.send([0xb0 | channel, 101, 0]);
        synth.send([0xb0 | channel, 100, 0]);
        synth.send([0xb0 | channel, 6, bendRange[channel]]);
      }
      if (bend[channel] >= 0) synth.send([0xe0 | channel, bend[channel] & 0x7f, bend[channel] >> 8]);
    }
    for (const [key, value] of controllers) synth.send([0xb0 | (key >> 8), key & 0xff, value]);
  }

  // Hands over the messages due before the clock is LOOKAHEAD further on.
  function schedule() {
    const s = session;
    const now = clock();
    const until = now + (document.hidden ? LOOKAHEAD_HIDDEN : LOOKAHEAD);
    const {times, messages, tracks} = s.events;
    for (let budget = MESSAGES_PER_TICK; s.index < times.length && budget > 0; --budget) {
      const at = s.startedAt + times[s.index] - s.from;
      if (at > until) break;
      const message = messages[s.index];
      // A muted track's notes do not start; everything else of it is played,
      // so that its channel is set up when it sounds again.
      const noteOn = (message & 0xf0) === 0x90 && ((message >> 16) & 0x7f) > 0;
      if (!noteOn || s.row.audible(tracks[s.index])) send(message, Math.max(at, now));
      ++s.index;
    }
    if (s.index >= times.length && now >= s.startedAt + s.duration - s.from) {
      pause();
      s.from = 0;
      s.index = 0;
      hooks.show(s.row, 0, false);
    }
  }

  function animate() {
    if (!session || !session.playing) return;
    hooks.show(session.row, position(), true);
    frame = requestAnimationFrame(animate);
  }

  function start() {
    const s = session;
    s.index = indexAt(s.events.times, s.from);
    restoreChannels(s.events, s.index);
    s.startedAt = clock() + 0.05;
    s.playing = true;
    timer = setInterval(schedule, TICK_MS);
    schedule();
    animate();
  }

  function pause() {
    if (!session || !session.playing) return;
    session.from = position();
    session.playing = false;
    clearInterval(timer);
    cancelAnimationFrame(frame);
    silence();
    hooks.show(session.row, session.from, false);
  }

  // Lets the song of `row` go (its row is gone, or another song starts).
  function forget(row) {
    if (!session || session.row !== row) return;
    pause();
    session = null;
  }

  async function play(row, from) {
    if (session && session.row !== row) {
      const other = session.row;
      forget(other);
      hooks.show(other, 0, false);
    }
    if (!session) {
      const [, events] = await Promise.all([loadSynth(), hooks.events(row)]);
      // Another song may have been asked for meanwhile, or this row removed.
      if (session || !row.node.isConnected) return;
      let duration = row.song.duration_seconds;
      if (events.times.length > 0) duration = Math.max(duration, events.times[events.times.length - 1]);
      session = {row, events, duration, from, index: 0, startedAt: 0, playing: false};
    }
    await synth.getAudioContext().resume();
    if (session.row !== row || session.playing) return;
    session.from = Math.min(from, session.duration);
    start();
  }

  return {
    // Plays the song of `row` from `from` seconds, or pauses it.
    toggle(row, from) {
      if (session && session.row === row && session.playing) {
        pause();
        return Promise.resolve();
      }
      return play(row, from);
    },
    // Moves the song of `row` to `seconds`; it plays on from there if it
    // was playing.
    seek(row, seconds) {
      if (!session || session.row !== row) {
        hooks.show(row, seconds, false);
        return;
      }
      const playing = session.playing;
      pause();
      session.from = Math.min(seconds, session.duration);
      if (playing) start();
      else hooks.show(row, session.from, false);
    },
    forget,
    // The row whose song plays, if any.
    playing() {
      return session && session.playing ? session.row : null;
    },
  };
}
