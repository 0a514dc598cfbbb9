"""What the browser tests beyond page_test.py share: the built site served
on this machine, one headless Chromium for a test class (every sound that
leaves the page tapped, as page_test.AUDIO_TAP does), a fresh page for each
test, and the files that make_test_files.py made.

Needs, in the environment: MTHC_SITE, MTHC_TEST_FILES and MTHC_ARTIFACTS,
as page_test.py.
"""

import contextlib
import glob
import os
import unittest

import browser
import page_test

FILES = os.environ.get("MTHC_TEST_FILES", "")
INPUTS = os.path.join(FILES, "inputs")


def build_folder(site):
    """The folder of the site's build (v-<hash>), where its scripts are."""
    (folder,) = glob.glob(os.path.join(site, "v-*"))
    return folder


class PageCase(unittest.TestCase):
    width = 1280

    @classmethod
    def setUpClass(cls):
        cls.resources = contextlib.ExitStack()
        cls.site = os.environ["MTHC_SITE"]
        cls.address = cls.resources.enter_context(browser.serve(cls.site))
        cls.driver = cls.resources.enter_context(browser.chromium(width=cls.width))
        cls.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                   {"source": page_test.AUDIO_TAP})

    @classmethod
    def tearDownClass(cls):
        cls.resources.close()

    def setUp(self):
        self.page = browser.Page(self.driver, self.address)

    def severe_errors(self):
        return [entry for entry in self.driver.get_log("browser") if entry["level"] == "SEVERE"]

    def upload(self, paths, timeout=300):
        """Picks `paths` (in INPUTS unless absolute) and waits until their rows
        end; returns the new rows."""
        before = len(self.page.rows())
        self.page.upload([os.path.join(INPUTS, path) for path in paths])
        return self.page.wait_for_rows(before + len(paths), timeout=timeout)[before:]

    def wait_for_songs(self, timeout=120):
        """Until every row that converted shows its song (its Play button),
        and its roll is drawn."""
        self.page.wait_until("""
          return [...document.querySelectorAll('#results > li')].every((r) =>
            r.dataset.state !== 'done' || r.querySelector('.notes').textContent === '0' ||
            (r.querySelector('button.play') && r.querySelector('canvas[data-drawn]')));""",
                             timeout)

    def screenshot(self, name):
        artifacts = os.environ["MTHC_ARTIFACTS"]
        os.makedirs(artifacts, exist_ok=True)
        self.driver.save_screenshot(os.path.join(artifacts, name))
