"""The Python package as pip builds and installs it offline, with nothing but the package's own
build backend: into a bare venv (no setuptools or wheel in it), as a wheel, from a tree with
console scripts; and its types, as mypy --strict reads them."""

import csv
import base64
import hashlib
import io
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

SOURCE = Path(os.environ["PROJECT_DIR"])
VERSION = os.environ["VERSION"]
# Debian's python3 is the one a till has; its venv module brings pip and nothing more.
PYTHON = "/usr/bin/python3" if Path("/usr/bin/python3").exists() else sys.executable


def run(*command, **options):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True, **options)
    if done.returncode != 0:
        raise AssertionError(f"{command} failed ({done.returncode}):\n{done.stdout}\n{done.stderr}")
    return done.stdout


def offline(**more):
    # No index, no cache, no user configuration: what a machine without a network does.
    env = {k: v for k, v in os.environ.items() if not k.startswith(("PYTHON", "PIP_"))}
    return env | {"PIP_NO_INDEX": "1", "PIP_NO_CACHE_DIR": "1", "PIP_CONFIG_FILE": os.devnull,
                  "PIP_DISABLE_PIP_VERSION_CHECK": "1", "PYTHONDONTWRITEBYTECODE": "1"} | more


def tree_files(root):
    return sorted(p.relative_to(root) for p in root.rglob("*") if "__pycache__" not in p.parts)


class OfflineInstall(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="tauravat-pip-"))
        self.addCleanup(shutil.rmtree, self.work)

    def venv(self):
        venv = self.work / "venv"
        run(PYTHON, "-m", "venv", venv)
        # A bare venv: the failure this guards against was setuptools' missing bdist_wheel.
        missing = run(venv / "bin/python", "-c",
                      "import importlib.util as u; print(u.find_spec('wheel') is None)")
        self.assertEqual(missing.strip(), "True", "the venv must not have wheel")
        return venv

    def test_the_readmes_command_installs_into_a_bare_venv(self):
        venv = self.venv()
        before = tree_files(SOURCE / "python")
        readme = (SOURCE / "python/README.md").read_text()
        command = next(line.strip() for line in readme.splitlines()
                       if line.strip().startswith("pip install"))
        command = command.split("#")[0].split()
        self.assertIn("--no-index", command)
        run(venv / "bin/python", "-m", *command, cwd=SOURCE, env=offline())
        self.assertEqual(tree_files(SOURCE / "python"), before, "the build wrote into the tree")

        probe = ("import importlib.metadata as m, tauravat; "
                 "print(tauravat.__version__, m.version('tauravat')); "
                 "print([e.value for e in m.entry_points(group='pytest11')]); "
                 "print(tauravat.__file__)")
        lines = run(venv / "bin/python", "-c", probe, cwd=self.work, env=offline()).splitlines()
        self.assertEqual(lines[0], f"{VERSION} {VERSION}")
        self.assertEqual(lines[1], "['tauravat.pytest_plugin']")
        self.assertTrue(lines[2].startswith(str(venv)), lines[2])
        listed = run(venv / "bin/python", "-m", "pip", "list", env=offline())
        self.assertRegex(listed, rf"(?m)^tauravat\s+{VERSION}$")

    def test_the_wheel_is_complete_and_its_record_true(self):
        run(PYTHON, "-m", "pip", "wheel", "--no-deps", "-w", self.work, SOURCE / "python",
            env=offline())
        wheel = self.work / f"tauravat-{VERSION}-py3-none-any.whl"
        with zipfile.ZipFile(wheel) as archive:
            names = set(archive.namelist())
            info = f"tauravat-{VERSION}.dist-info"
            metadata = archive.read(f"{info}/METADATA").decode()
            for field in (f"Version: {VERSION}", "Name: tauravat", "Summary: ", "License: MIT",
                          "Requires-Python: >=3.9", "Description-Content-Type: text/markdown",
                          "Classifier: Framework :: Pytest", "# tauravat for Python"):
                self.assertIn(field, metadata)
            self.assertIn("[pytest11]\ntauravat = tauravat.pytest_plugin",
                          archive.read(f"{info}/entry_points.txt").decode())
            self.assertIn("Root-Is-Purelib: true", archive.read(f"{info}/WHEEL").decode())
            for module in ("__init__.py", "py.typed", "_version.py", "emulator.py", "legacy.py",
                           "pytest_plugin.py"):
                self.assertIn(f"tauravat/{module}", names)
            rows = list(csv.reader(io.StringIO(archive.read(f"{info}/RECORD").decode())))
            self.assertEqual({row[0] for row in rows}, names)
            for name, digest, size in rows:
                if name.endswith("RECORD"):
                    continue
                content = archive.read(name)
                expected = base64.urlsafe_b64encode(hashlib.sha256(content).digest()).rstrip(b"=")
                self.assertEqual((digest, int(size)), (f"sha256={expected.decode()}", len(content)),
                                 name)

    def test_console_scripts_and_the_version_come_from_the_project(self):
        # A copy of the tree under a project of another version, with a console script.
        project = self.work / "project"
        shutil.copytree(SOURCE / "python", project / "python",
                        ignore=shutil.ignore_patterns("__pycache__"))
        (project / "CMakeLists.txt").write_text("project(tauravat VERSION 3.4.5 LANGUAGES C)\n")
        (project / "python/tauravat/_hello.py").write_text(
            "def main():\n    print('hello from the script')\n    return 3\n")
        # The project already has a scripts table: TOML takes the script only inside it.
        pyproject = project / "python/pyproject.toml"
        text = pyproject.read_text()
        self.assertIn("\n[project.scripts]\n", text)
        pyproject.write_text(text.replace(
            "\n[project.scripts]\n",
            '\n[project.scripts]\ntauravat-hello = "tauravat._hello:main"\n', 1))
        venv = self.venv()
        run(venv / "bin/python", "-m", "pip", "install", project / "python", env=offline())
        hello = subprocess.run([venv / "bin/tauravat-hello"], capture_output=True, text=True,
                               env=offline())
        self.assertEqual((hello.returncode, hello.stdout), (3, "hello from the script\n"))
        self.assertEqual(run(venv / "bin/python", "-c", "import tauravat; print(tauravat.__version__)",
                             cwd=self.work, env=offline()).strip(), "3.4.5")

        # Metadata it does not know how to write is refused, not dropped.
        with open(project / "python/pyproject.toml", "a") as pyproject:
            pyproject.write('\n[project.import-names]\nx = "y"\n')
        refused = subprocess.run([venv / "bin/python", "-m", "pip", "install", project / "python"],
                                 capture_output=True, text=True, env=offline())
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("import-names", refused.stdout + refused.stderr)


class Types(unittest.TestCase):
    def test_the_whole_package_passes_mypy_strict(self):
        found = subprocess.run([PYTHON, "-c", "import mypy"], capture_output=True)
        if found.returncode != 0:
            self.skipTest("mypy is not installed (python3-mypy)")
        done = subprocess.run(
            [PYTHON, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
             "tauravat", "build_backend/tauravat_build.py"],
            capture_output=True, text=True, cwd=SOURCE / "python")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)


if __name__ == "__main__":
    unittest.main()
