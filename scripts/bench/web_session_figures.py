#!/usr/bin/env python3
"""Figures of the web page over an afternoon of use, measured on this
machine in headless Chromium:

1. Memory: five rounds of a game's music folder (thirty General MIDI songs,
   some packed, and a container of 12 MB; web/tests/collection.py), each
   round converted, drawn, one song played for a second, and ended with
   "Clear". The resident memory (VmRSS, from /proc) of the page's renderer
   process after the page loaded, with each round loaded, and after each
   Clear.
2. The main thread's longest task (PerformanceObserver 'longtask') when Play
   is first pressed, on a freshly loaded page.
3. The main thread's longest task while songs are added: the thirty songs
   and the container in one choice, and eight copies of the largest
   container the format holds (16.7 MB of music each) in one choice.

Needs the web build (cmake --preset web && cmake --build --preset web), run
from the top of the checkout with Debian's Python (python3-selenium):

    /usr/bin/python3 scripts/bench/web_session_figures.py [--rounds N] [--site DIR]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "web", "tests"))

from selenium.webdriver.common.by import By  # noqa: E402

import browser  # noqa: E402
import collection  # noqa: E402
import midi_files  # noqa: E402

BUILD = os.path.join(ROOT, "build", "web")
NATIVE = os.path.join(BUILD, "native", "programs")

ALL_DONE = """
  const rows = [...document.querySelectorAll('#results > li')];
  return rows.length >= arguments[0] &&
         rows.every((r) => !['waiting', 'working'].includes(r.dataset.state)) &&
         rows.every((r) => r.dataset.state !== 'done' || r.querySelector('canvas[data-drawn]') ||
                           r.querySelector('.notes').textContent === '0');"""


def fresh(page):
    page.driver.refresh()
    page.wait_until("return document.body.dataset.ready === 'yes'", 60)


def settle(page):
    """The page's garbage collected and a moment for the workers to go."""
    page.driver.execute_cdp_cmd("HeapProfiler.collectGarbage", {})
    time.sleep(2)
    page.driver.execute_cdp_cmd("HeapProfiler.collectGarbage", {})


def play_a_second(page):
    first = "const row = document.querySelector('#results > li[data-state=done] button.play');"
    if not page.run(first + "return !!row"):
        return
    page.run(first + "row.click();")
    page.wait_until("return document.querySelector('#results > li[data-playing=yes]')", 60)
    time.sleep(1)
    page.run("document.querySelector('#results > li[data-playing=yes] button.play').click();")


def memory_rounds(page, files, rounds):
    fresh(page)
    settle(page)
    loaded_page = collection.page_renderer_bytes(page.driver)
    loaded, cleared = [], []
    for _ in range(rounds):
        page.upload(files)
        page.wait_until(ALL_DONE, 600, len(files))
        play_a_second(page)
        settle(page)
        loaded.append(collection.page_renderer_bytes(page.driver))
        page.driver.find_element(By.ID, "clear").click()
        page.wait_until("return document.body.dataset.ready === 'yes'", 60)
        settle(page)
        cleared.append(collection.page_renderer_bytes(page.driver))
    return loaded_page, loaded, cleared


def longest_at_first_play(page, song):
    fresh(page)
    page.upload([song])
    page.wait_until(ALL_DONE, 120, 1)
    page.run(collection.LONG_TASKS)
    page.run("document.querySelector('#results > li button.play').click();")
    page.wait_until("return document.querySelector('#results > li[data-playing=yes]')", 60)
    time.sleep(2)
    tasks = page.run("return window.longTasks")
    page.run("document.querySelector('#results > li button.play').click();")
    return max(tasks, default=0)


def longest_while_adding(page, files):
    fresh(page)
    page.run(collection.LONG_TASKS)
    started = time.monotonic()
    page.upload(files)
    page.wait_until(ALL_DONE, 900, len(files))
    seconds = time.monotonic() - started
    return max(page.run("return window.longTasks"), default=0), seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--site", default=os.path.join(BUILD, "site"))
    arguments = parser.parse_args()
    pack = os.path.join(NATIVE, "mthc-pack")
    for needed in [os.path.join(arguments.site, "index.html"), pack]:
        if not os.path.exists(needed):
            sys.exit("missing %s: build first (cmake --preset web && cmake --build --preset web)"
                     % needed)

    with tempfile.TemporaryDirectory() as work, browser.serve(arguments.site) as address, \
            browser.chromium(width=1280) as driver:
        files = collection.write_collection(os.path.join(work, "songs"), pack)
        largest_midi, _ = midi_files.largest_song()
        with open(os.path.join(work, "largest.mid"), "wb") as f:
            f.write(largest_midi)
        largest = os.path.join(work, "largest.mthc")
        subprocess.run([pack, "-q", "-o", largest, os.path.join(work, "largest.mid")], check=True)
        copies = []
        for n in range(8):
            copies.append(os.path.join(work, "copy-%d.mthc" % n))
            os.link(largest, copies[-1])

        page = browser.Page(driver, address)
        start, loaded, cleared = memory_rounds(page, files, arguments.rounds)
        first_play = longest_at_first_play(page, files[0])
        adding_songs, songs_seconds = longest_while_adding(page, files)
        adding_large, large_seconds = longest_while_adding(page, copies)

    mb = 1 << 20
    print("Renderer memory (VmRSS of the page's renderer process), %d rounds of %d songs and a "
          "container of 12 MB, each ended with Clear:" % (arguments.rounds, collection.SONGS))
    print("  page loaded:        %6.0f MiB" % (start / mb))
    print("  with a round:       " + ", ".join("%.0f" % (b / mb) for b in loaded) + " MiB")
    print("  after each Clear:   " + ", ".join("%.0f" % (b / mb) for b in cleared) + " MiB")
    print("  last Clear - first: %+6.0f MiB (target: within 40 MiB)"
          % ((cleared[-1] - cleared[0]) / mb))
    print()
    print("Longest main-thread task (PerformanceObserver longtask; none under 50 ms is reported):")
    print("  Play first pressed:                          %6.0f ms" % first_play)
    print("  %d songs and the 12 MB container added:      %6.0f ms (all shown in %.1f s)"
          % (collection.SONGS, adding_songs, songs_seconds))
    print("  8 of the largest container added:            %6.0f ms (all shown in %.1f s)"
          % (adding_large, large_seconds))
    print("  (target: none over 250 ms)")


if __name__ == "__main__":
    main()
