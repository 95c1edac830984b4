"""The Debian packages built by cpack, read with dpkg-deb, checked with lintian, and used as
Debian's python3 and a CMake project would use them."""

import gzip
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

BUILD = Path(os.environ["BUILD_DIR"])
WORK = Path(os.environ["WORK_DIR"])
SOURCE = Path(os.environ["SOURCE_DIR"])
VERSION = os.environ["VERSION"]
WITH_TAURASW = os.environ.get("WITH_TAURASW") == "1"
WITH_SERVICE = os.environ.get("WITH_SERVICE") == "1"

PACKAGES = ["libtauravat10", "libtauravat-dev", "tauravat-tools", "python3-tauravat"] + (
    ["taurasw"] if WITH_TAURASW else []) + (["tauravatd"] if WITH_SERVICE else [])


def run(*command, **options):
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, command))} failed ({result.returncode}):\n"
                             f"{result.stdout}\n{result.stderr}")
    return result.stdout


def multiarch():
    return run("dpkg-architecture", "-qDEB_HOST_MULTIARCH").strip()


def imported_from(python, **variables):
    # Where `python` finds tauravat, with no PYTHON* variable but `variables`.
    env = {k: v for k, v in os.environ.items() if not k.startswith("PYTHON")} | variables
    return run(python, "-c", "import tauravat; print(tauravat.__file__)", env=env, cwd=WORK)


debs = {}       # package name -> .deb path
contents = {}   # package name -> {path: symlink target or None}
ROOT = WORK / "root"  # every package unpacked, as dpkg would install them


def setUpModule():
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    run(os.environ["CPACK"], "-G", "DEB", "--config", BUILD / "CPackConfig.cmake", "-B", WORK)
    for deb in WORK.glob("*.deb"):
        name = run("dpkg-deb", "-f", deb, "Package").strip()
        debs[name] = deb
        files = {}
        for line in run("dpkg-deb", "-c", deb).splitlines():
            entry = line.split(maxsplit=5)[5]
            path, _, target = entry.partition(" -> ")
            if not path.endswith("/"):
                files[path.removeprefix("./")] = target or None
        contents[name] = files
    for deb in debs.values():
        run("dpkg-deb", "-x", deb, ROOT)


# What lintian says of a binary built without dpkg-buildflags' hardening.
HARDENING_TAGS = {"hardening-no-fortify-functions", "hardening-no-relro", "hardening-no-bindnow",
                  "hardening-no-pie"}


def tag_of(line):
    """The tag of a lintian line "<severity>: <package>[ <type>]: <tag> [<detail>]"."""
    head, _, rest = line.partition(": ")
    return rest.partition(": ")[2].split(" ", 1)[0] if head in ("E", "W", "I", "P") else None


def field(package, name):
    return run("dpkg-deb", "-f", debs[package], name).strip()


