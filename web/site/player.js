// Playing a song: its channel messages come from a converter with their
// times in seconds (the tempo changes followed), and the page hands them to
// a sink a little ahead of time, a few dozen at a time, so playing never
// holds it up. One song plays at a time: starting another stops the first.
//
// A sink is where the messages go: the built-in synthesizer
// (builtin-synth.js), the visitor's SoundFont (soundfont-synth.js) or a
// MIDI device (midi-output.js). Each has
//   lookahead          how far ahead it is handed messages, in seconds
//   now()              its clock, in seconds
//   ready()            a promise that it can sound (its audio context resumed)
//   send(message, at)  a message (status | first data byte << 8 | second << 16)
//                      due at `at` on its clock
//   flush()            hands over what was sent
//   reset(at)          its channels as they are at power-on
//   silence()          every note ends now, and nothing sent for later sounds
//   earliest()         the time before which nothing new may be sent (a
//                      device may still have messages it was given for later)

// While the page is hidden, the browser runs its timers only about once a
// second: messages go further ahead.
const LOOKAHEAD_HIDDEN = 2.5;
const TICK_MS = 40;
const MESSAGES_PER_TICK = 4000;
// Between the channels set up and the first note.
const START_DELAY = 0.05;

function pack(status, first, second) {
  return status | (first << 8) | ((second || 0) << 16);
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
// programs, controllers, pitch bends and bend ranges, sent anew at `at`.
function restoreChannels(sink, events, index, at) {
  sink.reset(at);
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
    if (program[channel] >= 0) sink.send(pack(0xc0 | channel, program[channel]), at);
    if (bendRange[channel] >= 0) {
      sink.send(pack(0xb0 | channel, 101, 0), at);
      sink.send(pack(0xb0 | channel, 100, 0), at);
      sink.send(pack(0xb0 | channel, 6, bendRange[channel]), at);
    }
    if (bend[channel] >= 0) {
      sink.send(pack(0xe0 | channel, bend[channel] & 0x7f, bend[channel] >> 8), at);
    }
  }
  for (const [key, value] of controllers) sink.send(pack(0xb0 | (key >> 8), key & 0xff, value), at);
}

// `hooks.events(row)` gives a promise of the row's song as
// {times, messages, tracks}; `hooks.sink()` a promise of the sink to play
// on; `hooks.show(row, seconds, playing)` shows where the row's song is;
// `hooks.ended(row)` is told when a song has played to its end.
export function createPlayer(hooks) {
  // The song playing or paused last: its row, its messages, its sink, the
  // next message to hand over, and the time of the sink's clock at which the
  // song was at `from` seconds.
  let session = null;
  let timer = 0;
  let frame = 0;
  // Counts the changes of sink: a song that was starting meanwhile takes
  // the new one.
  let sinkChanges = 0;

  function position() {
    if (!session) return 0;
    if (!session.playing) return session.from;
    const clock = session.sink.now();
    return Math.min(session.duration, session.from + Math.max(0, clock - session.startedAt));
  }

  // Hands over the messages due before the sink's clock is its lookahead
  // further on.
  function schedule() {
    const s = session;
    const sink = s.sink;
    const now = sink.now();
    const until = now + (document.hidden ? LOOKAHEAD_HIDDEN : sink.lookahead);
    const {times, messages, tracks} = s.events;
    for (let budget = MESSAGES_PER_TICK; s.index < times.length && budget > 0; --budget) {
      const at = s.startedAt + times[s.index] - s.from;
      if (at > until) break;
      const message = messages[s.index];
      // A muted track's notes do not start; everything else of it is played,
      // so that its channel is set up when it sounds again.
      const noteOn = (message & 0xf0) === 0x90 && ((message >> 16) & 0x7f) > 0;
      if (!noteOn || s.row.audible(tracks[s.index])) sink.send(message, Math.max(at, now));
      ++s.index;
    }
    sink.flush();
    if (s.index >= times.length && now >= s.startedAt + s.duration - s.from) {
      pause();
      s.from = 0;
      s.index = 0;
      hooks.show(s.row, 0, false);
      // What comes next (the song again, the next one, or nothing) is the
      // list's to say, once this tick is over.
      setTimeout(() => hooks.ended(s.row), 0);
    }
  }

  function animate() {
    if (!session || !session.playing) return;
    hooks.show(session.row, position(), true);
    frame = requestAnimationFrame(animate);
  }

  function start() {
    const s = session;
    const sink = s.sink;
    s.index = indexAt(s.events.times, s.from);
    const setUp = Math.max(sink.now(), sink.earliest());
    restoreChannels(sink, s.events, s.index, setUp);
    s.startedAt = setUp + START_DELAY;
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
    session.sink.silence();
    session.sink.flush();
    hooks.show(session.row, session.from, false);
  }

  // Lets the song of `row` go (its row is gone, or another song starts).
  function forget(row) {
    if (!session || session.row !== row) return;
    pause();
    session = null;
  }

  async function currentSink() {
    for (;;) {
      const changes = sinkChanges;
      const sink = await hooks.sink();
      if (changes === sinkChanges) return sink;
    }
  }

  async function play(row, from) {
    if (session && session.row !== row) {
      const other = session.row;
      forget(other);
      hooks.show(other, 0, false);
    }
    if (!session) {
      const [sink, events] = await Promise.all([currentSink(), hooks.events(row)]);
      // Another song may have been asked for meanwhile, or this row removed.
      if (session || !row.node.isConnected) return;
      let duration = row.song.duration_seconds;
      if (events.times.length > 0) duration = Math.max(duration, events.times[events.times.length - 1]);
      session = {row, events, duration, sink, from, index: 0, startedAt: 0, playing: false};
    }
    while (!session.sink) {
      const sink = await currentSink();
      if (!session || session.row !== row) return;
      if (!session.sink) session.sink = sink;
    }
    const sink = session.sink;
    await sink.ready();
    if (!session || session.row !== row || session.playing || session.sink !== sink) return;
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
    // The sink to play on has changed: the song playing goes on there, from
    // where it is.
    async changeSink() {
      ++sinkChanges;
      if (!session) return;
      const {row, playing} = session;
      pause();
      session.sink = null;
      if (playing) await play(row, session.from);
    },
    // Everything stops sounding (the page is closing).
    stop() {
      pause();
    },
    forget,
    // The row whose song plays, if any.
    playing() {
      return session && session.playing ? session.row : null;
    },
    // The row whose song plays or is paused, if any.
    current() {
      return session ? session.row : null;
    },
  };
}
