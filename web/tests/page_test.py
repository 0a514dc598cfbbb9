"""The page in headless Chromium: files go in through its file input, and
every download must be byte for byte what `mthc-pack` gives for the same
file, every warning and error line word for word what it prints.

Needs, in the environment: MTHC_SITE (the built site), MTHC_TEST_FILES (what
make_test_files.py made) and MTHC_ARTIFACTS (where the screenshot goes).
"""

import base64
import contextlib
import io
import json
import os
import time
import unittest
import zipfile

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

import browser

FILES = os.environ.get("MTHC_TEST_FILES", "")
INPUTS = os.path.join(FILES, "inputs")

# Everything but the largest MIDI file, which takes long to pack: one drop.
# The first rows show in the screenshot.
ONE_DROP = ["trio.mid", "lenient.mid", "cut.mthc", "solo.mthc", "with-empty-track.mid",
            "notes.txt", "trio.mthc", "solo.midi", "largest.mthc", "no-end.mid", "no-end.mthc"]

OUTPUT_NAMES = {"trio.mid": "trio.mthc", "solo.midi": "solo.mthc",
                "with-empty-track.mid": "with-empty-track.mthc", "lenient.mid": "lenient.mthc",
                "trio.mthc": "trio.mid", "solo.mthc": "solo.mid", "largest.mthc": "largest.mid",
                "largest.mid": "largest.mthc", "no-end.mid": "no-end.mthc"}


def seconds_of(text):
    """The page's duration, [h:]m:ss.s, in seconds."""
    value = 0.0
    for part in text.split(":"):
        value = value * 60 + float(part)
    return value


