"""A game's music folder, subfolders and all: through the folder input, and
dropped (walked through the entries a drop gives). Each row shows the path
of its file from the folder chosen; "Download all" keeps the folders in the
zip archive, every part of every path made safe."""

import base64
import io
import os
import shutil
import tempfile
import unittest
import zipfile

from selenium.webdriver.common.by import By

import page_case

# The folder as the test lays it out: path -> the input it is a copy of.
TREE = {
    "Game/title.mid": "trio.mid",
    "Game/Level 1/stage.mthc": "solo.mthc",
    "Game/Level 1/Boss: the end/boss.mid": "solo.midi",
    "Game/con/theme.mid": "trio.mid",
    "Game/.hidden.mid": "trio.mid",
}
# What the zip archive holds, for the inputs' outputs.
ZIPPED = {
    "Game/title.mthc": "Game/title.mid",
    "Game/Level 1/stage.mid": "Game/Level 1/stage.mthc",
    "Game/Level 1/Boss_ the end/boss.mthc": "Game/Level 1/Boss: the end/boss.mid",
    "Game/_con/theme.mthc": "Game/con/theme.mid",
}

# A drop of the folder, as a browser hands it over: an entry for the folder,
# whose reader gives its entries a few at a time, as browsers do.
DROP = """
  const [paths, contents] = arguments;
  const file = (name, i) => {
    const bytes = Uint8Array.from(atob(contents[i]), (c) => c.charCodeAt(0));
    return new File([bytes], name);
  };
  const folder = (name) => ({name, isFile: false, isDirectory: true, children: [],
    createReader() {
      const rest = [...this.children];
      return {readEntries: (done) => setTimeout(() => done(rest.splice(0, 2)), 0)};
    }});
  const top = folder('Game');
  paths.forEach((path, i) => {
    const parts = path.split('/').slice(1);
    let at = top;
    for (const part of parts.slice(0, -1)) {
      let next = at.children.find((c) => c.name === part);
      if (!next) at.children.push(next = folder(part));
      at = next;
    }
    const name = parts[parts.length - 1];
    at.children.push({name, isFile: true, isDirectory: false,
                      file: (done) => done(file(name, i))});
  });
  const transfer = {files: [], items: [{kind: 'file', webkitGetAsEntry: () => top}]};
  const drop = document.getElementById('drop');
  const event = new Event('drop', {bubbles: true, cancelable: true});
  Object.defineProperty(event, 'dataTransfer', {value: transfer});
  drop.dispatchEvent(event);"""


class FolderTest(page_case.PageCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.folder = cls.resources.enter_context(tempfile.TemporaryDirectory())
        for path, source in TREE.items():
            os.makedirs(os.path.dirname(os.path.join(cls.folder, path)), exist_ok=True)
            shutil.copy(os.path.join(page_case.INPUTS, source), os.path.join(cls.folder, path))

    def rows_by_path(self, count):
        self.page.wait_for_rows(count)
        return {r[0] + r[1]: r[2:] for r in self.page.run("""
          return [...document.querySelectorAll('#results > li')].map((r) => [
            r.dataset.folder, r.dataset.name, r.dataset.state,
            r.querySelector('.name').textContent,
            r.querySelector('a.download') && r.querySelector('a.download').href]);""")}

    def check_zip(self, rows):
        self.driver.find_element(By.ID, "download-all").click()
        href = self.page.wait_until("const a = document.getElementById('zip-link');"
                                    "return a && a.href;")
        archive = zipfile.ZipFile(io.BytesIO(self.page.fetch(href)))
        self.assertEqual(sorted(archive.namelist()), sorted(ZIPPED))
        for entry, source in ZIPPED.items():
            self.assertEqual(archive.read(entry), self.page.fetch(rows[source][2]), entry)
            for part in entry.split("/"):
                self.assertNotIn(part, ("", ".", ".."))
                self.assertNotIn("\\", part)
                self.assertNotIn(":", part)

    def test_a_folder_picked(self):
        self.driver.find_element(By.ID, "folder").send_keys(os.path.join(self.folder, "Game"))
        rows = self.rows_by_path(len(ZIPPED))
        # In the order of their paths, hidden files left out.
        self.assertEqual(sorted(rows), sorted(ZIPPED.values()))
        for path, (state, title, _) in rows.items():
            self.assertEqual(state, "done", path)
            # The row shows the folder above the name.
            self.assertEqual(title, path)
        self.check_zip(rows)

    def test_a_folder_dropped(self):
        paths = sorted(TREE)
        contents = []
        for path in paths:
            with open(os.path.join(self.folder, path), "rb") as f:
                contents.append(base64.b64encode(f.read()).decode("ascii"))
        self.page.run(DROP, paths, contents)
        rows = self.rows_by_path(len(ZIPPED))
        self.assertEqual(sorted(rows), sorted(ZIPPED.values()))
        self.assertEqual(list(rows), sorted(rows, key=lambda p: p.lower()))
        self.check_zip(rows)


if __name__ == "__main__":
    unittest.main()
