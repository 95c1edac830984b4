"""The Python package as a till's developer gets it: installed offline with the system's
setuptools, its pytest fixture registered by the installation and used by a till's tests
(till/test_till.py)."""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "..", "python")


class InstalledPackage(unittest.TestCase):
    def setUp(self):
        work = tempfile.TemporaryDirectory(prefix="tauravat-python-")
        self.addCleanup(work.cleanup)
        # A copy: the build leaves its build/ and egg-info next to the sources.
        self.source = shutil.copytree(SOURCE, os.path.join(work.name, "source"),
                                      ignore=shutil.ignore_patterns("build", "*.egg-info",
                                                                    "__pycache__"))
        self.site = os.path.join(work.name, "site")

    def run_quietly(self, *command, **options):
        done = subprocess.run(command, capture_output=True, text=True, **options)
        self.assertEqual(done.returncode, 0, f"{command}\n{done.stdout}\n{done.stderr}")
        return done.stdout

    def test_installs_offline_and_its_fixture_serves_a_tills_tests(self):
        self.run_quietly(sys.executable, "-m", "pip", "install", "--no-build-isolation",
                         "--no-deps", "--no-index", "--disable-pip-version-check", "--quiet",
                         "--target", self.site, self.source)
        installed = sorted(os.path.relpath(p, self.site)
                           for pattern in ("*.py", "py.typed")
                           for p in glob.glob(os.path.join(self.site, "tauravat", pattern)))
        self.assertEqual(installed, [os.path.join("tauravat", name) for name in
                                     ("__init__.py", "_library.py", "_values.py",
                                      "emulator.py", "errors.py", "legacy.py", "printer.py",
                                      "py.typed", "pytest_plugin.py", "receipt.py")])
        (entry_points,) = glob.glob(os.path.join(self.site, "tauravat-*.dist-info",
                                                 "entry_points.txt"))
        with open(entry_points, encoding="utf-8") as f:
            self.assertIn("[pytest11]\ntauravat = tauravat.pytest_plugin", f.read())

        # Only the installed tree is on the path: the fixture comes from the entry point.
        environment = dict(os.environ, PYTHONPATH=self.site, PYTHONDONTWRITEBYTECODE="1")
        output = self.run_quietly(sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                                  os.path.join(HERE, "till"), env=environment,
                                  cwd=os.path.dirname(self.site))
        self.assertRegex(output, r"\b3 passed\b")


if __name__ == "__main__":
    unittest.main()
