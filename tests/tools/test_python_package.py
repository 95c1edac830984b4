"""The Python package as a till's developer gets it: installed offline with the system's
setuptools, its pytest fixture registered by the installation and used by a till's tests
(till/test_till.py)."""

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
        # The modules are proven by the import below; the type marker by nothing else.
        self.assertTrue(os.path.isfile(os.path.join(self.site, "tauravat", "py.typed")))

        # Only the installed tree is on the path: the fixture comes from its entry point.
        environment = dict(os.environ, PYTHONPATH=self.site, PYTHONDONTWRITEBYTECODE="1")
        output = self.run_quietly(sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                                  os.path.join(HERE, "till"), env=environment,
                                  cwd=os.path.dirname(self.site))
        self.assertRegex(output, r"\b2 passed\b")


if __name__ == "__main__":
    unittest.main()
