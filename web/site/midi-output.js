// A MIDI device as the player's sink (player.js): the song's channel
// messages go to a Web MIDI output with timestamps a little ahead, so that
// their timing does not depend on the page's main thread.
//
// What is sent for later cannot be taken back where the browser has no
// MIDIOutput.clear() (Chromium has none): to silence the device, every note
// sounding gets its note-off now, every note-on still waiting gets a
// note-off at its own time (a note of no length), and every channel used
// gets the sustain pedal up and All Notes Off both now and after the last
// message sent. Nothing new is sent before then.

import {bytesOf} from './midi-message.js';

// Seconds ahead: enough to ride over a busy page, little enough that a
// Pause is not held up.
const LOOKAHEAD = 0.15;

const NOTE_OFF = 0x80;
const NOTE_ON = 0x90;
const CONTROL = 0xb0;
const SUSTAIN = 64;
const RESET_CONTROLLERS = 121;
const ALL_NOTES_OFF = 123;

// A sink that plays on `output` (a MIDIOutput).
export function midiSink(output) {
  const now = () => performance.now() / 1000;
  // Notes handed over and not ended: channel << 8 | key -> the time of the
  // note-on, in seconds.
  const sounding = new Map();
  const used = new Set();  // channels
  let last = 0;  // the latest time handed over
  let quietFrom = 0;

  function send(bytes, at) {
    output.send(bytes, at * 1000);
    last = Math.max(last, at);
  }

  function everyChannel(at) {
    for (const channel of used) {
      send([CONTROL | channel, SUSTAIN, 0], at);
      send([CONTROL | channel, ALL_NOTES_OFF, 0], at);
    }
  }

  return {
    lookahead: LOOKAHEAD,
    now,
    earliest: () => quietFrom,
    ready: () => Promise.resolve(output.open ? output.open() : undefined),
    send(message, at) {
      const bytes = bytesOf(message);
      const command = bytes[0] & 0xf0;
      const channel = bytes[0] & 0x0f;
      const key = (channel << 8) | bytes[1];
      used.add(channel);
      if (command === NOTE_ON && bytes[2] > 0) sounding.set(key, at);
      else if (command === NOTE_OFF || command === NOTE_ON) sounding.delete(key);
      send(bytes, at);
    },
    flush() {},
    reset(at) {
      for (let channel = 0; channel < 16; ++channel) {
        send([CONTROL | channel, RESET_CONTROLLERS, 0], at);
      }
    },
    silence() {
      const at = now();
      if (output.clear) output.clear();
      for (const [key, on] of sounding) {
        send([NOTE_OFF | (key >> 8), key & 0xff, 0], Math.max(at, on));
      }
      sounding.clear();
      everyChannel(at);
      const after = Math.max(at, last) + 0.001;
      everyChannel(after);
      quietFrom = after + 0.001;
    },
  };
}
