#!/usr/bin/env python3
"""Figures of the web page's sound, measured on this machine in one run, in
headless Chromium:

1. The peak of a fortissimo chord of all sixteen channels, live, measured
   on every sample that reaches the page's audio destination (a
   ScriptProcessor beside it), through the built-in synthesizer and
   through a General MIDI SoundFont.
2. Loudness of three General MIDI songs made here (pop, rock, ballad, a
   minute each; web/tests/sound_songs.py) saved as WAV by the page, with
   the built-in synthesizer and with the SoundFont, against `timidity -Ow`
   renders of the same MIDI files (timidity's own configuration). Loudness
   is the integrated loudness of ITU-R BS.1770 (K-weighted with sox's
   biquad, gated: LUFS), with the RMS level (dBFS) and the sample peak.
3. The time the page takes to save a 4-minute song as WAV (click to link),
   with each synthesizer.
4. What a browser downloads (each file gzip -9): to show the page and play
   a song, and what a chosen SoundFont adds (the engine).

Needs the web build, Debian's Python (python3-selenium, python3-numpy),
timidity and sox; the SoundFont is a file of this machine
(/usr/share/sounds/sf2/FluidR3_GM.sf2 by default, Debian's fluid-soundfont-gm):

    /usr/bin/python3 scripts/bench/web_sound_figures.py [--soundfont FILE]
"""

import argparse
import gzip
import json
import os
import subprocess
import sys
import tempfile
import time
import wave

import numpy

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "web", "tests"))

import browser  # noqa: E402
import sound_songs  # noqa: E402
import sound_test  # noqa: E402

BUILD = os.path.join(ROOT, "build", "web")
SITE = os.path.join(BUILD, "site")
SONGS = ["pop", "rock", "ballad"]
RATE = 44100


def read_wav(path):
    with wave.open(path) as wav:
        assert wav.getsampwidth() == 2, path
        data = numpy.frombuffer(wav.readframes(wav.getnframes()), "<i2")
        return data.reshape(-1, wav.getnchannels()).astype(float) / 32768, wav.getframerate()


