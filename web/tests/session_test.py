"""An afternoon of use: a game's music folder (thirty songs and a container
of 12 MB, collection.py) over and over.

- Clear gives back what the songs took: after five rounds, each ended with
  Clear, the page's renderer process (its resident memory, read from the
  system) is within 40 MiB of where it was after the first Clear.
- The main thread's long tasks (a PerformanceObserver) while the songs come
  in and when Play is first pressed are printed; the figures and their
  target are scripts/bench/web_session_figures.py's, as the project measures
  time by scripts and not by tests. The test checks what keeps those tasks
  short: the synthesizer's script is fetched while the page is idle, before
  Play, and each roll is drawn in the rolls' worker.
"""

import os
import tempfile
import time
import unittest

from selenium.webdriver.common.by import By

import collection
import page_case

MIB = 1 << 20
ROUNDS = 5

ALL_SHOWN = """
  const rows = [...document.querySelectorAll('#results > li')];
  return rows.length >= arguments[0] &&
         rows.every((r) => r.dataset.state === 'done' &&
                           (r.querySelector('canvas[data-drawn]') ||
                            r.querySelector('.notes').textContent === '0'));"""


class SessionTest(page_case.PageCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        work = cls.resources.enter_context(tempfile.TemporaryDirectory())
        pack = os.path.join(cls.site, "..", "native", "programs", "mthc-pack")
        cls.files = collection.write_collection(os.path.join(work, "songs"), pack)

    def settled_renderer(self):
        """The renderer's memory once the page's garbage is collected and
        the workers let go have gone."""
        for _ in range(2):
            self.driver.execute_cdp_cmd("HeapProfiler.collectGarbage", {})
            time.sleep(1.5)
        return collection.page_renderer_bytes(self.driver)

    def round(self):
        self.page.upload(self.files)
        self.page.wait_until(ALL_SHOWN, 600, len(self.files))
        first = "document.querySelector('#results > li button.play')"
        self.page.run(first + ".click()")
        self.page.wait_until("return document.querySelector('#results > li[data-playing=yes]')",
                             60)
        time.sleep(1)
        self.page.run(first + ".click()")
        self.driver.find_element(By.ID, "clear").click()
        self.assertEqual(self.page.rows(), [])
        self.page.wait_until("return document.body.dataset.ready === 'yes'", 60)

    def test_memory_comes_back_after_five_rounds(self):
        loaded = self.settled_renderer()
        cleared = []
        for _ in range(ROUNDS):
            self.round()
            cleared.append(self.settled_renderer())
        print("renderer (VmRSS): %.0f MiB loaded, after each Clear: %s MiB"
              % (loaded / MIB, ", ".join("%.0f" % (c / MIB) for c in cleared)))
        self.assertLess(cleared[-1] - cleared[0], 40 * MIB)

    def test_long_tasks_when_songs_come_and_play_starts(self):
        self.page.run(collection.LONG_TASKS)
        self.assertIn("longtask", self.page.run("return PerformanceObserver.supportedEntryTypes"))
        self.page.upload(self.files)
        self.page.wait_until(ALL_SHOWN, 600, len(self.files))
        adding = self.page.run("return window.longTasks.splice(0)")
        # Every roll was drawn away from the page.
        self.assertEqual(self.page.run("""
          return [...document.querySelectorAll('#results canvas')].filter((canvas) => {
            try { canvas.getContext('2d'); return true; } catch (e) { return false; }
          }).length"""), 0)
        # The synthesizer's script came while the page was idle.
        self.page.wait_until("return performance.getEntriesByType('resource')"
                             ".some((r) => r.name.endsWith('/webaudio-tinysynth.min.js'))", 30)
        pressed = self.page.run("return performance.now()")
        self.page.run("document.querySelector('#results > li button.play').click()")
        self.page.wait_until("return document.querySelector('#results > li[data-playing=yes]')",
                             60)
        time.sleep(1)
        playing = self.page.run("return window.longTasks.splice(0)")
        fetched = self.page.run("return performance.getEntriesByType('resource').find((r) =>"
                                " r.name.endsWith('/webaudio-tinysynth.min.js')).startTime")
        self.assertLess(fetched, pressed)
        print("long tasks (ms): %d songs added: %s; Play first pressed: %s"
              % (len(self.files), sorted(round(t) for t in adding) or "none",
                 sorted(round(t) for t in playing) or "none"))
        self.page.run("document.querySelector('#results > li button.play').click()")


if __name__ == "__main__":
    unittest.main()
