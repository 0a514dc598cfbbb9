"""A first visit: the heading and the first sentence in plain words, the
example tune that the build makes to convert and play without a file of
one's own, the project's guide as a page (HTML) rather than raw text, and
piano rolls with a time and a pitch axis."""

import os
import re
import unittest

from selenium.webdriver.common.by import By

import page_case
import page_test

# The native build's example tune (examples/ of the web build's native
# project), which the page's sample unpacks to.
TUNE_MID = os.path.join(os.environ.get("MTHC_SITE", ""), "..", "native", "examples", "tune.mid")


class FirstVisitTest(page_case.PageCase):
    def tearDown(self):
        self.assertEqual(self.severe_errors(), [])

    def test_heading_in_plain_words(self):
        heading = self.page.run("return document.querySelector('h1').textContent")
        for jargon in ("MThc", "mthc", "container"):
            self.assertNotIn(jargon, heading)
        first = self.page.run("return document.querySelector('header p').textContent")
        self.assertTrue(re.search(r"MIDI files, which every\s+music program opens", first), first)
        self.assertIn("never leave", first)

    def test_example_tune_converts_and_plays(self):
        self.driver.find_element(By.ID, "sample").click()
        (row,) = self.page.wait_for_rows(1, 60)
        self.assertEqual((row["name"], row["state"], row["errors"]),
                         ("example-tune.mthc", "done", []))
        self.assertEqual(row["download"], "example-tune.mid")
        with open(TUNE_MID, "rb") as f:
            self.assertEqual(self.page.fetch(row["href"]), f.read())
        self.wait_for_songs()
        self.assertEqual(self.page.rows()[0]["tracks"], "5")
        play = self.page.row("example-tune.mthc") + page_test.LOUDNESS
        self.page.run(play + "row.querySelector('button.play').click()")
        self.page.wait_until(play + "return row.dataset.playing === 'yes' && peak() > 0.01", 30)
        self.page.run(play + "row.querySelector('button.play').click()")

    def test_project_guide_is_a_page(self):
        href = self.page.run("return document.querySelector('#about a').href")
        self.assertTrue(href.endswith("/README.html"), href)
        guide = self.page.fetch(href).decode("utf-8")
        self.assertTrue(guide.startswith("<!DOCTYPE html>"))
        self.assertIn('<h1 id="mthc">mthc</h1>', guide)
        self.assertIn("<table>", guide)
        self.assertIn("<pre><code>", guide)
        for raw in ("```", "## ", "<!--", "](docs/"):
            self.assertNotIn(raw, guide)
        # Under a policy of its own: no script at all.
        self.assertIn("default-src 'none'", guide)
        self.driver.get(href)
        self.assertEqual(self.driver.find_element(By.TAG_NAME, "h1").text, "mthc")
        self.assertGreater(len(self.driver.find_elements(By.CSS_SELECTOR, "table td")), 20)

    def test_roll_has_time_and_pitch_axes(self):
        (row,) = self.upload(["trio.mid"])
        self.wait_for_songs()
        roll = self.page.run(self.page.row("trio.mid") + """
          const canvas = row.querySelector('canvas');
          const copy = document.createElement('canvas');
          copy.width = canvas.width;
          copy.height = canvas.height;
          const context = copy.getContext('2d');
          context.drawImage(canvas, 0, 0);
          // Ink in the left margin, where the pitches are named.
          const margin = Math.floor(28 * devicePixelRatio);
          const pixels = context.getImageData(0, 0, margin, copy.height).data;
          let ink = 0;
          for (let i = 0; i < pixels.length; i += 4) if (pixels[i] < 200) ++ink;
          const head = row.querySelector('.playhead').getBoundingClientRect();
          return {times: canvas.dataset.times.split(' '), pitches: canvas.dataset.pitches.split(' '),
                  ink, playhead: head.left - canvas.getBoundingClientRect().left,
                  label: canvas.getAttribute('aria-label')};""")
        seconds = page_test.seconds_of(row["duration"])
        self.assertEqual(roll["times"][0], "0:00")
        self.assertGreaterEqual(len(roll["times"]), 3)
        for label in roll["times"]:
            self.assertLessEqual(page_test.seconds_of(label), seconds + 1)
        # trio.mid's parts span four octaves: each of their Cs, named.
        octaves = [int(p[1:]) for p in roll["pitches"]]
        self.assertEqual([p[0] for p in roll["pitches"]], ["C"] * len(octaves))
        self.assertEqual(octaves, list(range(octaves[0], octaves[0] + len(octaves))))
        self.assertGreaterEqual(len(octaves), 3)
        self.assertGreater(roll["ink"], 50)
        # The playhead starts where the notes do, right of the pitch axis.
        self.assertAlmostEqual(roll["playhead"], 29, delta=2)
        self.assertRegex(roll["label"], r"3 tracks with notes from \S+ to \S+ over 0:4")


if __name__ == "__main__":
    unittest.main()