# K-weighting of BS.1770 at `rate`: a high shelf and a high pass.
def k_weighting(rate):
    k = numpy.tan(numpy.pi * 1681.974450955533 / rate)
    q = 0.7071752369554196
    vh = 10 ** (3.999843853973347 / 20)
    vb = vh ** 0.4996667741545416
    a0 = 1 + k / q + k * k
    shelf = [(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
             1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0]
    k = numpy.tan(numpy.pi * 38.13547087602444 / rate)
    q = 0.5003270373238773
    a0 = 1 + k / q + k * k
    high_pass = [1, -2, 1, 1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0]
    return shelf, high_pass


def loudness(path):
    """(integrated loudness in LUFS, RMS in dBFS, sample peak) of a WAV file."""
    samples, rate = read_wav(path)
    shelf, high_pass = k_weighting(rate)
    weighted = subprocess.run(
        ["sox", path, "-t", "f32", "-", "biquad"] + ["%.12g" % c for c in shelf] +
        ["biquad"] + ["%.12g" % c for c in high_pass], check=True, capture_output=True).stdout
    weighted = numpy.frombuffer(weighted, "<f4").reshape(-1, samples.shape[1]).astype(float)
    block, hop = int(0.4 * rate), int(0.1 * rate)
    powers = numpy.array([(weighted[s:s + block] ** 2).mean(axis=0).sum()
                          for s in range(0, len(weighted) - block + 1, hop)])
    levels = -0.691 + 10 * numpy.log10(numpy.maximum(powers, 1e-20))
    gated = powers[levels > -70]
    relative = -0.691 + 10 * numpy.log10(gated.mean()) - 10
    gated = powers[levels > max(-70, relative)]
    lufs = -0.691 + 10 * numpy.log10(gated.mean())
    rms = 10 * numpy.log10((samples ** 2).mean())
    return lufs, rms, numpy.abs(samples).max()


def fortissimo_peak(test, page):
    start = page.run(sound_test.MEASURE + "return clock();")
    test.seek("fortissimo.mid", 0)
    test.play("fortissimo.mid")
    page.wait_until(page.row("fortissimo.mid") + "return row.dataset.playing === 'no'", 60)
    return page.run(sound_test.MEASURE + "return measure(arguments[0]);", start)[0]


def save_wav(page, name, out=None):
    """Saves the song of row `name` as WAV; returns the seconds it took."""
    started = time.perf_counter()
    page.run(page.row(name) + "row.querySelector('button.save-wav').click();")
    href = page.wait_until(page.row(name) + """
      const error = row.querySelector('.wav-line .error');
      if (error) return 'error: ' + error.textContent;
      const link = row.querySelector('a.wav-link');
      return link && row.dataset.wav === 'done' && link.href;""", 900)
    seconds = time.perf_counter() - started
    if href.startswith("error"):
        raise RuntimeError(href)
    if out:
        with open(out, "wb") as f:
            f.write(page.fetch(href))
    return seconds


class Driver(sound_test.SoundTest):
    """The test's steps (play, seek, load), without a test run."""

    def __init__(self, page, driver, files):
        super().__init__()
        self.page = page
        self.driver = driver
        self.files = files


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--soundfont", default="/usr/share/sounds/sf2/FluidR3_GM.sf2")
    arguments = parser.parse_args()
    with open(os.path.join(BUILD, "site-files.json")) as f:
        groups = json.load(f)

    results = {}
    with tempfile.TemporaryDirectory() as work, browser.serve(SITE) as address, \
            browser.chromium(width=1280) as driver:
        files = {}
        for name, data in [("fortissimo.mid", sound_songs.fortissimo()),
                           ("four-minutes.mid", sound_songs.band_song("pop", 240, seed=4))] + \
                [("%s.mid" % s, sound_songs.band_song(s, 60)) for s in SONGS]:
            files[name] = os.path.join(work, name)
            with open(files[name], "wb") as f:
                f.write(data)
        for song in SONGS:
            subprocess.run(["timidity", "-Ow", "-s", str(RATE), "-o",
                            os.path.join(work, song + ".timidity.wav"), files[song + ".mid"]],
                           check=True, capture_output=True)
        for script in (sound_test.page_test.AUDIO_TAP, sound_test.METER):
            driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": script})
        page = browser.Page(driver, address)
        test = Driver(page, driver, files)
        test.set_volume(100)
        test.load(*files)
        for synth in ("built-in", "SoundFont"):
            if synth == "SoundFont":
                driver.find_element("id", "soundfont").send_keys(arguments.soundfont)
                page.wait_until("return document.getElementById('sound').dataset.instruments"
                                " === 'soundfont'", 300)
            results[synth] = {"peak": fortissimo_peak(test, page)}
            for song in SONGS:
                out = os.path.join(work, "%s.%s.wav" % (song, synth))
                save_wav(page, song + ".mid", out)
                results[synth][song] = loudness(out)
            results[synth]["four minutes"] = save_wav(page, "four-minutes.mid")
        page.run("document.getElementById('soundfont-undo').click();")
        reference = {song: loudness(os.path.join(work, song + ".timidity.wav")) for song in SONGS}

    print("Fortissimo chord (16 channels, velocity 127), peak of every sample leaving the page:")
    for synth in results:
        print("  %-10s %.3f" % (synth, results[synth]["peak"]))
    print()
    print("Loudness of the songs saved as WAV by the page, against timidity's render "
          "(LUFS / RMS dBFS / peak):")
    for song in SONGS:
        t = reference[song]
        print("  %-7s timidity    %6.1f LUFS %6.1f dBFS  peak %.3f" % (song, *t))
        for synth in results:
            p = results[synth][song]
            print("  %-7s %-10s  %6.1f LUFS %6.1f dBFS  peak %.3f  (%+.1f LU against timidity)"
                  % ("", synth, *p, p[0] - t[0]))
    print()
    print("Saving a 4-minute song as WAV (click to link):")
    for synth in results:
        print("  %-10s %5.1f s" % (synth, results[synth]["four minutes"]))
    print()
    for group, what in [("page", "to show the page and play a song"),
                        ("soundfont", "added once a SoundFont is chosen")]:
        total = 0
        for name in groups[group]:
            with open(os.path.join(SITE, name), "rb") as f:
                total += len(gzip.compress(f.read(), compresslevel=9))
        print("Fetched %s: %.1f KB (%d files, each gzip -9)" % (what, total / 1000,
                                                                  len(groups[group])))


if __name__ == "__main__":
    main()
