"""The page for everyone: axe-core (vendored for the tests, web/tests/vendor)
finds no serious or critical fault with songs loaded and one playing; the
position of a song says a time and moves a second a key; a song's tracks
take one stop of the Tab key however many they are, with the arrow keys
among them; the page lists its keys."""

import os
import re
import unittest

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

import page_case

AXE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vendor", "axe-core",
                   "axe.min.js")

RUN_AXE = """
  const done = arguments[arguments.length - 1];
  axe.run(document, {resultTypes: ['violations']}).then(
      (results) => done(results.violations.map((v) => ({
        id: v.id, impact: v.impact, help: v.help,
        nodes: v.nodes.slice(0, 3).map((n) => n.target.join(' '))}))),
      (error) => done(String(error)));"""

FOCUSED = """
  const e = document.activeElement;
  const row = e.closest('#results > li');
  return [row ? row.dataset.name : null, e.tagName.toLowerCase(), e.className,
          e.getAttribute('aria-label') || e.textContent.trim(),
          !!e.closest('[role=toolbar]')];"""


class AccessTest(page_case.PageCase):
    def load_songs(self):
        rows = self.upload(["trio.mid", "names.mid", "lenient.mid", "bad-status.mthc", "notes.txt",
                            "solo.mthc"])
        self.wait_for_songs()
        return rows

    def test_no_serious_fault_for_axe(self):
        self.load_songs()
        play = self.page.row("trio.mid") + "row.querySelector('button.play')"
        self.page.run(play + ".click()")
        self.page.wait_until(self.page.row("trio.mid") + "return row.dataset.playing === 'yes'", 30)
        with open(AXE) as f:
            self.driver.execute_script(f.read())
        version = self.page.run("return axe.version")
        violations = self.driver.execute_async_script(RUN_AXE)
        self.assertIsInstance(violations, list, violations)
        print("axe-core %s: %s" % (version, ", ".join(
            "%s (%s)" % (v["id"], v["impact"]) for v in violations) or "no violations"))
        serious = [v for v in violations if v["impact"] in ("serious", "critical")]
        self.assertEqual(serious, [])
        self.page.run(play + ".click()")

    def test_position_says_a_time_and_moves_by_seconds(self):
        self.load_songs()
        position = self.page.row("trio.mid") + "const position = row.querySelector('.position');"
        text = self.page.run(position + "return position.getAttribute('aria-valuetext')")
        duration = self.page.run(self.page.row("trio.mid") +
                                 "return row.querySelector('.duration').textContent")
        minutes, seconds = duration.split(":")
        whole = round(int(minutes) * 60 + float(seconds))
        said = [("%d %s" % (n, unit)) + ("" if n == 1 else "s")
                for n, unit in ((whole // 60, "minute"), (whole % 60, "second")) if n]
        self.assertEqual(text, "0 seconds of " + " ".join(said))
        self.page.run(position + "position.focus()")
        for _ in range(3):
            ActionChains(self.driver).send_keys(Keys.ARROW_RIGHT).perform()
        self.assertEqual(self.page.run(position + "return Number(position.value)"), 3)
        self.assertEqual(self.page.run(position + "return position.getAttribute('aria-valuetext')"
                                       ).split(" of ")[0], "3 seconds")
        # The song starts there.
        self.page.run(self.page.row("trio.mid") + "row.querySelector('button.play').click()")
        self.page.wait_until(position + "return Number(position.value) >= 3 &&"
                             " row.dataset.playing === 'yes'", 30)
        self.page.run(self.page.row("trio.mid") + "row.querySelector('button.play').click()")

    def test_tracks_are_one_tab_stop_with_arrow_keys_inside(self):
        self.load_songs()
        tracks = self.page.run(self.page.row("names.mid") +
                               "return row.querySelectorAll('.legend li').length")
        self.assertEqual(tracks, 3)
        # Tab from the first row's button to past the last row.
        self.page.run("document.querySelector('#results .row-action').focus()")
        stops = [self.page.run(FOCUSED)]
        for _ in range(80):
            ActionChains(self.driver).send_keys(Keys.TAB).perform()
            stop = self.page.run(FOCUSED)
            if stop[0] is None:
                break
            stops.append(stop)
        else:
            self.fail("Tab never left the list: %s" % stops[-5:])
        for name in ("trio.mid", "names.mid", "lenient.mid", "solo.mthc"):
            in_legend = [s for s in stops if s[0] == name and s[4]]
            self.assertEqual(len(in_legend), 1, (name, in_legend))
            self.assertTrue(in_legend[0][3].startswith("Mute "), in_legend)
        # No row takes more than its own few stops: its button, download,
        # play, position, WAV and tracks.
        for name in ("trio.mid", "names.mid"):
            self.assertLessEqual(len([s for s in stops if s[0] == name]), 6)

        # Inside, the arrow keys go from button to button, and Tab goes on.
        legend = self.page.row("names.mid") + "row.querySelector('[role=toolbar] button').focus();"
        self.page.run(legend)
        keys = [(Keys.ARROW_RIGHT, "Solo Flûte à bec"), (Keys.ARROW_DOWN, "Mute ピアノ"),
                (Keys.END, "Solo " + "Ö" * 3000), (Keys.HOME, "Mute Flûte à bec"),
                (Keys.ARROW_LEFT, "Mute Flûte à bec")]
        for key, name in keys:
            ActionChains(self.driver).send_keys(key).perform()
            self.assertEqual(self.page.run(FOCUSED)[3], name)
        ActionChains(self.driver).send_keys(Keys.ARROW_RIGHT, Keys.SPACE).perform()
        self.assertEqual(self.page.run(self.page.row("names.mid") + """
          return [...row.querySelectorAll('.legend li')].map((item) => item.dataset.audible);"""),
                         ["yes", "no", "no"])
        ActionChains(self.driver).send_keys(Keys.TAB).perform()
        self.assertFalse(self.page.run(FOCUSED)[4])
        # And back: the button focused last.
        ActionChains(self.driver).key_down(Keys.SHIFT).send_keys(Keys.TAB).key_up(
            Keys.SHIFT).perform()
        self.assertEqual(self.page.run(FOCUSED)[3], "Solo Flûte à bec")

    def test_keys_are_listed(self):
        hint = self.page.run("return document.querySelector('.keys-hint').textContent")
        self.assertTrue(re.search(r"Space.*plays or pauses", hint), hint)
        self.assertIn("arrow keys", hint)


if __name__ == "__main__":
    unittest.main()
