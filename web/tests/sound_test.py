"""The page's sound in headless Chromium, measured where it leaves the page:
every sample that reaches an audio context's destination goes through a
meter of the test too (METER). The page never goes past full scale, its
volume reaches silence and is remembered; a SoundFont made by the test
(soundfont.py, a sine of 1000 Hz) is what plays once chosen and after a
reload, and the built-in synthesizer once undone.

Needs MTHC_SITE, MTHC_TEST_FILES and MTHC_ARTIFACTS, as page_test.py.
"""

import contextlib
import os
import tempfile
import time
import unittest

import browser
import page_test
import sound_songs
import soundfont

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


def spectrum_peak(page):
    """The frequency of the loudest bin of the sound leaving the page now,
    with how far the tone of the test's SoundFont and the middle C of the
    built-in synthesizer stand below it (dB)."""
    return page.run("""
      // The page's context (the built-in synthesizer starts on a context of
      // its own, which the page closes).
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
                           ("sine.sf2", soundfont.sine_soundfont(TONE_HZ)),
                           ("not-a-soundfont.sf2", b"RIFF\x04\x00\x00\x00sfbk")]:
            cls.files[name] = os.path.join(cls.folder, name)
            with open(cls.files[name], "wb") as f:
                f.write(data)
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
        self.page.upload([self.files[name] for name in names])
        rows = self.page.wait_for_rows(len(names))
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
        self.page.run("document.getElementById('soundfont-undo').click();")


if __name__ == "__main__":
    unittest.main()
