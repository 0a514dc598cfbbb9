// The SoundFont engine (spessasynth_core, vendored) in the page's audio
// worklet: it plays the channel messages it is given at their times, to the
// sample, with the visitor's SoundFont.
//
// Messages in:  {type: 'bank', bytes}  the SoundFont (no compressed samples)
//               {type: 'events', times, messages, acknowledge}  in time
//                   order, the times on the audio context's clock; messages
//                   packed as status | first data byte << 8 | second << 16
//               {type: 'silence'}  every note stops now, nothing waits
//               {type: 'reset'}    and the channels are set as at power-on
//               {type: 'end'}      the node is let go
// Messages out: {type: 'bank'} once it plays, or {type: 'bank', error}
//               {type: 'events'} once events are in hand, when asked

import {SoundBankLoader, SpessaSynthProcessor} from './spessasynth_core.min.js';
import {bytesOf} from './midi-message.js';

class SoundFontProcessor extends AudioWorkletProcessor {
  constructor() {
    super();
    this.synth = null;
    this.waiting = [];  // {times, messages, next}, in time order
    this.ended = false;
    this.port.onmessage = (event) => this.receive(event.data);
  }

  receive(message) {
    if (message.type === 'bank') {
      try {
        const bank = SoundBankLoader.fromArrayBuffer(message.bytes);
        const synth = new SpessaSynthProcessor(sampleRate, {initialTime: currentTime});
        synth.soundBankManager.addSoundBank(bank, 'visitor');
        synth.reset();
        this.synth = synth;
        this.port.postMessage({type: 'bank'});
      } catch (error) {
        this.port.postMessage({type: 'bank', error: String(error && error.message || error)});
      }
    } else if (message.type === 'events') {
      this.waiting.push({times: message.times, messages: message.messages, next: 0});
      if (message.acknowledge) this.port.postMessage({type: 'events'});
    } else if (message.type === 'silence' || message.type === 'reset') {
      this.waiting.length = 0;
      if (!this.synth) return;
      if (message.type === 'reset') this.synth.reset();
      this.synth.stopAllChannels(true);
    } else if (message.type === 'end') {
      this.ended = true;
    }
  }

  process(inputs, outputs) {
    const [left, right] = outputs[0];
    const synth = this.synth;
    if (!synth) return !this.ended;
    const frames = left.length;
    let done = 0;
    while (this.waiting.length > 0) {
      const batch = this.waiting[0];
      if (batch.next >= batch.times.length) {
        this.waiting.shift();
        continue;
      }
      const offset = Math.round((batch.times[batch.next] - currentTime) * sampleRate);
      if (offset >= frames) break;
      if (offset > done) {
        synth.process(left, right, done, offset - done);
        done = offset;
      }
      synth.processMessage(bytesOf(batch.messages[batch.next]));
      ++batch.next;
    }
    if (done < frames) synth.process(left, right, done, frames - done);
    return !this.ended;
  }
}

registerProcessor('mthc-soundfont', SoundFontProcessor);
