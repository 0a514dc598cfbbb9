#!/usr/bin/env python3
"""Figures of the web page, measured on this machine in one run:

1. Converting the largest container the format holds (16.7 MB of MIDI track
   data in 255 blocks) in the page, in headless Chromium: the time from the
   file input's change to the download link being in the page (the page's
   own performance.measure), against `mthc --decompress` of the native
   build on the same file (wall time of the process, from start to exit),
   and their ratio. Medians of several runs, the two taking turns.
2. Memory: the page's JS heap (performance.memory, precise, after a garbage
   collection) and the renderer's memory (the proportional set size of
   every renderer process, workers included) before and after five rounds
   of the largest container, each ended with "Clear".
3. A resize with eight large rolls: the longest task on the page's main
   thread and the longest gap between two frames while the window changes
   size, and how long until every roll is drawn anew.
4. What a browser downloads: each file of the site compressed with gzip -9,
   as a server would send it, and the total.

With --screenshots DIR, also screenshots of the page at 1280 and 360 pixels
wide (web-page.png and web-page-narrow.png in DIR).

Needs the web build (cmake --preset web && cmake --build --preset web), run
from the top of the checkout with Debian's Python (python3-selenium):

    /usr/bin/python3 scripts/bench/web_figures.py [--runs N] [--screenshots docs]
"""

import argparse
import gzip
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "web", "tests"))

from selenium.webdriver.common.by import By  # noqa: E402

import browser  # noqa: E402
import collection  # noqa: E402
import make_test_files  # noqa: E402
import midi_files  # noqa: E402

BUILD = os.path.join(ROOT, "build", "web")
SITE = os.path.join(BUILD, "site")
NATIVE = os.path.join(BUILD, "native", "programs")
# What the page fetches to show itself and play a song, as the build lists it.
SITE_LIST = os.path.join(BUILD, "site-files.json")


def native_seconds(container, out):
    start = time.perf_counter()
    subprocess.run([os.path.join(NATIVE, "mthc"), "--decompress", out, container], check=True,
                   stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def page_seconds(page, container):
    page.driver.refresh()
    page.wait_until("return document.body.dataset.ready === 'yes'")
    page.upload([container])
    page.wait_for_rows(1)
    seconds = page.run(
        "return performance.getEntriesByName('mthc ' + arguments[0])[0].duration / 1000",
        os.path.basename(container))
    # The song is drawn before the next run begins.
    page.wait_until("return document.querySelector('canvas[data-drawn]')")
    return seconds


def conversion_times(page, container, runs):
    """Medians of the page's and the native tool's times, the runs of both
    taking turns, so that both see the same machine."""
    page_times, native_times = [], []
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.mid")
        for _ in range(runs):
            native_times.append(native_seconds(container, out))
            page_times.append(page_seconds(page, container))
    return statistics.median(page_times), statistics.median(native_times)


def renderer_bytes(driver):
    """The proportional set size of the browser's renderer processes."""
    total = 0
    for pid in collection.descendants(driver.service.process.pid):
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                if b"--type=renderer" not in f.read():
                    continue
            with open("/proc/%d/smaps_rollup" % pid) as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1]) * 1024
        except OSError:
            continue
    return total


def memory_rounds(page, container, rounds=5):
    def heap():
        page.driver.execute_cdp_cmd("HeapProfiler.collectGarbage", {})
        return page.run("return performance.memory.usedJSHeapSize")

    page.driver.refresh()
    page.wait_until("return document.body.dataset.ready === 'yes'")
    before = heap(), renderer_bytes(page.driver)
    loaded = []
    for _ in range(rounds):
        page.upload([container])
        page.wait_for_rows(1)
        page.wait_until("return document.querySelector('canvas[data-drawn]')")
        loaded.append((heap(), renderer_bytes(page.driver)))
        page.driver.find_element(By.ID, "clear").click()
        page.wait_until("return document.body.dataset.ready === 'yes'")
    time.sleep(1)
    after = heap(), renderer_bytes(page.driver)
    return before, max(loaded), after


def resize_figures(page, container, rolls=8):
    """Eight rolls of the largest song, and the window made narrower: what
    the page's main thread does meanwhile."""
    page.driver.set_window_size(1280, 900)
    page.driver.refresh()
    page.wait_until("return document.body.dataset.ready === 'yes'")
    with tempfile.TemporaryDirectory() as folder:
        copies = []
        for n in range(rolls):
            copies.append(os.path.join(folder, "song-%d.mthc" % n))
            os.link(container, copies[-1])
        page.upload(copies)
        page.wait_for_rows(rolls)
    page.wait_until("return document.querySelectorAll('canvas[data-drawn]').length ===" +
                    " arguments[0]", 300, rolls)
    page.run("""
      window.longest = 0;
      new PerformanceObserver((list) => {
        for (const task of list.getEntries()) window.longest = Math.max(window.longest, task.duration);
      }).observe({type: 'longtask'});
      window.gap = 0;
      let last = performance.now();
      const frame = (now) => {
        window.gap = Math.max(window.gap, now - last);
        last = now;
        window.frames = requestAnimationFrame(frame);
      };
      window.frames = requestAnimationFrame(frame);
      window.resizedAt = performance.now();""")
    widths = [page.run("return [...document.querySelectorAll('canvas')][0].clientWidth")]
    page.driver.set_window_size(900, 900)
    page.wait_until("return [...document.querySelectorAll('canvas')].every((c) =>"
                    " c.dataset.drawn === Math.round(c.clientWidth * devicePixelRatio) + 'x' +"
                    " Math.round(c.clientHeight * devicePixelRatio))", 300)
    redrawn = page.run("return performance.now() - window.resizedAt")
    widths.append(page.run("return [...document.querySelectorAll('canvas')][0].clientWidth"))
    figures = page.run("cancelAnimationFrame(window.frames); return [window.longest, window.gap]")
    return figures[0], figures[1], redrawn, widths


