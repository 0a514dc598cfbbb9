"""The page's sound in headless Chromium, measured where it leaves the page:
every sample that reaches an audio context's destination goes through a
meter of the test too (METER). The page never goes past full scale, its
volume reaches silence and is remembered; a SoundFont made by the test
(soundfont.py, a sine of 1000 Hz) is what plays once chosen and after a
reload (and as an .sf3), and the built-in synthesizer once undone; a MIDI device injected
by the test (a fake Web MIDI output) gets the song's notes in time and no
note is left on after Pause and after a seek; a song saved as WAV is as
long and as loud as it plays.

Needs MTHC_SITE, MTHC_TEST_FILES and MTHC_ARTIFACTS, as page_test.py.
"""

import contextlib
import io
import json
import os
import subprocess
import tempfile
import time
import unittest
import wave

import numpy

import browser
import page_test
import sound_songs
import soundfont

FILES = os.environ.get("MTHC_TEST_FILES", "")
INPUTS = os.path.join(FILES, "inputs")
# trio.mid as make_test_files.py makes it.
TRIO_PARTS = [("Piano", 1, 120, 0, 0), ("Bass", 2, 60, 1, 33), ("Strings", 3, 80, 2, 48)]
TONE_HZ = 1000.0

# Every sample that reaches a destination, measured: the page's sound as it
# leaves, block by block (blocks of 4096 frames: the time of the block on
# the audio clock, its peak, its sum of squares, its frames).
METER = """
(() => {
  const connect = AudioNode.prototype.connect;
  const meters = window.soundMeters = [];
  AudioNode.prototype.connect = function (target, ...rest) {
    const result = connect.call(this, target, ...rest);
    if (target instanceof AudioDestinationNode && target.context instanceof AudioContext) {
      let meter = meters.find((m) => m.context === target.context);
      if (!meter) {
        const context = target.context;
        const node = context.createScriptProcessor(4096, 2, 2);
        meter = {context, node, blocks: []};
        node.onaudioprocess = (event) => {
          let peak = 0;
          let squares = 0;
          for (let c = 0; c < event.inputBuffer.numberOfChannels; ++c) {
            for (const s of event.inputBuffer.getChannelData(c)) {
              peak = Math.max(peak, Math.abs(s));
              squares += s * s;
            }
          }
          meter.blocks.push([event.playbackTime, peak, squares,
                             event.inputBuffer.length * event.inputBuffer.numberOfChannels]);
        };
        connect.call(node, context.destination);
        meters.push(meter);
      }
      connect.call(this, meter.node);
    }
    return result;
  };
})();
"""

# The meter's blocks since `since` (seconds on the audio clock):
# [peak, rms, blocks].
MEASURE = """
  const measure = (since) => {
    let peak = 0, squares = 0, count = 0, blocks = 0;
    for (const meter of window.soundMeters || []) {
      for (const [at, p, s, n] of meter.blocks) {
        if (at < since) continue;
        peak = Math.max(peak, p); squares += s; count += n; ++blocks;
      }
    }
    return [peak, count ? Math.sqrt(squares / count) : 0, blocks];
  };
  const clock = () => window.soundMeters.length ? window.soundMeters[0].context.currentTime : 0;
"""

# A MIDI output of the test: what the page sends, with the timestamps it
# gives and the time it was sent.
FAKE_MIDI = """
  const sent = window.midiSent = [];
  const output = {id: 'test-1', name: 'Test synth', type: 'output', state: 'connected',
                  open: () => Promise.resolve(output),
                  send(data, timestamp) {
                    const now = performance.now();
                    sent.push([[...data], timestamp === undefined ? now : timestamp, now]);
                  }};
  const access = new EventTarget();
  access.inputs = new Map();
  access.outputs = new Map([[output.id, output]]);
  navigator.requestMIDIAccess = () => Promise.resolve(access);
"""


def replay(sent):
    """The messages of the fake output in the order a device gets them
    (by timestamp, then as sent). Returns the times (seconds) at which
    notes were sounding, as [(time, set of (channel, key) on after the
    messages of that time)]."""
    on = set()
    moments = []
    ordered = sorted(enumerate(sent), key=lambda e: (e[1][1], e[0]))
    for n, (_, (data, stamp, _)) in enumerate(ordered):
        status = data[0] & 0xF0
        channel = data[0] & 0x0F
        if status == 0x90 and data[2] > 0:
            on.add((channel, data[1]))
        elif status in (0x80, 0x90):
            on.discard((channel, data[1]))
        elif status == 0xB0 and data[1] in (120, 123):
            on = {note for note in on if note[0] != channel}
        if n + 1 == len(ordered) or ordered[n + 1][1][1] != stamp:
            moments.append((stamp / 1000, set(on)))
    return moments


