#!/usr/bin/env python3
"""Figures of the web page, measured on this machine in one run:

1. Converting the largest container the format holds (16.7 MB of MIDI track
   data in 255 blocks) in the page, in headless Chromium: the time from the
   file input's change to the download link being in the page (the page's
   own performance.measure), against `mthc --decompress` of the native
   build on the same file (wall time of the process, from start to exit),
   and their ratio. Medians of several runs, the two taking turns.
2. What a browser downloads to show the page: each file of the site that
   it fetches, compressed with gzip -9 as a server would send it, and the
   total.

Needs the web build (cmake --preset web && cmake --build --preset web), run
from the top of the checkout with Debian's Python (python3-selenium):

    /usr/bin/python3 scripts/web_figures.py [--runs N]
"""

import argparse
import gzip
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "web", "tests"))

import browser  # noqa: E402
import midi_files  # noqa: E402

BUILD = os.path.join(ROOT, "build", "web")
SITE = os.path.join(BUILD, "site")
NATIVE = os.path.join(BUILD, "native", "src")
# What the page fetches: the page, its style and script, the worker, the
# library's script and WebAssembly, the zip writer.
SITE_FILES = ["index.html", "style.css", "app.js", "worker.js", "mthc.js", "mthc.wasm",
              "fflate.min.js"]


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


def conversion_times(container, runs):
    """Medians of the page's and the native tool's times, the runs of both
    taking turns, so that both see the same machine."""
    page_times, native_times = [], []
    with tempfile.TemporaryDirectory() as work, browser.serve(SITE) as address, \
            browser.chromium() as driver:
        page = browser.Page(driver, address)
        out = os.path.join(work, "out.mid")
        for _ in range(runs):
            native_times.append(native_seconds(container, out))
            page_times.append(page_seconds(page, container))
    return statistics.median(page_times), statistics.median(native_times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7)
    runs = parser.parse_args().runs
    for needed in [os.path.join(SITE, f) for f in SITE_FILES] + [os.path.join(NATIVE, "mthc"),
                                                                  os.path.join(NATIVE, "mthc-pack")]:
        if not os.path.exists(needed):
            sys.exit("missing %s: build first (cmake --preset web && cmake --build --preset web)"
                     % needed)

    with tempfile.TemporaryDirectory() as work:
        song, _ = midi_files.largest_song()
        midi = os.path.join(work, "largest.mid")
        with open(midi, "wb") as f:
            f.write(song)
        container = os.path.join(work, "largest.mthc")
        subprocess.run([os.path.join(NATIVE, "mthc-pack"), "-q", "-o", container, midi], check=True)
        page, native = conversion_times(container, runs)

    print("Converting the largest container (%d bytes of track data, 255 blocks), median of %d:"
          % (midi_files.MAX_TRACK_DATA, runs))
    print("  page (headless Chromium, file picked to download link): %8.1f ms" % (page * 1000))
    print("  native mthc --decompress (process start to exit):        %8.1f ms" % (native * 1000))
    print("  ratio page / native:                                     %8.2f  (target: at most 2)"
          % (page / native))
    print()
    print("Transfer size of the site, each file gzip -9:")
    total = 0
    for name in SITE_FILES:
        with open(os.path.join(SITE, name), "rb") as f:
            data = f.read()
        size = len(gzip.compress(data, compresslevel=9))
        total += size
        print("  %-14s %8d bytes, %8d gzipped" % (name, len(data), size))
    print("  %-14s %8s        %8d gzipped = %.1f KB (target: at most 300 KB)"
          % ("total", "", total, total / 1000))


if __name__ == "__main__":
    main()
