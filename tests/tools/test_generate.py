"""python/generate.py on a copy of the sources: the committed binding file is reported stale
when the header or the export list moves on, and a listed export without a declaration
stops it. Environment: PROJECT_DIR."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PROJECT = os.environ["PROJECT_DIR"]
FILES = [os.path.join("driver", "include", "tauravat.h"),
         os.path.join("driver", "src", "export_list.inc"),
         os.path.join("python", "tauravat", "_header.py")]


class Generator(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.root = scratch.name
        for name in FILES:
            os.makedirs(os.path.dirname(os.path.join(self.root, name)), exist_ok=True)
            shutil.copy(os.path.join(PROJECT, name), os.path.join(self.root, name))

    def run_generator(self, *options):
        return subprocess.run([sys.executable, os.path.join(PROJECT, "python", "generate.py"),
                               "--root", self.root, *options], capture_output=True, text=True)

    def edit(self, name, old, new):
        path = os.path.join(self.root, name)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.assertIn(old, text)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new, 1))

    def test_a_change_to_either_source_makes_the_committed_file_stale(self):
        self.assertEqual(self.run_generator("--check").returncode, 0)
        changes = [
            (FILES[0], "TAURAVAT_E_INTERNAL = 999", "TAURAVAT_E_NEW = 246,\n  TAURAVAT_E_INTERNAL = 999"),
            (FILES[0], "#define TAURAVAT_RATE_RESERVED 25500u", "#define TAURAVAT_RATE_RESERVED 25600u"),
            (FILES[0], "tauravat_open_drawer(tauravat_printer* printer,",
             "tauravat_open_drawer(tauravat_printer* printer, int64_t extra,"),
            (FILES[1], "TAURAVAT_C_EXPORT(tauravat_close, 4)\n", ""),
        ]
        for name, old, new in changes:
            with self.subTest(change=new):
                self.setUp()
                self.edit(name, old, new)
                checked = self.run_generator("--check")
                self.assertEqual(checked.returncode, 1, checked.stderr)
                self.assertIn("stale", checked.stderr)
                self.assertEqual(self.run_generator().returncode, 0)
                self.assertEqual(self.run_generator("--check").returncode, 0)

    def test_a_listed_export_the_header_does_not_declare_is_refused(self):
        self.edit(FILES[1], "TAURAVAT_C_EXPORT(tauravat_close, 4)\n",
                  "TAURAVAT_C_EXPORT(tauravat_close, 4)\nTAURAVAT_C_EXPORT(tauravat_missing, 4)\n")
        checked = self.run_generator()
        self.assertEqual(checked.returncode, 2)
        self.assertIn("tauravat_missing", checked.stderr)


if __name__ == "__main__":
    unittest.main()