def vorbis(pcm, rate):
    """16-bit mono PCM as an Ogg Vorbis stream, by sox."""
    return subprocess.run(["sox", "-t", "raw", "-r", str(rate), "-e", "signed", "-b", "16",
                           "-c", "1", "-", "-t", "ogg", "-"], input=pcm, check=True,
                          capture_output=True).stdout


def spectrum_peak(page):
    """The frequency of the loudest bin of the sound leaving the page now,
    with how far the tone of the test's SoundFont and the middle C of the
    built-in synthesizer stand below it (dB)."""
    return page.run("""
      // The page's context (the built-in synthesizer starts on an offline
      // context, which never runs).
      const {analyser, context} = window.audioTaps.find((t) => t.context.state === 'running');
      // Now, not averaged with what was read before.
      analyser.smoothingTimeConstant = 0;
      const bins = new Float32Array(analyser.frequencyBinCount);
      analyser.getFloatFrequencyData(bins);
      let best = 1;
      for (let i = 1; i < bins.length; ++i) if (bins[i] > bins[best]) best = i;
      const hz = context.sampleRate / analyser.fftSize;
      // A bin of silence is -Infinity: as quiet as 16 bits go and more.
      const near = (f) => Math.max(-300, ...[-1, 0, 1].map((d) => bins[Math.round(f / hz) + d]));
      return [best * hz, hz, bins[best], bins[best] - near(arguments[0]),
              bins[best] - near(261.63)];""", TONE_HZ)


class SoundTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.resources = contextlib.ExitStack()
        cls.folder = cls.resources.enter_context(tempfile.TemporaryDirectory())
        cls.files = {}
        for name, data in [("fortissimo.mid", sound_songs.fortissimo()),
                           ("tone.mid", sound_songs.tone()),
                           ("ten-minutes.mid", sound_songs.band_song("ballad", 600)),
                           ("sine.sf2", soundfont.sine_soundfont(TONE_HZ)),
                           ("sine.sf3", soundfont.sine_soundfont(TONE_HZ, compress=vorbis)),
                           ("not-a-soundfont.sf2", b"RIFF\x04\x00\x00\x00sfbk")]:
            cls.files[name] = os.path.join(cls.folder, name)
            with open(cls.files[name], "wb") as f:
                f.write(data)
        for name in ("trio.mid", "largest.mthc"):
            cls.files[name] = os.path.join(INPUTS, name)
        cls.address = cls.resources.enter_context(browser.serve(os.environ["MTHC_SITE"]))
        cls.driver = cls.resources.enter_context(browser.chromium(width=1280))
        for script in (page_test.AUDIO_TAP, METER):
            cls.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": script})

    @classmethod
    def tearDownClass(cls):
        cls.resources.close()

    def setUp(self):
        self.page = browser.Page(self.driver, self.address)
        self.set_volume(100)

    def tearDown(self):
        severe = [entry for entry in self.driver.get_log("browser") if entry["level"] == "SEVERE"]
        self.assertEqual(severe, [])

    def load(self, *names):
        before = len(self.page.rows())
        self.page.upload([self.files[name] for name in names])
        rows = self.page.wait_for_rows(before + len(names))[before:]
        self.assertEqual([row["state"] for row in rows], ["done"] * len(names))
        self.page.wait_until("return [...document.querySelectorAll('#results > li')]"
                             ".every((r) => r.querySelector('button.play'))", 60)

    def set_volume(self, value):
        self.page.run("""const range = document.getElementById('volume');
                         range.value = arguments[0];
                         range.dispatchEvent(new Event('input'));""", value)

    def click(self, name, selector):
        self.page.run(self.page.row(name) + "row.querySelector(arguments[0]).click();", selector)

    def play(self, name):
        self.click(name, "button.play")
        self.page.wait_until(self.page.row(name) + "return row.dataset.playing === 'yes'", 60)

    def pause(self, name):
        self.click(name, "button.play")
        self.page.wait_until(self.page.row(name) + "return row.dataset.playing === 'no'", 30)

    def seek(self, name, seconds):
        self.page.run(self.page.row(name) + """
          const position = row.querySelector('.position');
          position.value = arguments[0];
          position.dispatchEvent(new Event('input'));""", seconds)

    def measure(self, since):
        return self.page.run(MEASURE + "return measure(arguments[0]);", since)

    def clock(self):
        return self.page.run(MEASURE + "return clock();")

    def choose_soundfont(self, name):
        self.driver.find_element("id", "soundfont").send_keys(self.files[name])
        return self.page.wait_until("""
          const section = document.getElementById('sound');
          return section.dataset.instruments !== 'reading' &&
                 document.getElementById('soundfont-status').textContent;""", 60)

    def engine_fetched(self):
        return self.page.run("""return performance.getEntriesByType('resource')
                                .some((e) => e.name.endsWith('spessasynth_core.min.js'));""")

    def test_fortissimo_never_past_full_scale_and_the_volume(self):
        self.load("fortissimo.mid")
        start = self.clock()
        self.play("fortissimo.mid")
        self.page.wait_until(self.page.row("fortissimo.mid") +
                             "return row.dataset.playing === 'no'", 60)
        peak, rms, blocks = self.measure(start)
        print("fortissimo chord, built-in synthesizer: peak %.4f, RMS %.4f over %d blocks"
              % (peak, rms, blocks))
        # Every sample of the 4 s measured, loud, and none past full scale.
        self.assertGreater(blocks * 4096 / 44100, 3.5)
        self.assertGreater(peak, 0.5)
        self.assertLessEqual(peak, 1.0)

        # The volume at its least: silence, at once; and it is remembered.
        self.play("fortissimo.mid")
        time.sleep(0.5)
        self.set_volume(0)
        # The meter hears the sound some blocks late.
        time.sleep(0.6)
        quiet = self.clock()
        time.sleep(1)
        self.assertEqual(self.measure(quiet)[0], 0.0)
        self.assertEqual(self.page.run("return document.getElementById('volume-value')"
                                       ".textContent"), "0%")
        self.page = browser.Page(self.driver, self.address)
        self.assertEqual(self.page.run("return document.getElementById('volume').value"), "0")
        self.set_volume(100)

    def test_soundfont_plays_once_chosen_and_after_a_reload(self):
        # The first visit fetches no SoundFont engine.
        self.assertFalse(self.engine_fetched())
        self.assertEqual(self.page.run("return document.getElementById('sound')"
                                       ".dataset.instruments"), "builtin")
        # A file that is not a SoundFont is refused in words; nothing changes.
        said = self.choose_soundfont("not-a-soundfont.sf2")
        self.assertIn("not-a-soundfont.sf2 cannot be used", said)
        self.assertIn("the built-in synthesizer still", said)
        self.assertEqual(self.page.run("return document.getElementById('sound')"
                                       ".dataset.instruments"), "builtin")

        said = self.choose_soundfont("sine.sf2")
        self.assertIn("Songs play with sine.sf2 (1 instrument)", said)
        self.assertTrue(self.engine_fetched())
        self.assertEqual(self.page.run("return document.getElementById('instruments-name')"
                                       ".textContent"), "sine.sf2")
        self.load("tone.mid")

        def hear(expected_hz):
            # From the start: the tone is one note, held.
            self.seek("tone.mid", 0)
            self.play("tone.mid")
            time.sleep(1.5)
            found, bin_hz, level, below_tone, below_c = spectrum_peak(self.page)
            self.pause("tone.mid")
            print("tone.mid: loudest at %.0f Hz (bins of %.1f Hz, %.0f dB); the SoundFont's "
                  "tone %.0f dB under it, middle C %.0f dB under it"
                  % (found, bin_hz, level, below_tone, below_c))
            self.assertLess(abs(found - expected_hz), 1.5 * bin_hz)
            return below_tone, below_c

        # The SoundFont plays: its tone, and nothing near middle C.
        _, below_c = hear(TONE_HZ)
        self.assertGreater(below_c, 30)
        # Kept for the next visit, by name, and played then.
        self.page = browser.Page(self.driver, self.address)
        self.page.wait_until("return document.getElementById('sound').dataset.instruments"
                             " === 'soundfont'", 30)
        self.assertEqual(self.page.run("return document.getElementById('instruments-name')"
                                       ".textContent"), "sine.sf2")
        self.assertFalse(self.engine_fetched())
        self.load("tone.mid")
        hear(TONE_HZ)
        # Undone: the built-in synthesizer again, at middle C, now and after
        # a reload.
        self.page.run("document.getElementById('soundfont-undo').click();")
        self.page.wait_until("return document.getElementById('sound').dataset.instruments"
                             " === 'builtin'", 30)
        below_tone, _ = hear(261.63)
        self.assertGreater(below_tone, 20)
        self.page = browser.Page(self.driver, self.address)
        self.page.wait_until("return document.getElementById('sound').dataset.instruments"
                             " === 'builtin'", 30)
        # A SoundFont dropped anywhere on the page is taken too.
        with open(self.files["sine.sf2"], "rb") as f:
            data = list(f.read())
        self.page.run("""
          const transfer = new DataTransfer();
          transfer.items.add(new File([new Uint8Array(arguments[0])], 'dropped.sf2'));
          document.querySelector('h1').dispatchEvent(new DragEvent('drop', {
              dataTransfer: transfer, bubbles: true, cancelable: true}));""", data)
        self.page.wait_until("return document.getElementById('instruments-name').textContent"
                             " === 'dropped.sf2'", 30)
        self.assertEqual(self.page.rows(), [])
        # An .sf3, whose samples are Ogg Vorbis: decoded, and heard.
        self.assertIn("Songs play with sine.sf3", self.choose_soundfont("sine.sf3"))
        self.load("tone.mid")
        hear(TONE_HZ)
        self.page.run("document.getElementById('soundfont-undo').click();")

    def open_play_on(self):
        self.page.run("document.querySelector('#play-on summary').click();")

    def play_on_status(self):
        return self.page.wait_until("const s = document.getElementById('play-on-status');"
                                    "return !s.hidden && s.textContent;", 30)

    def test_plays_on_a_midi_device(self):
        # No Web MIDI, and Web MIDI refused: said in words.
        self.page.run("delete Navigator.prototype.requestMIDIAccess;"
                      "delete navigator.requestMIDIAccess;")
        self.open_play_on()
        self.assertIn("it has no Web MIDI", self.play_on_status())
        self.page = browser.Page(self.driver, self.address)
        self.page.run("navigator.requestMIDIAccess = () => Promise.reject("
                      "new DOMException('Permission denied', 'NotAllowedError'));")
        self.open_play_on()
        self.assertIn("did not let this page use its MIDI devices", self.play_on_status())

        # Access is asked for only when the choice is opened.
        self.page = browser.Page(self.driver, self.address)
        self.page.run(FAKE_MIDI + "window.asked = 0; const ask = navigator.requestMIDIAccess;"
                      "navigator.requestMIDIAccess = () => { ++window.asked; return ask(); };")
        self.load("trio.mid")
        self.assertEqual(self.page.run("return window.asked"), 0)
        self.open_play_on()
        self.page.wait_until("return document.querySelector('#play-on-list input[value=test-1]')",
                             30)
        self.assertEqual(self.page.run("return window.asked"), 1)
        self.page.run("document.querySelector('#play-on-list input[value=test-1]').click();")
        self.assertEqual(self.page.run("return document.getElementById('play-on-choice')"
                                       ".textContent"), "Test synth")

        self.play("trio.mid")
        time.sleep(3)
        self.pause("trio.mid")
        paused_at = self.page.run("return performance.now()") / 1000
        sent = self.page.run("return window.midiSent")
        # The page's own synthesizer stayed silent: no sound at all.
        self.assertEqual(self.page.run("return (window.audioTaps || []).length"), 0)
        # Programs and controllers went with the notes.
        programs = {tuple(data) for data, _, _ in sent if data[0] & 0xF0 == 0xC0}
        self.assertLessEqual({(0xC0, 0), (0xC1, 33), (0xC2, 48)}, programs)
        # The notes, in time: each where the song has it, from the first.
        ons = [(stamp / 1000, data[0] & 0x0F, data[1]) for data, stamp, _ in sent
               if data[0] & 0xF0 == 0x90 and data[2] > 0]
        expected = sound_songs.note_on_times(TRIO_PARTS)
        first = ons[0][0]
        heard = sorted((round(t - first, 4), c, k) for t, c, k in ons if t < paused_at)
        self.assertGreater(len(heard), 10)
        for (at, channel, key), (want, want_channel, want_key) in zip(heard, expected):
            self.assertEqual((channel, key), (want_channel, want_key))
            self.assertLess(abs(at - want), 0.010, (at, want))
        # Sent ahead of their time, as the device's clock has them.
        ahead = [stamp - now for data, stamp, now in sent if data[0] & 0xF0 == 0x90]
        self.assertGreater(max(ahead), 50)
        # Nothing sounds from just after Pause on.
        for at, on in replay(sent):
            if at > paused_at + 0.010:
                self.assertEqual(on, set(), at - paused_at)

        # A seek while playing: the notes sounding stop, and those of the new
        # place start.
        self.page.run("window.midiSent.length = 0;")
        self.play("trio.mid")
        time.sleep(1)
        seek_at = self.page.run("return performance.now()") / 1000
        self.seek("trio.mid", 20)
        time.sleep(1.5)
        # Mute every track but the bass: only its notes go on.
        muted_at = self.page.run(self.page.row("trio.mid") + """
          row.querySelectorAll('button.mute').forEach((b, i) => { if (i !== 1) b.click(); });
          return performance.now();""") / 1000
        time.sleep(1.5)
        self.pause("trio.mid")
        sent = self.page.run("return window.midiSent")
        new_notes = [stamp / 1000 for data, stamp, now in sent
                     if data[0] & 0xF0 == 0x90 and data[2] > 0 and now / 1000 > seek_at]
        self.assertTrue(new_notes)
        for at, on in replay(sent):
            if seek_at + 0.010 < at < min(new_notes) - 0.001:
                self.assertEqual(on, set(), at - seek_at)
        self.assertEqual(replay(sent)[-1][1], set())
        late = {data[0] & 0x0F for data, stamp, now in sent
                if data[0] & 0xF0 == 0x90 and data[2] > 0 and now / 1000 > muted_at + 0.2}
        self.assertEqual(late, {1})

        # Closing the page silences the device too.
        self.page.run("window.midiSent.length = 0;")
        self.play("trio.mid")
        time.sleep(1)
        closed_at = self.page.run("window.dispatchEvent(new PageTransitionEvent('pagehide'));"
                                  "return performance.now();") / 1000
        for at, on in replay(self.page.run("return window.midiSent")):
            if at > closed_at + 0.010:
                self.assertEqual(on, set(), at - closed_at)

    def test_save_as_wav(self):
        self.load("trio.mid", "ten-minutes.mid")
        # What trio.mid sounds like in the page, its first 3 seconds.
        start = self.clock()
        self.play("trio.mid")
        time.sleep(3.3)
        self.pause("trio.mid")
        _, live_rms, _ = self.measure(start)

        self.click("trio.mid", "button.save-wav")
        href = self.page.wait_until(self.page.row("trio.mid") + """
          const link = row.querySelector('a.wav-link');
          return link && link.href;""", 120)
        self.assertEqual(self.page.run(self.page.row("trio.mid") +
                                       "return row.querySelector('a.wav-link').download"),
                         "trio.wav")
        data = self.page.fetch(href)
        with wave.open(io.BytesIO(data)) as wav:
            self.assertEqual((wav.getnchannels(), wav.getsampwidth()), (2, 2))
            rate = wav.getframerate()
            frames = numpy.frombuffer(wav.readframes(wav.getnframes()), "<i2")
        samples = frames.reshape(-1, 2).astype(float) / 32768
        seconds = len(samples) / rate
        with open(os.path.join(FILES, "expected.json")) as f:
            song = json.load(f)["songs"]["trio.mid"]
        print("trio.wav: %.2f s for a song of %.2f s" % (seconds, song["seconds"]))
        # The song and its release tail.
        self.assertGreaterEqual(seconds, song["seconds"])
        self.assertLess(seconds, song["seconds"] + 3.1)
        # It starts with the song, and sounds to its end.
        loud = numpy.nonzero(numpy.abs(samples).max(axis=1) > 0.01)[0]
        self.assertLess(loud[0] / rate, 0.05)
        self.assertGreater(loud[-1] / rate, song["seconds"] - 0.5)
        # As loud as it played in the page, over the same 3 seconds.
        onset = loud[0]
        wav_rms = numpy.sqrt(numpy.mean(samples[onset:onset + 3 * rate] ** 2))
        print("trio.mid, first 3 s: RMS %.4f in the page, %.4f in the WAV file"
              % (live_rms, wav_rms))
        self.assertLess(abs(20 * numpy.log10(wav_rms / live_rms)), 1.5)

        # A long song can be cancelled on the way.
        self.click("ten-minutes.mid", "button.save-wav")
        self.page.wait_until(self.page.row("ten-minutes.mid") +
                             "return row.querySelector('progress.wav-progress').value > 0", 120)
        self.click("ten-minutes.mid", "button.save-wav")
        state = self.page.run(self.page.row("ten-minutes.mid") + """
          return [row.dataset.wav, row.querySelector('.wav-line').textContent,
                  !!row.querySelector('a.wav-link'),
                  row.querySelector('button.save-wav').textContent];""")
        self.assertEqual(state, ["idle", "The WAV file was cancelled.", False, "Save as WAV"])

        # A song longer than a WAV file is made for here says so.
        self.load("largest.mthc")
        self.click("largest.mthc", "button.save-wav")
        said = self.page.wait_until(self.page.row("largest.mthc") + """
          const error = row.querySelector('.wav-line .error');
          return error && error.textContent;""", 60)
        self.assertIn("songs longer than 20 minutes are not saved as WAV here", said)


if __name__ == "__main__":
    unittest.main()
