"""The page's sound in headless Chromium, measured where it leaves the page:
every sample that reaches an audio context's destination goes through a
meter of the test too (METER). The page never goes past full scale, and its
volume reaches silence and is remembered.

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


class SoundTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.resources = contextlib.ExitStack()
        cls.folder = cls.resources.enter_context(tempfile.TemporaryDirectory())
        cls.files = {}
        for name, data in [("fortissimo.mid", sound_songs.fortissimo())]:
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


if __name__ == "__main__":
    unittest.main()
