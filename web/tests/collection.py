"""A game's music folder, as the page's visitors bring it, and how to watch
the page's renderer while it works through one: thirty General MIDI songs
(some packed), a container of 12 MB, and the renderer processes' memory read
from the system."""

import os
import random
import subprocess

import midi_files as midi
import sound_songs

SONGS = 30
STYLES = ["pop", "rock", "ballad"]
# A container of about 12 MB: random notes, which hardly compress.
DENSE_NAME = "dense.mthc"
DENSE_MIDI_BYTES = 11_100_000


def dense_song(size, seed=3):
    """A format-0 song of random notes on all channels, `size` bytes or a
    little more: music that does not compress, so its container is as large
    as the song."""
    rng = random.Random(seed)
    body = bytearray(midi.meta(0x03, b"Dense"))
    sounding = []
    while len(body) < size:
        body += midi.vlq(rng.randint(0, 90))
        if sounding and rng.random() < 0.5:
            channel, key = sounding.pop(rng.randrange(len(sounding)))
            body += bytes([0x80 | channel, key, rng.randint(0, 127)])
        else:
            channel, key = rng.randrange(16), rng.randint(0, 127)
            body += bytes([0x90 | channel, key, rng.randint(1, 127)])
            sounding.append((channel, key))
    for channel, key in sounding:
        body += bytes([0, 0x80 | channel, key, 0])
    return midi.midi_file([bytes(body + midi.END_OF_TRACK)], fmt=0)


def write_collection(folder, pack_tool):
    """Writes the songs into `folder` (one in three packed by `pack_tool`)
    and the dense container; returns the files' paths in order."""
    os.makedirs(folder, exist_ok=True)
    paths = []
    for n in range(SONGS):
        name = os.path.join(folder, "song-%02d.mid" % (n + 1))
        with open(name, "wb") as f:
            f.write(sound_songs.band_song(STYLES[n % 3], 60 + 3 * n, seed=n + 1))
        if n % 3 == 2:
            packed = name[:-4] + ".mthc"
            subprocess.run([pack_tool, "-q", "-f", "-o", packed, name], check=True)
            os.remove(name)
            name = packed
        paths.append(name)
    dense = os.path.join(folder, DENSE_NAME)
    if not os.path.exists(dense):
        source = os.path.join(folder, "dense.mid")
        with open(source, "wb") as f:
            f.write(dense_song(DENSE_MIDI_BYTES))
        subprocess.run([pack_tool, "-q", "-1", "-f", "-o", dense, source], check=True)
        os.remove(source)
    paths.append(dense)
    return paths


def descendants(pid):
    """The processes that `pid` started, and theirs, found in /proc."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            continue
        children.setdefault(parent, []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def _threads(pid):
    """The names of a process's threads."""
    names = []
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/comm" % (pid, task)) as f:
            names.append(f.read().strip())
    return names


def renderers(driver):
    """The browser's renderer processes: {pid: (resident bytes (VmRSS),
    whether it runs workers)}. The browser's own interface has one too."""
    found = {}
    for pid in descendants(driver.service.process.pid):
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                command = f.read()
            if b"--type=renderer" not in command or b"--top-chrome-webui" in command:
                continue
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        resident = int(line.split()[1]) * 1024
            workers = any(name.startswith(("DedicatedWorker", "ServiceWorker"))
                          for name in _threads(pid))
            found[pid] = (resident, workers)
        except OSError:
            continue
    return found


def page_renderer_bytes(driver):
    """The resident memory of the page's renderer: the renderer that runs
    the page's workers (the others are the browser's spare, kept ready for
    the next tab)."""
    found = renderers(driver).values()
    return max((resident for resident, workers in found if workers),
               default=max((resident for resident, _ in found), default=0))


# The main thread's long tasks (50 ms and more), as the browser reports
# them: window.longTasks holds their durations in ms.
LONG_TASKS = """
  window.longTasks = [];
  new PerformanceObserver((list) => {
    for (const task of list.getEntries()) window.longTasks.push(task.duration);
  }).observe({type: 'longtask'});
"""
