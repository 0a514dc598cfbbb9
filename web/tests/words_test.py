"""The page's words are keyed by the library's machine names: every name the
library has (printed by tests/tools/machine_names.cpp, run under Node.js)
has words in words.js, which make a sentence from any fact; and what the
page shows for a file uses them.

Needs MTHC_NODE and MTHC_NAMES_TOOL beside what page_case.py needs.
"""

import os
import subprocess
import unittest

import page_case

# Which table of words.js each group of names belongs in.
TABLES = {"error": "refusals", "track_error": "trackFaults", "change": "changes",
          "pack_warning": "changes"}

# A fact with every field any fact has, for a sentence from every entry. Its
# "fault" serves as a track's fault ({name, offset}) and as the fact of one
# (a track_fault, what a refusal of packing carries).
EVERY_FIELD = {
    "count": 2, "tracks": [1, 2], "track": 1, "value": 7, "offset": 12, "chunk_count": 3,
    "tag": "XFIL", "format": 4, "size": 70000000, "max_track_count": 65535,
    "max_track_with_data": 65534, "max_track_data": 16709879, "block": 3, "declared": 5,
    "decoded": 9, "present": 2, "record": 4, "crosses_block_end": False, "cut_short": True,
    "problem": "format", "error": "not_midi",
    "fault": {"kind": "track_fault", "track": 1, "name": "undefined_status", "offset": 12,
              "fault": {"name": "undefined_status", "offset": 12}},
}

SENTENCES = """
  const done = arguments[arguments.length - 1];
  const [names, fact] = [arguments[0], arguments[1]];
  import(new URL(document.documentElement.dataset.build + '/words.js', location.href)).then((w) => {
    const found = {};
    for (const [table, name] of names) {
      const words = w.WORDS[table][name];
      try {
        found[table + ' ' + name] = words === undefined ? null
            : typeof words === 'string' ? words : words({...fact, kind: name});
      } catch (error) {
        found[table + ' ' + name] = 'undefined: ' + error;
      }
    }
    done(found);
  }).catch((error) => done(String(error)));"""


class WordsTest(page_case.PageCase):
    def names(self):
        run = subprocess.run([os.environ["MTHC_NODE"], os.environ["MTHC_NAMES_TOOL"]],
                             capture_output=True, text=True, check=True)
        return [line.split(" ", 1) for line in run.stdout.splitlines()]

    def test_every_name_of_the_library_has_words(self):
        names = self.names()
        groups = {group for group, _ in names}
        self.assertEqual(groups, set(TABLES))
        # Names a test knows the library has: the list is whole.
        for known in [["error", "missing_blocks"], ["error", "too_large"],
                      ["track_error", "undefined_status"], ["change", "end_of_track_added"],
                      ["pack_warning", "empty_track"]]:
            self.assertIn(known, names)
        wanted = [[TABLES[group], name] for group, name in names]
        sentences = self.driver.execute_async_script(SENTENCES, wanted, EVERY_FIELD)
        self.assertIsInstance(sentences, dict, sentences)
        for key, sentence in sentences.items():
            with self.subTest(name=key):
                self.assertIsNotNone(sentence, "no words for " + key)
                self.assertGreater(len(sentence), 10)
                for slip in ("undefined", "NaN", "[object", "_"):
                    self.assertNotIn(slip, sentence)

        # A file's row says it in those words: a warning of the tracks without
        # data (the glue names them as the library does), and a track's fault
        # in the legend by its name.
        (empty,) = self.upload(["with-empty-track.mid"])
        self.assertEqual(len(empty["warnings"]), 1)
        self.assertIn("Track 3 is empty", empty["warnings"][0])
        (bad,) = self.upload(["bad-status.mid"])
        self.assertIn("a message of a kind that does not exist", bad["warnings"][0])
        self.wait_for_songs()
        legend = self.page.run(self.page.row("bad-status.mid") +
                               "return row.querySelector('.legend').textContent")
        self.assertIn("a message of a kind that does not exist", legend)
        self.assertNotIn("undefined status byte", legend)


if __name__ == "__main__":
    unittest.main()
