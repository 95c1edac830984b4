"""The build backend of the tauravat package (PEP 517 and PEP 660), standard library only.

pip builds the package with it from this tree without fetching anything, so
`pip install --no-index ./python` works offline in a bare `python3 -m venv` (no setuptools,
no wheel). The version is the project's, read from the top CMakeLists.txt (or, in an
sdist, from its PKG-INFO), and goes into the package as tauravat/_version.py.

The same files are installed by CMake (the Debian package) through the command line:

    python3 tauravat_build.py install --site DIR [--scripts DIR --interpreter PATH]

which writes the package, its .dist-info (without RECORD: the system's package manager
owns the files) and a script per console entry point.
"""

from __future__ import annotations

import argparse
import base64
import csv
import hashlib
import io
import os
import re
import shutil
import sys
import tarfile
import time
import zipfile
from pathlib import Path
from typing import Any, Dict, List, Optional, Tuple

if sys.version_info >= (3, 11):
    import tomllib
else:  # pragma: no cover - pip brings a copy of the same parser
    from pip._vendor import tomli as tomllib

TREE = Path(__file__).resolve().parent.parent  # python/
BACKEND_DIR = Path(__file__).resolve().parent
GENERATED_VERSION = "_version.py"

# [project] keys this backend turns into metadata; any other key is refused rather than
# silently left out of the wheel.
KNOWN_KEYS = {"name", "version", "dynamic", "description", "readme", "requires-python",
              "license", "authors", "maintainers", "keywords", "classifiers", "urls",
              "dependencies", "optional-dependencies", "scripts", "gui-scripts",
              "entry-points"}

Files = List[Tuple[str, bytes]]  # (path inside the wheel, content)


class BuildError(Exception):
    pass


# ---- The PEP 517 and PEP 660 hooks -----------------------------------------------------

def get_requires_for_build_wheel(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def get_requires_for_build_editable(
        config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str,
                                     config_settings: Optional[Dict[str, Any]] = None) -> str:
    project = Project.read()
    for name, content in project.dist_info_files(wheel=True):
        path = Path(metadata_directory) / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    return project.dist_info


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory: str, config_settings: Optional[Dict[str, Any]] = None,
                metadata_directory: Optional[str] = None) -> str:
    project = Project.read()
    return project.write_wheel(Path(wheel_directory), project.package_files())


def build_editable(wheel_directory: str, config_settings: Optional[Dict[str, Any]] = None,
                   metadata_directory: Optional[str] = None) -> str:
    # The package stays in this tree; a .pth file puts the tree on the path.
    project = Project.read()
    pth = (str(TREE) + "\n").encode()
    return project.write_wheel(Path(wheel_directory), [(f"_{project.name}_editable.pth", pth)])


def build_sdist(sdist_directory: str, config_settings: Optional[Dict[str, Any]] = None) -> str:
    project = Project.read()
    base = f"{project.name}-{project.version}"
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w:gz", format=tarfile.PAX_FORMAT) as archive:
        def add(name: str, content: bytes) -> None:
            info = tarfile.TarInfo(f"{base}/{name}")
            info.size, info.mtime, info.mode = len(content), _epoch(), 0o644
            archive.addfile(info, io.BytesIO(content))
        add("PKG-INFO", project.metadata())
        add("pyproject.toml", (TREE / "pyproject.toml").read_bytes())
        if project.readme_file:
            add(project.readme_file, (TREE / project.readme_file).read_bytes())
        for path in sorted(BACKEND_DIR.glob("*.py")):
            add(f"{BACKEND_DIR.name}/{path.name}", path.read_bytes())
        for name, content in project.package_files(generated=False):
            add(name, content)
    filename = f"{base}.tar.gz"
    Path(sdist_directory, filename).write_bytes(out.getvalue())
    return filename


# ---- The project as pyproject.toml describes it ----------------------------------------

