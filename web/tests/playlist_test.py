"""Playing the list, heard where the sound leaves the page (page_test's
audio tap): Play all goes from a low song to a high one by itself, told
apart by the frequency that sounds loudest; Previous and Next; a song on a
loop still sounds after its end; Space plays and pauses the current song.
"""

import os
import tempfile
import time
import unittest

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

import page_case
import sound_songs

SECONDS = 3
LOW_KEY = 40  # E2, 82 Hz
HIGH_KEY = 96  # C7, 2093 Hz

# The frequency that sounds loudest now, in Hz (0 in silence).
LOUDEST = """
  const tap = (window.audioTaps || []).find((t) => t.context.state === 'running');
  if (!tap) return 0;
  tap.analyser.smoothingTimeConstant = 0;
  const bins = new Float32Array(tap.analyser.frequencyBinCount);
  tap.analyser.getFloatFrequencyData(bins);
  let best = 1;
  for (let i = 1; i < bins.length; ++i) if (bins[i] > bins[best]) best = i;
  return bins[best] > -70 ? best * tap.context.sampleRate / tap.analyser.fftSize : 0;
"""

CURRENT = """
  const row = document.querySelector('#results > li[aria-current="true"]');
  return row && [row.dataset.name, row.dataset.playing];"""


class PlaylistTest(page_case.PageCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.folder = cls.resources.enter_context(tempfile.TemporaryDirectory())
        for name, key in (("low.mid", LOW_KEY), ("high.mid", HIGH_KEY)):
            with open(os.path.join(cls.folder, name), "wb") as f:
                f.write(sound_songs.tone(key, seconds=SECONDS))

    def tearDown(self):
        self.assertEqual(self.severe_errors(), [])

    def hear(self, name, low):
        """Waits until `name` is the current song, plays, and its tone is the
        loudest sound leaving the page: a low one (under 600 Hz) or a high
        one (over 1500 Hz). The notes of the song before it may still be
        fading for a moment."""
        self.page.wait_until("""
          const row = document.querySelector('#results > li[aria-current="true"]');
          if (!row || row.dataset.name !== arguments[0] || row.dataset.playing !== 'yes') return 0;
          const hz = (() => {""" + LOUDEST + """})();
          return hz > 0 && (arguments[1] ? hz < 600 : hz > 1500);""", 15, name, low)

    def in_view(self, name):
        return self.page.run(self.page.row(name) + """
          const box = row.getBoundingClientRect();
          return box.top >= 0 && box.top < window.innerHeight;""")

    def test_play_all_next_previous_loop_and_space(self):
        self.upload([os.path.join(self.folder, "low.mid"), "trio.mid",
                     os.path.join(self.folder, "high.mid")])
        self.wait_for_songs()
        # trio.mid in the middle: a long song, removed before it plays.
        self.page.run(self.page.row("trio.mid") + "row.querySelector('.row-action').click();")
        self.page.run("window.scrollTo(0, 0)")
        self.assertFalse(self.in_view("high.mid"))

        self.driver.find_element(By.ID, "play-all").click()
        self.hear("low.mid", True)
        self.assertEqual(self.page.run("return document.getElementById('now-playing').textContent"),
                         "Song 1 of 2: low.mid")
        # On to the next song by itself, marked and shown.
        self.hear("high.mid", False)
        self.assertTrue(self.in_view("high.mid"))
        self.assertEqual(self.page.run("return document.querySelectorAll("
                                       "'#results > li[aria-current]').length"), 1)
        # The end of the list: nothing plays on.
        self.page.wait_until("return !document.querySelector('#results > li[data-playing=yes]')",
                             SECONDS + 10)
        self.assertEqual(self.page.run(CURRENT), ["high.mid", "no"])

        self.driver.find_element(By.ID, "previous").click()
        self.hear("low.mid", True)
        self.driver.find_element(By.ID, "next").click()
        self.hear("high.mid", False)
        self.assertFalse(self.driver.find_element(By.ID, "next").is_enabled())

        # Space, from anywhere that is not a control, pauses and plays the
        # current song.
        self.driver.find_element(By.TAG_NAME, "h1").click()
        ActionChains(self.driver).send_keys(Keys.SPACE).perform()
        self.assertEqual(self.page.wait_until(
            "const c = (() => {" + CURRENT + "})(); return c[1] === 'no' && c;", 10),
            ["high.mid", "no"])
        scrolled = self.page.run("return window.scrollY")
        ActionChains(self.driver).send_keys(Keys.SPACE).perform()
        self.hear("high.mid", False)
        # Space played the song rather than scrolling the page.
        self.assertEqual(self.page.run("return window.scrollY"), scrolled)

        # The list on a loop: Next from its last song is its first.
        Select(self.driver.find_element(By.ID, "loop")).select_by_value("list")
        self.driver.find_element(By.ID, "next").click()
        self.hear("low.mid", True)

        # One song on a loop still sounds after its end, from its start.
        Select(self.driver.find_element(By.ID, "loop")).select_by_value("song")
        low = self.page.row("low.mid")
        self.page.run(low + "row.querySelector('button.play').click();")
        self.page.wait_until(low + "return row.dataset.playing === 'no'", 10)
        self.page.run(low + """
          const position = row.querySelector('.position');
          position.value = 0;
          position.dispatchEvent(new Event('input'));
          row.querySelector('button.play').click();""")
        self.hear("low.mid", True)
        time.sleep(SECONDS + 1)
        self.assertEqual(self.page.run(CURRENT), ["low.mid", "yes"])
        self.assertLess(self.page.run(low + "return Number(row.querySelector('.position').value)"),
                        SECONDS - 0.5)
        self.hear("low.mid", True)
        self.page.run(self.page.row("low.mid") + "row.querySelector('button.play').click();")


if __name__ == "__main__":
    unittest.main()
