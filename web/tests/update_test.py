"""A new version of the site reaches a returning visitor, and a page never
runs the scripts of two versions.

A copy of the site is served whose files are a day old, as a server without
Cache-Control makes a browser take them for fresh for hours; the visitor
loads it, then the site changes (a new build: a new folder of scripts, a new
index.html and service worker, the old folder gone) and the visitor reloads,
and comes again.
"""

import json
import os
import shutil
import tempfile
import time
import unittest

import browser
import page_case

DAY = 24 * 3600

CACHES = """
  const done = arguments[arguments.length - 1];
  (async () => {
    const found = {};
    for (const name of await caches.keys()) {
      const cache = await caches.open(name);
      found[name] = (await cache.keys()).map((r) => new URL(r.url).pathname);
    }
    return found;
  })().then(done, (error) => done(String(error)));"""

# Every file the page and its workers fetched, by path.
FETCHED = "return performance.getEntriesByType('resource').map((e) => new URL(e.name).pathname);"


def age(folder, seconds):
    """Sets every file of `folder` back by `seconds`."""
    when = time.time() - seconds
    for root, _, names in os.walk(folder):
        for name in names:
            os.utime(os.path.join(root, name), (when, when))


def new_build(site, old, new):
    """The site as the next build lays it out: the scripts in folder `new`
    (one of them changed), index.html and the service worker pointing there,
    and the old folder gone."""
    shutil.copytree(os.path.join(site, old), os.path.join(site, new))
    with open(os.path.join(site, new, "main.js"), "a") as f:
        f.write("\ndocument.documentElement.dataset.changed = 'yes';\n")
    for name in ("index.html", "sw.js"):
        path = os.path.join(site, name)
        with open(path) as f:
            text = f.read()
        with open(path, "w") as f:
            f.write(text.replace(old, new))
    shutil.rmtree(os.path.join(site, old))


class UpdateTest(page_case.PageCase):
    def wait_for_worker(self, build):
        """Until the page is in the hands of the service worker of `build`,
        and that one alone keeps a cache."""
        self.page.wait_until("""
          const controller = navigator.serviceWorker.controller;
          return controller && controller.state === 'activated';""", 60)
        end = time.monotonic() + 60
        while True:
            kept = self.driver.execute_async_script(CACHES)
            if list(kept) == ["mthc-site-" + build]:
                return kept
            if time.monotonic() > end:
                raise AssertionError("caches: %s" % sorted(kept))
            time.sleep(0.1)

    def build(self):
        return self.page.run("return document.documentElement.dataset.build")

    def assertOwnFiles(self, build):
        """Everything the page fetched is the site's top or its own build's."""
        for path in self.page.run(FETCHED):
            folder = path.strip("/").split("/")[0]
            if folder.startswith("v-"):
                self.assertEqual(folder, build, path)

    def test_new_version_arrives_on_the_next_load(self):
        with tempfile.TemporaryDirectory() as work:
            site = os.path.join(work, "site")
            shutil.copytree(self.site, site)
            old = os.path.basename(page_case.build_folder(site))
            # A file missing from the server leaves the others kept.
            os.remove(os.path.join(site, "stb-vorbis-LICENSE.txt"))
            age(site, DAY)
            with browser.serve(site) as address:
                self.page = browser.Page(self.driver, address)
                self.assertEqual(self.build(), old)
                kept = self.wait_for_worker(old)["mthc-site-" + old]
                # Everything the build lists for use offline (the same build:
                # a copy of the site).
                with open(os.path.join(self.site, "..", "site-files.json")) as f:
                    listed = json.load(f)["offline"]
                for path in listed:
                    if path != "stb-vorbis-LICENSE.txt":
                        self.assertIn("/" + path.lstrip("./"), kept)
                for license_file in ("fflate-LICENSE.txt", "webaudio-tinysynth-LICENSE.txt"):
                    self.assertIn("/" + license_file, kept)

                # The site changes while the page is open: what the page
                # starts from now on (the converters anew, after Clear) is
                # still of its own version.
                new = "v-0123456789ab"
                new_build(site, old, new)
                self.upload(["trio.mid"])
                self.page.run("document.getElementById('clear').click()")
                self.page.wait_until("return document.body.dataset.ready === 'yes'", 60)
                (row,) = self.upload(["trio.mid"])
                self.assertEqual(row["state"], "done")
                self.assertOwnFiles(old)

                # The visitor comes again, and the files it has are a day old:
                # it gets the new version, whole, and the old cache goes.
                self.driver.get("about:blank")
                self.page = browser.Page(self.driver, address)
                self.assertEqual(self.build(), new)
                self.assertEqual(self.page.run("return document.documentElement.dataset.changed"),
                                 "yes")
                self.wait_for_worker(new)
                self.assertOwnFiles(new)
                (row,) = self.upload(["trio.mid"])
                self.assertEqual(row["state"], "done")
                # And on a reload.
                self.driver.refresh()
                self.page = browser.Page(self.driver, address)
                self.assertEqual(self.build(), new)
                self.assertOwnFiles(new)
            # Offline: the new version, from its cache.
            self.page = browser.Page(self.driver, address)
            self.assertEqual(self.build(), new)
            (row,) = self.upload(["trio.mid"])
            self.assertEqual(row["state"], "done")
        self.assertEqual(self.severe_errors(), [])


if __name__ == "__main__":
    unittest.main()
