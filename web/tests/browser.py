"""The page in headless Chromium, served by a static file server on this
machine, for the tests and the figures."""

import base64
import contextlib
import functools
import http.server
import json
import os
import shutil
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

CHROMEDRIVER = "/usr/bin/chromedriver"


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def serve(directory):
    """A static file server of `directory` on a free port of 127.0.0.1;
    yields its address."""
    handler = functools.partial(QuietHandler, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d/" % server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()


@contextlib.contextmanager
def chromium(width=1100, height=900):
    profile = tempfile.mkdtemp(prefix="mthc-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--user-data-dir=" + profile,
                     "--window-size=%d,%d" % (width, height),
                     # Sound without a click first, and the heap to the byte.
                     "--autoplay-policy=no-user-gesture-required",
                     "--enable-precise-memory-info"):
        options.add_argument(argument)
    # What the page has the browser download lands in the profile.
    downloads = os.path.join(profile, "downloads")
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.downloads = downloads
    driver.set_script_timeout(120)
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


class Page:
    """The page loaded in a browser, and what a person does with it."""

    def __init__(self, driver, address):
        self.driver = driver
        driver.get(address)
        self.wait_until("return document.body.dataset.ready === 'yes' ||"
                        " !document.getElementById('trouble').hidden", 60)

    def run(self, script, *args):
        return self.driver.execute_script(script, *args)

    def set_strict(self, on):
        box = self.driver.find_element(By.ID, "strict")
        if box.is_selected() != on:
            box.click()

    def upload(self, paths):
        """Picks `paths` in the file input, as one choice."""
        self.driver.find_element(By.ID, "files").send_keys("\n".join(os.path.abspath(p) for p in paths))

    def wait_until(self, script, timeout=300, *args):
        """Waits until `script` returns something true, and returns it."""
        end = time.monotonic() + timeout
        while True:
            value = self.run(script, *args)
            if value:
                return value
            if time.monotonic() > end:
                raise TimeoutError("the page did not get there in %d s: %s" % (timeout, script))
            time.sleep(0.05)

    def wait_for_rows(self, count, timeout=300):
        """Waits until `count` rows are done, failed or cancelled; returns
        them in order."""
        self.wait_until(
            "const rows = document.querySelectorAll('#results > li');"
            "return rows.length >= arguments[0] &&"
            " [...rows].every(r => !['waiting', 'working'].includes(r.dataset.state));",
            timeout, count)
        return self.rows()

    def row(self, name):
        """The script of the row of file `name`, for run()."""
        return ("const row = [...document.querySelectorAll('#results > li')]"
                ".find(r => r.dataset.name === %s);" % json.dumps(name))

    def rows(self):
        return self.run("""
          return [...document.querySelectorAll('#results > li')].map(r => {
            const text = (s) => { const n = r.querySelector(s); return n ? n.textContent : null; };
            const link = r.querySelector('a.download');
            return {
              name: r.dataset.name, state: r.dataset.state, progress: r.dataset.progress || null,
              status: text('.status'), asIs: !!r.querySelector('button.as-is'),
              tracks: text('.tracks'), duration: text('.duration'), notes: text('.notes'),
              errors: [...r.querySelectorAll('.messages .error')].map(n => n.textContent),
              warnings: [...r.querySelectorAll('.messages .warning')].map(n => n.textContent),
              href: link ? link.href : null, download: link ? link.download : null,
            };
          });""")

    def fetch(self, href):
        """The bytes behind a link of the page (a blob: URL)."""
        url = self.driver.execute_async_script("""
          const done = arguments[arguments.length - 1];
          fetch(arguments[0]).then(r => r.blob()).then(blob => {
            const reader = new FileReader();
            reader.onload = () => done(reader.result);
            reader.onerror = () => done('error: ' + reader.error);
            reader.readAsDataURL(blob);
          }, error => done('error: ' + error));""", href)
        if not url.startswith("data:"):
            raise AssertionError("could not read %s: %s" % (href, url))
        return base64.b64decode(url.split(",", 1)[1])
