"""The page in headless Chromium: files go in through its file input, and
every download must be byte for byte what `mthc-pack` gives for the same
file, every warning and error say in plain words what its lines say (the
same numbers and names, none of the tools' command lines or terms); songs
play, rows go, names show as written, and the page works offline.

Needs, in the environment: MTHC_SITE (the built site), MTHC_TEST_FILES (what
make_test_files.py made) and MTHC_ARTIFACTS (where the screenshots go).
"""

import base64
import contextlib
import io
import json
import os
import re
import shutil
import tempfile
import time
import unittest
import zipfile

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

import browser
import make_test_files
import midi_files

FILES = os.environ.get("MTHC_TEST_FILES", "")
INPUTS = os.path.join(FILES, "inputs")

# Everything but the largest MIDI file, which takes long to pack: one drop.
# The first rows show in the screenshot.
ONE_DROP = ["trio.mid", "lenient.mid", "cut.mthc", "solo.mthc", "with-empty-track.mid",
            "notes.txt", "trio.mthc", "solo.midi", "largest.mthc", "bad-status.mid", "bad-status.mthc",
            "doubled.mid"]

OUTPUT_NAMES = {"trio.mid": "trio.mthc", "solo.midi": "solo.mthc",
                "with-empty-track.mid": "with-empty-track.mthc", "lenient.mid": "lenient.mthc",
                "trio.mthc": "trio.mid", "solo.mthc": "solo.mid", "largest.mthc": "largest.mid",
                "largest.mid": "largest.mthc", "bad-status.mid": "bad-status.mthc",
                "doubled.mid": "doubled.mthc", "names.mid": "names.mthc",
                "bad-status.mthc": "bad-status.mid"}

# What the tools' lines may say and the page's may not: command lines and
# the format's terms.
JARGON = ["mthc", "--", "MThd", "MTrk", "offset", "chunk", "delta", "status byte", "meta event",
          "SysEx", "end-of-track"]

# Sound in the page, measured where it leaves: every node connected to an
# audio context's destination is also connected to an analyser of the test.
AUDIO_TAP = """
(() => {
  const connect = AudioNode.prototype.connect;
  const taps = window.audioTaps = [];
  AudioNode.prototype.connect = function (target, ...rest) {
    const result = connect.call(this, target, ...rest);
    if (target instanceof AudioDestinationNode) {
      let tap = taps.find((t) => t.context === target.context);
      if (!tap) {
        tap = {context: target.context, analyser: target.context.createAnalyser()};
        tap.analyser.fftSize = 2048;
        taps.push(tap);
      }
      connect.call(this, tap.analyser);
    }
    return result;
  };
})();
"""

LOUDNESS = """
  const peak = () => {
    let most = 0;
    for (const {analyser} of window.audioTaps || []) {
      const samples = new Float32Array(analyser.fftSize);
      analyser.getFloatTimeDomainData(samples);
      for (const s of samples) most = Math.max(most, Math.abs(s));
    }
    return most;
  };
"""


def seconds_of(text):
    """The page's duration, [h:]m:ss.s, in seconds."""
    value = 0.0
    for part in text.split(":"):
        value = value * 60 + float(part)
    return value


def numbers_of(line):
    """The numbers a line gives, as text without separators."""
    return set(re.findall(r"\d+", line.replace("(00 ff 2f 00)", "").replace(",", "")))


def contrast(rgb):
    """Contrast ratio of a colour 'rgb(r, g, b)' against white."""
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (int(n) for n in re.findall(r"\d+", rgb)[:3])
    luminance = 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b)
    return 1.05 / (luminance + 0.05)