def site_files(group="page"):
    with open(SITE_LIST) as f:
        return json.load(f)[group]


def site_sizes(group="page"):
    sizes = []
    for name in site_files(group):
        with open(os.path.join(SITE, name), "rb") as f:
            data = f.read()
        sizes.append((name, len(data), len(gzip.compress(data, compresslevel=9))))
    return sizes


def screenshots(address, driver, folder):
    """The page with the example tune playing (the current song of the list)
    above a game's folder: songs in subfolders, warnings, an error with
    "Convert anyway", a song saved as WAV and a track alone."""
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        make_test_files.main(work, os.path.join(NATIVE, "mthc-pack"), os.path.join(NATIVE, "mthc"))
        inputs = os.path.join(work, "inputs")
        game = os.path.join(work, "Game")
        for path, source in [("Title.mid", "trio.mid"), ("Level 1/Forest.mid", "lenient.mid"),
                             ("Level 1/Boss.mthc", "bad-status.mthc"),
                             ("Level 2/Caves.mid", "doubled.mid")]:
            os.makedirs(os.path.dirname(os.path.join(game, path)), exist_ok=True)
            shutil.copy(os.path.join(inputs, source), os.path.join(game, path))
        for width, name, height in [(1280, "web-page.png", 1700), (360, "web-page-narrow.png", 1600)]:
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 400})
            page = browser.Page(driver, address)
            driver.find_element(By.ID, "sample").click()
            page.wait_for_rows(1)
            driver.find_element(By.ID, "folder").send_keys(game)
            page.wait_for_rows(5)
            page.wait_until("return document.querySelectorAll('canvas[data-drawn]').length === 4")
            page.run(page.row("Forest.mid") + "row.querySelector('button.save-wav').click()")
            page.wait_until(page.row("Forest.mid") + "return row.querySelector('a.wav-link')", 120)
            page.run(page.row("Forest.mid") + "row.querySelector('button.solo').click()")
            tune = page.row("example-tune.mthc")
            page.run(tune + "row.querySelector('button.play').click()")
            page.wait_until(tune + "return row.dataset.playing === 'yes' &&"
                            " Number(row.querySelector('.position').value) > 6", 60)
            page.run("document.getElementById('%s').scrollIntoView()"
                     % ("results-title" if width < 400 else "sound-title"))
            time.sleep(0.5)
            driver.save_screenshot(os.path.join(folder, name))
            page.run(tune + "row.querySelector('button.play').click()")
        driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--screenshots", metavar="DIR")
    arguments = parser.parse_args()
    if not os.path.exists(SITE_LIST):
        sys.exit("missing %s: build first (cmake --preset web && cmake --build --preset web)"
                 % SITE_LIST)
    for needed in [os.path.join(SITE, f) for f in site_files()] + [os.path.join(NATIVE, "mthc"),
                                                                  os.path.join(NATIVE, "mthc-pack")]:
        if not os.path.exists(needed):
            sys.exit("missing %s: build first (cmake --preset web && cmake --build --preset web)"
                     % needed)

    with tempfile.TemporaryDirectory() as work, browser.serve(SITE) as address, \
            browser.chromium(width=1280) as driver:
        song, _ = midi_files.largest_song()
        midi = os.path.join(work, "largest.mid")
        with open(midi, "wb") as f:
            f.write(song)
        container = os.path.join(work, "largest.mthc")
        subprocess.run([os.path.join(NATIVE, "mthc-pack"), "-q", "-o", container, midi], check=True)
        page = browser.Page(driver, address)
        page_time, native_time = conversion_times(page, container, arguments.runs)
        before, loaded, after = memory_rounds(page, container)
        longest_task, longest_gap, redrawn, widths = resize_figures(page, container)
        if arguments.screenshots:
            screenshots(address, driver, arguments.screenshots)

    print("Converting the largest container (%d bytes of track data, 255 blocks), median of %d:"
          % (midi_files.MAX_TRACK_DATA, arguments.runs))
    print("  page (headless Chromium, file picked to download link): %8.1f ms" % (page_time * 1000))
    print("  native mthc --decompress (process start to exit):        %8.1f ms" % (native_time * 1000))
    print("  ratio page / native:                                     %8.2f  (target: at most 2)"
          % (page_time / native_time))
    print()
    print("Memory, five rounds of the largest container, each ended with Clear:")
    mb = 1e6
    print("  JS heap of the page:  %6.1f MB before, %6.1f MB with a round loaded, %6.1f MB after"
          "  (target: within 25 MB)" % (before[0] / mb, loaded[0] / mb, after[0] / mb))
    print("  renderer (PSS):       %6.1f MB before, %6.1f MB with a round loaded, %6.1f MB after"
          % (before[1] / mb, loaded[1] / mb, after[1] / mb))
    print()
    print("Resizing the window (%d to %d CSS pixels of roll) with 8 rolls of the largest song:"
          % tuple(widths))
    print("  longest task on the page's main thread: %s" % ("%6.0f ms" % longest_task
                                                        if longest_task else "none over 50 ms"))
    print("  longest gap between two frames:         %6.0f ms" % longest_gap)
    print("  every roll drawn anew after:            %6.0f ms (in the rolls' worker)" % redrawn)
    print()
    print("Transfer size of the site, each file gzip -9:")
    total = 0
    for name, size, packed in site_sizes():
        total += packed
        print("  %-42s %8d bytes, %8d gzipped" % (name, size, packed))
    print("  %-42s %8s        %8d gzipped = %.1f KB (target: at most 300 KB)"
          % ("total", "", total, total / 1000))


if __name__ == "__main__":
    main()