class Packages(unittest.TestCase):
    def test_each_package_holds_its_part_and_nothing_twice(self):
        lib = f"usr/lib/{multiarch()}"
        man, share, doc = "usr/share/man/man", "usr/share", "usr/share/doc"
        expected = {
            "libtauravat10": [f"{lib}/libtauravat.so.10", f"{lib}/libtauravat.so.{VERSION}"],
            "libtauravat-dev": ["usr/include/tauravat.h", "usr/include/tauravat.hpp",
                                f"{lib}/libtauravat.so", f"{lib}/pkgconfig/tauravat.pc",
                                f"{lib}/cmake/tauravat/tauravatConfig.cmake",
                                f"{man}3/libtauravat.3.gz"],
            "tauravat-tools": [
                "usr/bin/tauravat", "usr/bin/kestra-emu", f"{man}1/tauravat.1.gz",
                f"{man}1/kestra-emu.1.gz", f"{share}/bash-completion/completions/tauravat",
                f"{share}/bash-completion/completions/kestra-emu",
                f"{doc}/tauravat-tools/examples/60-kestra-printer.rules"],
            "taurasw": ["usr/bin/TauraSW", f"{man}1/TauraSW.1.gz",
                        f"{share}/applications/taurasw.desktop",
                        f"{share}/icons/hicolor/scalable/apps/taurasw.svg"],
            "python3-tauravat": [],
            "tauravatd": [
                "usr/bin/tauravatd", "usr/lib/systemd/system/tauravatd.service",
                f"{man}8/tauravatd.8.gz", f"{doc}/tauravatd/service.md",
                f"{doc}/tauravatd/examples/tauravatd.json",
                f"{doc}/tauravatd/examples/60-kestra-printer.rules"],
        }
        self.assertEqual(sorted(debs), sorted(PACKAGES))
        owner = {}
        for package in PACKAGES:
            files = contents[package]
            for path in expected[package] + [f"{doc}/{package}/copyright",
                                             f"{doc}/{package}/changelog.gz"]:
                self.assertIn(path, files, package)
            for path in files:
                self.assertTrue(path.startswith("usr/"), f"{package}: {path}")
                self.assertNotIn(path, owner, f"{path} in {package} and {owner.get(path)}")
                owner[path] = package
        self.assertEqual(contents["libtauravat10"][f"{lib}/libtauravat.so.10"],
                         f"libtauravat.so.{VERSION}")
        self.assertEqual(contents["libtauravat-dev"][f"{lib}/libtauravat.so"], "libtauravat.so.10")
        python = [p for p in contents["python3-tauravat"] if p.endswith(".py")]
        self.assertTrue(python and all(
            p.startswith("usr/lib/python3/dist-packages/tauravat") for p in python), python)

    def test_dependencies_keep_qt_off_a_headless_till(self):
        pinned = f"libtauravat10 (= {VERSION})"
        for package in PACKAGES:
            self.assertEqual(field(package, "Version"), VERSION)
            depends = field(package, "Depends")
            if package != "taurasw":
                self.assertNotIn("qt6", depends, package)
            if package != "libtauravat10":
                self.assertIn(pinned, depends.split(", "), package)
        self.assertIn("libc6", field("libtauravat10", "Depends"))
        self.assertIn("python3", field("python3-tauravat", "Depends").split(", "))
        self.assertEqual(field("python3-tauravat", "Architecture"), "all")
        if WITH_TAURASW:
            self.assertIn("libqt6widgets6", field("taurasw", "Depends"))

    def test_library_soname_shlibs_and_no_run_paths(self):
        control = WORK / "control"
        shutil.rmtree(control, ignore_errors=True)
        run("dpkg-deb", "-e", debs["libtauravat10"], control)
        self.assertEqual((control / "shlibs").read_text().strip(),
                         f"libtauravat 10 libtauravat10 (>= {VERSION})")
        self.assertIn("activate-noawait ldconfig", (control / "triggers").read_text())

        library = ROOT / f"usr/lib/{multiarch()}/libtauravat.so.{VERSION}"
        self.assertIn("(SONAME)             Library soname: [libtauravat.so.10]",
                      run("readelf", "-d", library))
        for program in os.listdir(ROOT / "usr/bin"):
            self.assertNotRegex(run("readelf", "-d", ROOT / "usr/bin" / program), r"R(UN)?PATH",
                                program)

    def test_copyright_and_changelog(self):
        license_text = (SOURCE / "LICENSE").read_text()
        copyrights = {(ROOT / f"usr/share/doc/{p}/copyright").read_text() for p in PACKAGES}
        self.assertEqual(len(copyrights), 1)
        copyright_text = copyrights.pop()
        self.assertTrue(copyright_text.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
        self.assertIn("Copyright: 2026 The tauravat developers\nLicense: Expat\n", copyright_text)
        # The licence paragraph is LICENSE's text after its copyright line, word for word.
        paragraph = copyright_text.split("\nLicense: Expat\n")[-1]
        self.assertEqual([word for word in paragraph.split() if word != "."],
                         license_text.split("\n\n", 2)[2].split())

        raw = (ROOT / "usr/share/doc/libtauravat10/changelog.gz").read_bytes()
        self.assertEqual(raw[4:8], b"\0\0\0\0", "gzip time stamp: the package is not reproducible")
        first = gzip.decompress(raw).decode().splitlines()[0]
        self.assertTrue(first.startswith(f"tauravat ({VERSION}) "), first)

    def test_lintian_finds_no_errors_and_every_binary_hardened(self):
        # With its information tags: two of the hardening tags are only information.
        result = subprocess.run(
            ["lintian", "--display-info", "--tag-display-limit", "0", *debs.values()],
            capture_output=True, text=True)
        self.assertIn(result.returncode, (0, 1), result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual([line for line in lines if line.startswith("E:")], [], result.stdout)
        unhardened = [line for line in lines if tag_of(line) in HARDENING_TAGS]
        self.assertEqual(unhardened, [], result.stdout)

    def test_manual_pages_render_without_warnings(self):
        for page in sorted(ROOT.glob("usr/share/man/man*/*.gz")):  # which: see the contents
            result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", page],
                                    capture_output=True, text=True,
                                    env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
            self.assertEqual((result.returncode, result.stderr), (0, ""), page.name)
            self.assertIn("SEE ALSO", result.stdout, page.name)


class UsedAsInstalled(unittest.TestCase):
    def test_debian_python3_imports_the_module_without_pythonpath(self):
        # Debian's python3 with its prefix moved onto the unpacked package: it searches
        # <prefix>/lib/python3/dist-packages as it searches /usr/lib/python3/dist-packages.
        debian_python = "/usr/bin/python3"
        stdlib = run(debian_python, "-c", "import sysconfig; print(sysconfig.get_path('stdlib'))")
        (ROOT / "usr/lib" / Path(stdlib.strip()).name).symlink_to(stdlib.strip())
        where = imported_from(debian_python, PYTHONHOME=str(ROOT / "usr"))
        self.assertTrue(where.startswith(str(ROOT / "usr/lib/python3/dist-packages/tauravat")),
                        where)

    def test_python_module_under_a_custom_prefix_is_found_by_that_prefix_python(self):
        prefix = WORK / "venv"
        shutil.rmtree(prefix, ignore_errors=True)
        run(sys.executable, "-m", "venv", "--without-pip", prefix)
        run(os.environ["CMAKE"], "--install", BUILD, "--component", "python", "--prefix", prefix)
        where = imported_from(prefix / "bin/python")
        version = f"python{sys.version_info.major}.{sys.version_info.minor}"
        self.assertTrue(where.startswith(f"{prefix}/lib/{version}/site-packages/tauravat"), where)

    def test_a_cmake_project_builds_against_the_dev_package(self):
        build = WORK / "consumer"
        shutil.rmtree(build, ignore_errors=True)
        run(os.environ["CMAKE"], "-G", "Ninja", "-S", SOURCE / "tests/tools/consumer", "-B", build,
            f"-DCMAKE_PREFIX_PATH={ROOT / 'usr'}", "-DCMAKE_BUILD_TYPE=Release")
        run(os.environ["CMAKE"], "--build", build)
        lib = ROOT / f"usr/lib/{multiarch()}"
        self.assertIn("libtauravat 10.00",
                      run(build / "consumer", env=dict(os.environ, LD_LIBRARY_PATH=str(lib))))
        pc_env = dict(os.environ, PKG_CONFIG_PATH=str(lib / "pkgconfig"))
        variable = lambda name: Path(run("pkg-config", f"--variable={name}", "tauravat",  # noqa
                                         env=pc_env).strip())
        self.assertEqual(variable("libdir").resolve(), lib.resolve())
        self.assertTrue((variable("includedir") / "tauravat.h").is_file())


if __name__ == "__main__":
    unittest.main()