class Project:
    def __init__(self, table: Dict[str, Any], version: str) -> None:
        unknown = set(table) - KNOWN_KEYS
        if unknown:
            raise BuildError(f"pyproject.toml: [project] keys this backend does not know: "
                             f"{', '.join(sorted(unknown))}")
        self.table = table
        self.name: str = table["name"]
        self.version = version
        self.package = TREE / self.name
        self.dist_info = f"{_normalise(self.name)}-{version}.dist-info"
        readme = table.get("readme")
        self.readme_file: Optional[str] = readme if isinstance(readme, str) else (
            readme.get("file") if isinstance(readme, dict) else None)

    @staticmethod
    def read() -> "Project":
        table = tomllib.loads((TREE / "pyproject.toml").read_text(encoding="utf-8"))["project"]
        if "version" in table:
            version = str(table["version"])
        elif "version" in table.get("dynamic", []):
            version = project_version()
        else:
            raise BuildError("pyproject.toml: [project] has neither version nor dynamic version")
        return Project(table, version)

    def package_files(self, generated: bool = True) -> Files:
        if not (self.package / "__init__.py").is_file():
            raise BuildError(f"no package {self.package}")
        files: Files = []
        for path in sorted(self.package.rglob("*")):
            relative = path.relative_to(TREE).as_posix()
            if (path.is_dir() or "__pycache__" in path.parts or path.suffix in (".pyc", ".pyo")
                    or relative == f"{self.name}/{GENERATED_VERSION}"):
                continue
            files.append((relative, path.read_bytes()))
        if generated:
            files.append((f"{self.name}/{GENERATED_VERSION}",
                          f'"""Written by the build."""\n\nversion = "{self.version}"\n'.encode()))
        return files

    def metadata(self) -> bytes:
        t = self.table
        lines = ["Metadata-Version: 2.1", f"Name: {self.name}", f"Version: {self.version}"]
        if "description" in t:
            lines.append(f"Summary: {t['description']}")
        if "requires-python" in t:
            lines.append(f"Requires-Python: {t['requires-python']}")
        license = t.get("license")
        if isinstance(license, dict):
            text = license.get("text") or (TREE / license["file"]).read_text(encoding="utf-8")
            lines.append("License: " + text.strip().replace("\n", "\n        "))
        for role, field in (("authors", "Author"), ("maintainers", "Maintainer")):
            named = [p["name"] for p in t.get(role, []) if "name" in p and "email" not in p]
            mailed = [f'{p["name"]} <{p["email"]}>' if "name" in p else p["email"]
                      for p in t.get(role, []) if "email" in p]
            if named:
                lines.append(f"{field}: {', '.join(named)}")
            if mailed:
                lines.append(f"{field}-email: {', '.join(mailed)}")
        if t.get("keywords"):
            lines.append(f"Keywords: {','.join(t['keywords'])}")
        lines += [f"Classifier: {c}" for c in t.get("classifiers", [])]
        lines += [f"Project-URL: {label}, {url}" for label, url in t.get("urls", {}).items()]
        lines += [f"Requires-Dist: {d}" for d in t.get("dependencies", [])]
        for extra, requirements in t.get("optional-dependencies", {}).items():
            lines.append(f"Provides-Extra: {extra}")
            for requirement in requirements:
                requirement, _, marker = requirement.partition(";")
                marker = f"({marker.strip()}) and " if marker.strip() else ""
                lines.append(f'Requires-Dist: {requirement.strip()}; {marker}extra == "{extra}"')
        body = ""
        if self.readme_file:
            kind = {".md": "text/markdown", ".rst": "text/x-rst"}.get(
                Path(self.readme_file).suffix, "text/plain")
            lines.append(f"Description-Content-Type: {kind}")
            body = "\n" + (TREE / self.readme_file).read_text(encoding="utf-8")
        return ("\n".join(lines) + "\n" + body).encode("utf-8")

    def entry_points(self) -> Dict[str, Dict[str, str]]:
        groups: Dict[str, Dict[str, str]] = {}
        for group, table in (("console_scripts", self.table.get("scripts", {})),
                             ("gui_scripts", self.table.get("gui-scripts", {}))):
            if table:
                groups[group] = dict(table)
        for group, table in self.table.get("entry-points", {}).items():
            groups.setdefault(group, {}).update(table)
        return groups

    def dist_info_files(self, wheel: bool) -> Files:
        d = self.dist_info
        files: Files = [(f"{d}/METADATA", self.metadata()),
                        (f"{d}/top_level.txt", f"{self.name}\n".encode())]
        groups = self.entry_points()
        if groups:
            text = "".join(f"[{group}]\n" + "".join(f"{k} = {v}\n" for k, v in items.items())
                           + "\n" for group, items in groups.items())
            files.append((f"{d}/entry_points.txt", text.encode()))
        if wheel:
            files.append((f"{d}/WHEEL", ("Wheel-Version: 1.0\nGenerator: tauravat_build\n"
                                         "Root-Is-Purelib: true\nTag: py3-none-any\n").encode()))
        return files

    def write_wheel(self, directory: Path, files: Files) -> str:
        files = files + self.dist_info_files(wheel=True)
        record = io.StringIO()
        writer = csv.writer(record, lineterminator="\n")
        for name, content in files:
            digest = base64.urlsafe_b64encode(hashlib.sha256(content).digest()).rstrip(b"=")
            writer.writerow([name, f"sha256={digest.decode()}", len(content)])
        writer.writerow([f"{self.dist_info}/RECORD", "", ""])
        files.append((f"{self.dist_info}/RECORD", record.getvalue().encode()))

        filename = f"{_normalise(self.name)}-{self.version}-py3-none-any.whl"
        stamp = time.gmtime(max(_epoch(), 315532800))[:6]  # a zip file begins in 1980
        with zipfile.ZipFile(directory / filename, "w", zipfile.ZIP_DEFLATED) as wheel:
            for name, content in files:
                info = zipfile.ZipInfo(name, date_time=stamp)
                info.external_attr = 0o644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                wheel.writestr(info, content)
        return filename

    def install(self, site: Path, scripts: Optional[Path], interpreter: str) -> List[Path]:
        """Writes the package and its .dist-info into `site` and the console scripts into
        `scripts`; returns what it wrote."""
        written = []
        stale = site / self.name
        if stale.is_dir():
            shutil.rmtree(stale)
        for old in site.glob(f"{_normalise(self.name)}-*.dist-info"):
            shutil.rmtree(old)
        for name, content in self.package_files() + self.dist_info_files(wheel=False) + [
                (f"{self.dist_info}/INSTALLER", b"cmake\n")]:
            written.append(_write(site / name, content, 0o644))
        if scripts is not None:
            for script, target in self.entry_points().get("console_scripts", {}).items():
                written.append(_write(scripts / script, _script(interpreter, target), 0o755))
        return written