class PageTest(unittest.TestCase):
    width = 1280

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(FILES, "expected.json")) as f:
            cls.expected = json.load(f)
        cls.resources = contextlib.ExitStack()
        cls.address = cls.resources.enter_context(browser.serve(os.environ["MTHC_SITE"]))
        cls.driver = cls.resources.enter_context(browser.chromium(width=cls.width))
        cls.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": AUDIO_TAP})

    @classmethod
    def tearDownClass(cls):
        cls.resources.close()

    def setUp(self):
        self.page = browser.Page(self.driver, self.address)

    def upload(self, names, strict=False, folder=INPUTS, timeout=600):
        self.page.set_strict(strict)
        self.page.upload([os.path.join(folder, name) for name in names])
        rows = self.page.wait_for_rows(len(names), timeout=timeout)
        self.assertEqual([row["name"] for row in rows], names)
        return rows

    def assertSameFacts(self, page_lines, tool_lines, name):
        """The page says what the tools say, in its own words."""
        self.assertEqual(len(page_lines), len(tool_lines), page_lines)
        for page_line, tool_line in zip(page_lines, tool_lines):
            tool_line = tool_line.split(": " + name + ": ", 1)[1]
            self.assertLessEqual(numbers_of(tool_line), numbers_of(page_line),
                                 (page_line, tool_line))
            for tag in re.findall(r"'(....)'", tool_line):
                self.assertIn(tag, page_line)
            for term in JARGON:
                self.assertNotIn(term, page_line)

    def check_row(self, row, strict=False):
        """The row says what mthc-pack says, and its download is what
        mthc-pack writes."""
        name = row["name"]
        tool = self.expected["files"][("strict:" if strict else "") + name]
        with self.subTest(file=name, strict=strict):
            if tool["status"] != 0:
                self.assertEqual(row["state"], "failed")
                self.assertSameFacts(row["errors"], tool["lines"], name)
                self.assertEqual(row["warnings"], [])
                self.assertIsNone(row["href"])
                return
            self.assertEqual(row["state"], "done")
            self.assertEqual(row["errors"], [])
            self.assertSameFacts(row["warnings"], tool["lines"], name)
            self.assertEqual(row["download"], OUTPUT_NAMES.get(name, row["download"]))
            with open(os.path.join(FILES, "expected", tool["output"]), "rb") as f:
                output = f.read()
            self.assertEqual(self.page.fetch(row["href"]), output)

    def wait_for_rolls(self):
        self.page.wait_until("return [...document.querySelectorAll('#results > li')]"
                             ".every(r => r.dataset.state !== 'done' ||"
                             " (r.querySelector('canvas[data-drawn]')) ||"
                             " r.querySelector('.notes').textContent === '0')", 120)

    def check_song(self, row):
        """The listing's tracks, notes and duration, and the piano roll,
        drawn away from the page: a bar for every note, every track's colour
        showing (a doubled part too), each colour at least 3:1 against the
        roll's white."""
        song = self.expected["songs"][row["name"]]
        with self.subTest(file=row["name"]):
            self.assertEqual(row["tracks"], str(song["tracks"]))
            self.assertEqual(row["notes"].replace(",", ""), str(song["notes"]))
            self.assertAlmostEqual(seconds_of(row["duration"]), song["seconds"], delta=0.051)
            roll = self.page.run(self.page.row(row["name"]) + """
              const canvas = row.querySelector('canvas');
              let transferred = false;
              try { canvas.getContext('2d'); } catch (e) { transferred = true; }
              // What the roll shows, copied from the drawing worker's canvas.
              const copy = document.createElement('canvas');
              copy.width = canvas.width;
              copy.height = canvas.height;
              const context = copy.getContext('2d');
              context.drawImage(canvas, 0, 0);
              const pixels = new Uint32Array(context.getImageData(0, 0, copy.width, copy.height)
                                                 .data.buffer);
              const colours = [...row.querySelectorAll('.legend li')].map(
                  (item) => getComputedStyle(item.querySelector('.swatch')).backgroundColor);
              const rgba = (css) => {
                const [r, g, b] = css.match(/\\d+/g).map(Number);
                return ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0;
              };
              const counts = colours.map((colour) => pixels.reduce(
                  (n, p) => n + (p === rgba(colour) ? 1 : 0), 0));
              return {drawn: canvas.dataset.notes, counts, colours, transferred};""")
            self.assertTrue(roll["transferred"])
            self.assertEqual(roll["drawn"], str(song["notes"]))
            tracks_with_notes = song.get("tracks_with_notes", song["tracks"])
            self.assertEqual(len(roll["counts"]), tracks_with_notes)
            for count, colour in zip(roll["counts"], roll["colours"]):
                self.assertGreater(count, 0, colour)
                self.assertGreaterEqual(contrast(colour), 3.0, colour)

    def screenshot(self, name):
        artifacts = os.environ["MTHC_ARTIFACTS"]
        os.makedirs(artifacts, exist_ok=True)
        self.page.run("window.scrollTo(0, 0)")
        self.driver.save_screenshot(os.path.join(artifacts, name))

    def test_one_drop_of_containers_and_midi_files(self):
        self.driver.get_log("browser")
        rows = self.upload(ONE_DROP)
        for row in rows:
            self.check_row(row)
        # A damaged container is refused and a lenient MIDI file warned
        # about (the facts checked above), and the rest of the drop goes
        # through all the same.
        states = {row["name"]: row["state"] for row in rows}
        self.assertEqual(states["cut.mthc"], "failed")
        self.assertEqual(states["notes.txt"], "failed")
        self.assertEqual(states["largest.mthc"], "done")
        # A container whose music does not read is refused too, and only it
        # can be converted anyway.
        self.assertEqual(states["bad-status.mthc"], "failed")
        self.assertEqual([row["name"] for row in rows if row["asIs"]], ["bad-status.mthc"])
        lenient = next(row for row in rows if row["name"] == "lenient.mid")
        self.assertEqual(len(lenient["warnings"]), 2)

        self.wait_for_rolls()
        rows = self.page.rows()
        # The song's summary is what the listing of mthc-pack -l --json
        # says of the file, less its name.
        summaries = self.page.run("return Object.fromEntries([...rows.values()]"
                                  ".filter((row) => row.song).map((row) => [row.file.name, row.song]))")
        for row in rows:
            if row["state"] == "done":
                self.check_song(row)
                listing = dict(self.expected["listings"][row["name"]])
                del listing["file"]
                self.assertEqual(summaries[row["name"]], listing)

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
        # Nothing went wrong on the way that the browser would report.
        severe = [entry for entry in self.driver.get_log("browser") if entry["level"] == "SEVERE"]
        self.assertEqual(severe, [])

        # The page as it stands, for people to look at.
        self.driver.set_window_size(self.width, 1500)
        self.screenshot("page.png")

    def test_convert_anyway(self):
        (row,) = self.upload(["bad-status.mthc"])
        self.assertEqual(row["state"], "failed")
        self.page.run(self.page.row("bad-status.mthc") + "row.querySelector('button.as-is').click();")
        (row,) = self.page.wait_for_rows(1)
        self.assertEqual(row["state"], "done")
        self.assertEqual(row["errors"], [])
        self.assertEqual(len(row["warnings"]), 1)
        self.assertIn("track 0", row["warnings"][0])
        with open(os.path.join(FILES, "expected", self.expected["as_is"]["bad-status.mthc"]),
                  "rb") as f:
            self.assertEqual(self.page.fetch(row["href"]), f.read())

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

    def test_play_mute_and_solo(self):
        rows = self.upload(["trio.mid", "solo.mthc"])
        self.wait_for_rolls()
        play = self.page.row("trio.mid") + LOUDNESS
        # Nothing sounds before Play.
        self.assertEqual(self.page.run(play + "return window.audioTaps.length"), 0)
        self.page.run(play + "row.querySelector('button.play').click();")
        self.page.wait_until(play + "return row.dataset.playing === 'yes' && peak() > 0.01", 30)
        # The position and the playhead move on.
        where = play + """return [Number(row.querySelector('.position').value),
                                  parseFloat(row.querySelector('.playhead').style.left)];"""
        first = self.page.run(where)
        time.sleep(1)
        later = self.page.run(where)
        self.assertGreater(later[0], first[0])
        self.assertGreater(later[1], first[1])

        # Every track muted: silence, once the notes sounding have ended.
        self.page.run(play + "row.querySelectorAll('button.mute').forEach((b) => b.click());")
        self.page.wait_until(play + """
          const quiet = peak() < 0.001;
          window.quietSince = quiet ? (window.quietSince || performance.now()) : 0;
          return quiet && performance.now() - window.quietSince > 500;""", 30)
        # One track alone: sound again, and the others are shown silent.
        self.page.run(play + "row.querySelectorAll('button.solo')[1].click();")
        self.page.wait_until(play + "return peak() > 0.01", 30)
        audible = self.page.run(play + """
          return [...row.querySelectorAll('.legend li')].map((item) => item.dataset.audible);""")
        self.assertEqual(audible, ["no", "yes", "no"])

        # The position moved by hand: the song goes on from there.
        self.page.run(play + """
          const position = row.querySelector('.position');
          position.value = 30;
          position.dispatchEvent(new Event('input'));""")
        self.assertGreaterEqual(self.page.run(where)[0], 30)

        # Another song stops the first.
        other = self.page.row("solo.mthc")
        self.page.run(other + "row.querySelector('button.play').click();")
        self.page.wait_until(other + "return row.dataset.playing === 'yes'", 30)
        self.assertEqual(self.page.run(play + "return row.dataset.playing"), "no")
        self.page.run(other + "row.querySelector('button.play').click();")
        self.page.wait_until(other + LOUDNESS + """
          return row.dataset.playing === 'no' && peak() < 0.001;""", 30)
        severe = [entry for entry in self.driver.get_log("browser") if entry["level"] == "SEVERE"]
        self.assertEqual(severe, [])
        self.assertEqual(len(rows), 2)

    def test_small_file_goes_past_a_large_one_and_files_cancel(self):
        # As on a machine of two cores: one converter.
        self.driver.execute_cdp_cmd("Emulation.setHardwareConcurrencyOverride",
                                    {"hardwareConcurrency": 2})
        try:
            self.page = browser.Page(self.driver, self.address)
            self.assertEqual(self.page.run("return CONVERTERS"), 1)
            with tempfile.TemporaryDirectory() as folder:
                # A second large file.
                os.link(os.path.join(INPUTS, "largest.mid"), os.path.join(folder, "again.mid"))
                self.page.upload([os.path.join(INPUTS, "largest.mid"),
                                  os.path.join(folder, "again.mid"),
                                  os.path.join(INPUTS, "trio.mid")])
                states = """return [...document.querySelectorAll('#results > li')]
                                .map((r) => r.dataset.state + ' ' + r.querySelector('.status')
                                                                       .textContent);"""
                # The small file is done while the large one packs, and the
                # second large one waits, saying so.
                seen = self.page.wait_until(
                    "const s = (() => {" + states + "})();"
                    "return s[2].startsWith('done') && s[0].startsWith('working') && s;", 60)
                self.assertEqual(seen[1], "waiting Waiting…")
                # Both large files cancelled: the waiting one and the one at work.
                for name in ["again.mid", "largest.mid"]:
                    self.page.run(self.page.row(name) + "row.querySelector('.row-action').click();")
                rows = self.page.rows()
                self.assertEqual([row["state"] for row in rows], ["cancelled", "cancelled", "done"])
                # The converter is free again at once.
                self.page.upload([os.path.join(INPUTS, "solo.midi")])
                self.page.wait_until("return document.querySelector('#results > li:last-child')"
                                     ".dataset.state === 'done'", 30)
                self.assertEqual(self.page.rows()[0]["state"], "cancelled")
        finally:
            self.driver.execute_cdp_cmd("Emulation.setHardwareConcurrencyOverride",
                                        {"hardwareConcurrency": os.cpu_count()})

    def test_clear_and_remove_give_memory_back(self):
        def heap():
            self.driver.execute_cdp_cmd("HeapProfiler.collectGarbage", {})
            return self.page.run("return performance.memory.usedJSHeapSize")

        # A row removed takes its download with it.
        (row,) = self.upload(["trio.mid"])
        self.page.run(self.page.row("trio.mid") + "row.querySelector('.row-action').click();")
        self.assertEqual(self.page.rows(), [])
        with self.assertRaises(AssertionError):
            self.page.fetch(row["href"])

        before = heap()
        for _ in range(5):
            self.upload(["largest.mthc"])
            self.wait_for_rolls()
            self.driver.find_element(By.ID, "clear").click()
            self.assertEqual(self.page.rows(), [])
            self.page.wait_until("return document.body.dataset.ready === 'yes'", 60)
        after = heap()
        print("JS heap: %.1f MB before, %.1f MB after five rounds of the largest container"
              % (before / 1e6, after / 1e6))
        self.assertLess(after - before, 25e6)

    def test_names_as_written_and_safe_in_the_zip(self):
        names = ["names.mid", make_test_files.LONG_FILE_NAME, make_test_files.PATH_LIKE_NAME,
                 "trio.mid"]
        with tempfile.TemporaryDirectory() as folder:
            # A name that two outputs would share.
            os.link(os.path.join(INPUTS, "trio.mid"), os.path.join(folder, "trio.midi"))
            self.page.upload([os.path.join(INPUTS, name) for name in names] +
                             [os.path.join(folder, "trio.midi")])
            rows = self.page.wait_for_rows(len(names) + 1)
        for row in rows[:-1]:
            self.check_row(row)
        self.wait_for_rolls()
        legend = self.page.run(self.page.row("names.mid") + """
          return [...row.querySelectorAll('.legend .track-name')].map((n) => n.textContent);""")
        self.assertEqual(legend, make_test_files.TRACK_NAMES)
        self.assertLessEqual(self.page.run("return document.documentElement.scrollWidth"),
                             self.page.run("return window.innerWidth"))

        self.driver.find_element(By.ID, "download-all").click()
        href = self.page.wait_until("const a = document.getElementById('zip-link');"
                                    "return a && a.href;")
        archive = zipfile.ZipFile(io.BytesIO(self.page.fetch(href)))
        entries = archive.namelist()
        self.assertEqual(len(entries), 5)
        for entry in entries:
            for unsafe in ["/", "\\", ".."]:
                self.assertNotIn(unsafe, entry)
            self.assertFalse(entry.startswith("."), entry)
            self.assertLessEqual(len(entry.encode("utf-8")), 200)
        self.assertIn("trio.mthc", entries)
        self.assertIn("trio (2).mthc", entries)
        self.assertIn("_._Windows_evil.mthc", entries)
        self.screenshot("page-names-%d.png" % self.width)

    def test_page_basics(self):
        # A strict policy: no inline script, nothing from elsewhere.
        policy = self.page.run("return document.querySelector("
                               "'meta[http-equiv=\"Content-Security-Policy\"]').content")
        self.assertIn("script-src 'self'", policy)
        self.assertIn("default-src 'self'", policy)
        self.assertNotIn("unsafe", policy)
        self.assertNotIn("http", policy)
        self.assertEqual(self.page.run("return [...document.scripts].filter((s) => !s.src).length"),
                         0)
        # A favicon, and the project's guide, both there.
        for link in ["link[rel=icon]", "#about a"]:
            href = self.page.run("return document.querySelector(arguments[0]).href", link)
            self.assertTrue(self.page.fetch(href))
        # The limits, as the library has them.
        about = self.page.run("return document.getElementById('about').textContent")
        self.assertIn("{:,}".format(midi_files.MAX_TRACK_DATA), about)
        self.assertIn("never leave", about)

    def test_works_offline_once_loaded(self):
        site = os.environ["MTHC_SITE"]
        with browser.serve(site) as address:
            browser.Page(self.driver, address)
            # The service worker has the site in its cache.
            self.driver.execute_async_script("""const done = arguments[arguments.length - 1];
                                                navigator.serviceWorker.ready.then(() => done());""")
        # The server is gone: the page still loads and converts.
        self.page = browser.Page(self.driver, address)
        (row,) = self.upload(["trio.mid"])
        self.check_row(row)

    def test_missing_module_and_saved_copy_say_why(self):
        with tempfile.TemporaryDirectory() as folder:
            site = os.path.join(folder, "site")
            shutil.copytree(os.environ["MTHC_SITE"], site)
            (build,) = [name for name in os.listdir(site) if name.startswith("v-")]
            os.remove(os.path.join(site, build, "mthc.wasm"))
            with browser.serve(site) as address:
                self.page = browser.Page(self.driver, address)
                (row,) = self.upload(["trio.mid"])
                self.assertEqual(row["state"], "failed")
                self.assertIn("could not be loaded", row["errors"][0])
                self.assertIn("mthc.wasm", row["errors"][0])
            # Opened from a file.
            self.page = browser.Page(self.driver, "file://" + os.path.join(site, "index.html"))
            (row,) = self.upload(["trio.mid"])
            self.assertEqual(row["state"], "failed")
            self.assertIn("opened from a file", row["errors"][0])
            self.assertFalse(self.page.run("return document.getElementById('trouble').hidden"))


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
        self.wait_for_rolls()
        self.screenshot("page-narrow.png")

    # The other tests run at the usual width only; names run at both.
    test_one_drop_of_containers_and_midi_files = None
    test_strict_refuses_what_would_not_come_back = None
    test_largest_midi_file_packs_with_progress = None
    test_files_dropped_on_the_drop_zone = None
    test_convert_anyway = None
    test_play_mute_and_solo = None
    test_small_file_goes_past_a_large_one_and_files_cancel = None
    test_clear_and_remove_give_memory_back = None
    test_page_basics = None
    test_works_offline_once_loaded = None
    test_missing_module_and_saved_copy_say_why = None


if __name__ == "__main__":
    unittest.main()
