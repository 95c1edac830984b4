"""The Python package installed offline with the system's setuptools, its pytest fixture
registered by the installation and serving a till's tests (till/test_till.py)."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "..", "python")


class InstalledPackage(unittest.TestCase):
    def run_quietly(self, *command, **options):
        done = subprocess.run(command, capture_output=True, text=True, **options)
        self.assertEqual(done.returncode, 0, f"{command}\n{done.stdout}\n{done.stderr}")
        return done.stdout

    def test_installs_offline_and_its_fixture_serves_a_tills_tests(self):
        with tempfile.TemporaryDirectory(prefix="tauravat-python-") as work:
            # A copy: the build leaves its build/ and egg-info next to the sources.
            source = shutil.copytree(SOURCE, os.path.join(work, "source"), ignore=(
                shutil.ignore_patterns("build", "*.egg-info", "__pycache__")))
            site = os.path.join(work, "site")
            self.run_quietly(sys.executable, "-m", "pip", "install", "--no-build-isolation",
                             "--no-deps", "--no-index", "--disable-pip-version-check", "--quiet",
                             "--target", site, source)
            # The modules are proven by the import below; the type marker by nothing else.
            self.assertTrue(os.path.isfile(os.path.join(site, "tauravat", "py.typed")))
            # Only the installed tree is on the path: the fixture comes from its entry point.
            output = self.run_quietly(
                sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                os.path.join(HERE, "till"), cwd=work,
                env=dict(os.environ, PYTHONPATH=site, PYTHONDONTWRITEBYTECODE="1"))
            self.assertRegex(output, r"\b2 passed\b")


if __name__ == "__main__":
    unittest.main()
