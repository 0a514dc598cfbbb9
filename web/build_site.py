"""Lays out the static site from the files that web/CMakeLists.txt lists
(its manifest, written at configure time), so that a new version reaches
returning visitors whole:

- the page's scripts, style, WebAssembly and sample song go into a folder
  named after the build (v-<hash of every file of the site>), so that each
  version's files have addresses of their own: a browser never takes an old
  script for a new one, from its cache or anywhere else, and a page only
  ever loads the files of its own version;
- index.html (which points into that folder), the service worker, the
  project's guide as HTML and the licenses stay at the top, under names
  that do not change;
- the service worker gets the build's name for its cache and the list of
  what to keep for use offline;
- site-files.json lists the files by what fetches them, for the figures.

Anything else in the site's folder (an older build's folder) is removed.

    build_site.py MANIFEST
"""

import hashlib
import json
import os
import shutil
import sys

import readme_html

# The lists of site-files.json, by what fetches them; the versioned ones
# live in the build's folder.
VERSIONED = ("page", "soundfont", "sample")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    """Writes `data` to `path` unless it holds it already: an unchanged file
    keeps its time, as a server tells browsers."""
    if os.path.exists(path) and read(path) == data:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    temporary = path + ".new"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def main(manifest_path):
    manifest = json.loads(read(manifest_path))
    site = manifest["site"]
    files = manifest["files"]  # [{name, from, group}]
    contents = {entry["name"]: read(entry["from"]) for entry in files}
    index = read(manifest["index"]).decode("utf-8")
    readme = read(manifest["readme"]).decode("utf-8")
    worker_template = read(manifest["service_worker"]).decode("utf-8")

    # The build's name: every input of the site, so that any change makes a
    # new folder and a new cache.
    digest = hashlib.sha256()
    for name in sorted(contents):
        digest.update(name.encode("utf-8") + b"\0" + contents[name] + b"\0")
    for text in (index, readme, worker_template):
        digest.update(text.encode("utf-8") + b"\0")
    build = "v-" + digest.hexdigest()[:12]

    placed = {}  # path in the site -> bytes
    lists = {group: [] for group in VERSIONED + ("other",)}
    for entry in files:
        versioned = entry["group"] in VERSIONED
        path = build + "/" + entry["name"] if versioned else entry["name"]
        placed[path] = contents[entry["name"]]
        lists[entry["group"]].append(path)

    placed["index.html"] = index.replace("@BUILD@", build).encode("utf-8")
    guide = readme_html.page(readme, "mthc: the project's guide", build + "/style.css",
                             build + "/favicon.svg", has_file=lambda name: name in placed)
    placed["README.html"] = guide.encode("utf-8")
    lists["other"].append("README.html")

    # What the service worker keeps on installing: everything a visit uses
    # but the SoundFont engine, which is kept once it has been fetched.
    offline = ["./"] + lists["page"] + lists["sample"] + lists["other"]
    worker = (worker_template.replace("@BUILD@", build)
              .replace("@OFFLINE_FILES@", ",\n  ".join(json.dumps(p) for p in offline)))
    placed["sw.js"] = worker.encode("utf-8")

    for path, data in placed.items():
        write(os.path.join(site, path), data)
    # Whatever else is there is of an older build.
    for root, folders, names in os.walk(site, topdown=False):
        for name in names:
            path = os.path.join(root, name)
            if os.path.relpath(path, site).replace(os.sep, "/") not in placed:
                os.remove(path)
        for name in folders:
            path = os.path.join(root, name)
            if not os.listdir(path):
                shutil.rmtree(path)

    site_list = {
        "build": build,
        # Fetched to show the page and play a song.
        "page": ["index.html"] + lists["page"] + ["sw.js"],
        # Fetched once a SoundFont is chosen.
        "soundfont": lists["soundfont"],
        # Kept by the service worker when it installs.
        "offline": offline,
        "other": lists["sample"] + lists["other"],
    }
    write(manifest["list"], (json.dumps(site_list, indent=1) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main(sys.argv[1])