class PageTest(unittest.TestCase):
    width = 1100

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(FILES, "expected.json")) as f:
            cls.expected = json.load(f)
        cls.resources = contextlib.ExitStack()
        cls.address = cls.resources.enter_context(browser.serve(os.environ["MTHC_SITE"]))
        cls.driver = cls.resources.enter_context(browser.chromium(width=cls.width))

    @classmethod
    def tearDownClass(cls):
        cls.resources.close()

    def setUp(self):
        self.page = browser.Page(self.driver, self.address)

    def upload(self, names, strict=False):
        self.page.set_strict(strict)
        self.page.upload([os.path.join(INPUTS, name) for name in names])
        rows = self.page.wait_for_rows(len(names), timeout=600)
        self.assertEqual([row["name"] for row in rows], names)
        return rows

    def check_row(self, row, strict=False):
        """The row says what mthc-pack says, and its download is what
        mthc-pack writes."""
        name = row["name"]
        tool = self.expected["files"][("strict:" if strict else "") + name]
        with self.subTest(file=name, strict=strict):
            if tool["status"] != 0:
                self.assertEqual(row["state"], "failed")
                self.assertEqual(row["errors"], tool["lines"])
                self.assertEqual(row["warnings"], [])
                self.assertIsNone(row["href"])
                return
            self.assertEqual(row["state"], "done")
            self.assertEqual(row["errors"], [])
            self.assertEqual(row["warnings"], tool["lines"])
            self.assertEqual(row["download"], OUTPUT_NAMES[name])
            with open(os.path.join(FILES, "expected", tool["output"]), "rb") as f:
                output = f.read()
            self.assertEqual(self.page.fetch(row["href"]), output)

    def check_song(self, row):
        """The listing's tracks, notes and duration, and the piano roll: a
        bar for every note, in every track's colour."""
        song = self.expected["songs"][row["name"]]
        with self.subTest(file=row["name"]):
            self.assertEqual(row["tracks"], str(song["tracks"]))
            self.assertEqual(row["notes"].replace(",", ""), str(song["notes"]))
            self.assertAlmostEqual(seconds_of(row["duration"]), song["seconds"], delta=0.051)
            roll = self.page.run("""
              const row = [...document.querySelectorAll('#results > li')]
                  .find(r => r.dataset.name === arguments[0]);
              const canvas = row.querySelector('canvas');
              const pixels = new Uint32Array(canvas.getContext('2d')
                  .getImageData(0, 0, canvas.width, canvas.height).data.buffer);
              const rgba = (css) => {
                const [r, g, b] = css.match(/\\d+/g).map(Number);
                return ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0;
              };
              const counts = [...row.querySelectorAll('.legend li')].map(item => {
                const colour = rgba(getComputedStyle(item.querySelector('.swatch')).backgroundColor);
                return pixels.reduce((n, p) => n + (p === colour ? 1 : 0), 0);
              });
              return {drawn: canvas.dataset.notes, counts};""", row["name"])
            self.assertEqual(roll["drawn"], str(song["notes"]))
            tracks_with_notes = song.get("tracks_with_notes", song["tracks"])
            self.assertEqual(len(roll["counts"]), tracks_with_notes)
            for count in roll["counts"]:
                self.assertGreater(count, 0)

    def test_one_drop_of_containers_and_midi_files(self):
        rows = self.upload(ONE_DROP)
        for row in rows:
            self.check_row(row)
        # A damaged container is refused and a lenient MIDI file warned
        # about (the tools' own words, checked above), and the rest of the
        # drop goes through all the same.
        states = {row["name"]: row["state"] for row in rows}
        self.assertEqual(states["cut.mthc"], "failed")
        self.assertEqual(states["notes.txt"], "failed")
        self.assertEqual(states["largest.mthc"], "done")
        # A container whose music does not read is refused too.
        self.assertEqual(states["no-end.mthc"], "failed")
        lenient = next(row for row in rows if row["name"] == "lenient.mid")
        self.assertEqual(len(lenient["warnings"]), 2)

        self.page.wait_until("return [...document.querySelectorAll('#results > li')]"
                             ".every(r => r.dataset.state !== 'done' || r.querySelector('canvas'))")
        rows = self.page.rows()
        for row in rows:
            if row["state"] == "done":
                self.check_song(row)

        # Download all: one zip archive of every output.
        self.driver.find_element(By.ID, "download-all").click()
        href = self.page.wait_until("const a = document.getElementById('zip-link');"
                                    "return a && a.href;")
        archive_bytes = self.page.fetch(href)
        archive = zipfile.ZipFile(io.BytesIO(archive_bytes))
        downloads = {row["download"]: row["href"] for row in rows if row["href"]}
        self.assertEqual(sorted(archive.namelist()), sorted(downloads))
        for name, link in downloads.items():
            self.assertEqual(archive.read(name), self.page.fetch(link), name)
        # The button had the browser save it too.
        saved = os.path.join(self.driver.downloads, "mthc-files.zip")
        end = time.monotonic() + 60
        while not os.path.exists(saved) and time.monotonic() < end:
            time.sleep(0.1)
        with open(saved, "rb") as f:
            self.assertEqual(f.read(), archive_bytes)

        # The page as it stands, for people to look at.
        artifacts = os.environ["MTHC_ARTIFACTS"]
        os.makedirs(artifacts, exist_ok=True)
        self.driver.set_window_size(self.width, 1500)
        self.page.run("window.scrollTo(0, 0)")
        self.driver.save_screenshot(os.path.join(artifacts, "page.png"))

    def test_strict_refuses_what_would_not_come_back(self):
        names = ["lenient.mid", "with-empty-track.mid", "trio.mid"]
        for row in self.upload(names, strict=True):
            self.check_row(row, strict=True)

    def test_files_dropped_on_the_drop_zone(self):
        names = ["trio.mid", "solo.mthc"]
        contents = []
        for name in names:
            with open(os.path.join(INPUTS, name), "rb") as f:
                contents.append(base64.b64encode(f.read()).decode("ascii"))
        # What a browser hands the page when files are dropped.
        self.page.run("""
          const transfer = new DataTransfer();
          arguments[0].forEach((name, i) => {
            const bytes = Uint8Array.from(atob(arguments[1][i]), c => c.charCodeAt(0));
            transfer.items.add(new File([bytes], name));
          });
          const drop = document.getElementById('drop');
          drop.dispatchEvent(new DragEvent('dragover', {dataTransfer: transfer, bubbles: true,
                                                        cancelable: true}));
          drop.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true,
                                                    cancelable: true}));""", names, contents)
        rows = self.page.wait_for_rows(len(names), timeout=60)
        self.assertEqual([row["name"] for row in rows], names)
        for row in rows:
            self.check_row(row)

    def test_largest_midi_file_packs_with_progress(self):
        (row,) = self.upload(["largest.mid"])
        self.check_row(row)
        done, total = (int(n) for n in row["progress"].split("/"))
        self.assertGreater(total, 0)
        self.assertTrue(0 < done <= total, row["progress"])


class NarrowPageTest(PageTest):
    width = 360

    def setUp(self):
        # A browser window has a least width of its own: the page is shown
        # as a phone would show it instead.
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": self.width, "height": 740, "deviceScaleFactor": 1, "mobile": True})
        super().setUp()

    def test_narrow_window_and_keyboard(self):
        self.assertEqual(self.page.run("return window.innerWidth"), self.width)
        self.upload(["trio.mid", "notes.txt"])
        # Nothing is wider than the window.
        self.assertLessEqual(self.page.run("return document.documentElement.scrollWidth"),
                             self.page.run("return window.innerWidth"))
        # The first stop of the keyboard is the file input behind the drop zone.
        ActionChains(self.driver).send_keys(Keys.TAB).perform()
        self.assertEqual(self.page.run("return document.activeElement.id"), "files")
        label = self.page.run("return document.querySelector('label[for=files]').id")
        self.assertEqual(label, "drop")

    # The other tests run at the usual width only.
    test_one_drop_of_containers_and_midi_files = None
    test_strict_refuses_what_would_not_come_back = None
    test_largest_midi_file_packs_with_progress = None
    test_files_dropped_on_the_drop_zone = None


if __name__ == "__main__":
    unittest.main()