def project_version() -> str:
    """The project's version: the top CMakeLists.txt's project(), or in an unpacked sdist its
    PKG-INFO."""
    cmake = TREE.parent / "CMakeLists.txt"
    if cmake.is_file():
        found = re.search(r"\bproject\(\s*\w+\s+VERSION\s+([0-9][0-9.]*)",
                          cmake.read_text(encoding="utf-8"))
        if not found:
            raise BuildError(f"{cmake}: no project(... VERSION x.y.z)")
        return found.group(1)
    pkg_info = TREE / "PKG-INFO"
    if pkg_info.is_file():
        for line in pkg_info.read_text(encoding="utf-8").splitlines():
            if line.startswith("Version: "):
                return line.split(" ", 1)[1].strip()
    raise BuildError(f"no version: neither {cmake} nor {pkg_info} exists")


def _script(interpreter: str, target: str) -> bytes:
    module, _, attribute = target.partition(":")
    top, _, rest = attribute.strip().partition(".")
    call = f"{top}.{rest}" if rest else top
    return (f"#!{interpreter}\nimport sys\n\nfrom {module.strip()} import {top}\n\n"
            f"if __name__ == \"__main__\":\n    sys.exit({call}())\n").encode()


def _write(path: Path, content: bytes, mode: int) -> Path:
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content)
    path.chmod(mode)
    return path


def _normalise(name: str) -> str:
    return re.sub(r"[-_.]+", "_", name).lower()


def _epoch() -> int:
    # Reproducible archives: the time stamp the build asks for, or a fixed one.
    return int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))


def _main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description="Installs the tauravat package (for CMake)")
    commands = parser.add_subparsers(dest="command", required=True)
    install = commands.add_parser("install")
    install.add_argument("--site", type=Path, required=True, help="the site-packages directory")
    install.add_argument("--scripts", type=Path, help="where console scripts go")
    install.add_argument("--interpreter", default=sys.executable,
                         help="the scripts' Python (default: this one)")
    commands.add_parser("version")
    arguments = parser.parse_args(argv)
    try:
        project = Project.read()
        if arguments.command == "version":
            print(project.version)
        else:
            project.install(arguments.site, arguments.scripts, arguments.interpreter)
    except (BuildError, OSError, KeyError) as error:
        print(f"tauravat_build: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(_main())
