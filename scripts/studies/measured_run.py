"""What the measuring scripts share: the release build of a tool, and the wall
time and peak memory that /usr/bin/time -v reports of a run."""

import os
import re
import subprocess


def release_tool(target):
    """Configures and builds the release preset's `target`; its path."""
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    subprocess.run(["cmake", "--preset", "release"], cwd=root, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", target, "-j2"], cwd=root,
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(root, "build", "release", "programs", target)


def parse_time_v(text):
    """(wall seconds, peak resident kilobytes) from /usr/bin/time -v's report."""
    wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (\S+)", text).group(1)
    seconds = 0.0
    for p in wall.split(":"):
        seconds = seconds * 60 + float(p)
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
    return seconds, rss
