"""The Debian packages built by cpack, read with dpkg-deb, checked with lintian, and used as
Debian's python3 and a CMake project would use them."""

import gzip
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
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


# The lintian warnings these packages keep, and why.
JUSTIFIED_WARNINGS = {
    # CPack writes postinst/postrm calling ldconfig for the library beside the trigger
    # (packaging/README.md); they do no harm.
    "maintscript-calls-ldconfig",
}


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
                                f"{man}3/libtauravat.3.gz", f"{man}3/tauravat_open.3.gz",
                                f"{man}3/tauravat_close.3.gz",
                                f"{doc}/libtauravat-dev/receipts.md",
                                f"{doc}/libtauravat-dev/examples/receipt/receipt.c",
                                f"{doc}/libtauravat-dev/examples/receipt/CMakeLists.txt",
                                f"{doc}/libtauravat-dev/examples/receipt/Makefile"],
            "tauravat-tools": [
                "usr/bin/tauravat", "usr/bin/kestra-emu", f"{man}1/tauravat.1.gz",
                f"{man}1/kestra-emu.1.gz", f"{share}/bash-completion/completions/tauravat",
                f"{share}/bash-completion/completions/kestra-emu",
                f"{doc}/tauravat-tools/examples/60-kestra-printer.rules"],
            "taurasw": ["usr/bin/TauraSW", f"{man}1/TauraSW.1.gz",
                        f"{share}/applications/taurasw.desktop",
                        f"{share}/icons/hicolor/scalable/apps/taurasw.svg"],
            "python3-tauravat": [
                "usr/lib/python3/dist-packages/tauravat/py.typed",
                "usr/lib/python3/dist-packages/tauravat/_version.py",
                f"usr/lib/python3/dist-packages/tauravat-{VERSION}.dist-info/METADATA",
                f"usr/lib/python3/dist-packages/tauravat-{VERSION}.dist-info/entry_points.txt"],
            "tauravatd": [
                "usr/bin/tauravatd", "usr/lib/systemd/system/tauravatd.service",
                f"{man}8/tauravatd.8.gz", f"{doc}/tauravatd/service.md",
                "etc/tauravatd/tauravatd.json.example",
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
                # /etc holds the service's example configuration, a conffile.
                self.assertTrue(path.startswith("usr/") or (
                    package == "tauravatd" and path.startswith("etc/tauravatd/")),
                    f"{package}: {path}")
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
        # The pytest fixture starts kestra-emu, which tauravat-tools brings.
        self.assertEqual(field("python3-tauravat", "Suggests"), f"tauravat-tools (= {VERSION})")
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
            if (ROOT / "usr/bin" / program).read_bytes()[:4] != b"\x7fELF":
                continue  # a Python package's console script
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

    def test_lintian_finds_no_errors_and_no_warnings_but_the_justified(self):
        # With its information tags: two of the hardening tags are only information.
        result = subprocess.run(
            ["lintian", "--display-info", "--tag-display-limit", "0", *debs.values()],
            capture_output=True, text=True)
        self.assertIn(result.returncode, (0, 1), result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual([line for line in lines if line.startswith("E:")], [], result.stdout)
        unhardened = [line for line in lines if tag_of(line) in HARDENING_TAGS]
        self.assertEqual(unhardened, [], result.stdout)
        warnings = [line for line in lines
                    if line.startswith("W:") and tag_of(line) not in JUSTIFIED_WARNINGS]
        self.assertEqual(warnings, [], result.stdout)

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
        variable = lambda name: Path(run(*UNPACKED_PKG_CONFIG, f"--variable={name}",  # noqa
                                         "tauravat", env=unpacked_pc_env()).strip())
        self.assertEqual(variable("libdir").resolve(), lib.resolve())
        self.assertTrue((variable("includedir") / "tauravat.h").is_file())


def lib_dir():
    return ROOT / f"usr/lib/{multiarch()}"


def installed_env(**more):
    # The unpacked packages' library and programs, as if installed.
    return dict(os.environ, LD_LIBRARY_PATH=str(lib_dir()),
                PATH=f"{ROOT / 'usr/bin'}:{os.environ['PATH']}") | more


# pkg-config reading the package's tauravat.pc (prefix=/usr) from the unpacked tree.
UNPACKED_PKG_CONFIG = ["pkg-config", "--keep-system-cflags", "--keep-system-libs"]


def unpacked_pc_env():
    return dict(os.environ, PKG_CONFIG_PATH=str(lib_dir() / "pkgconfig"),
                PKG_CONFIG_SYSROOT_DIR=str(ROOT))


class Emulator:
    """The unpacked kestra-emu on a pseudo-terminal, stopped by its pid."""

    def __init__(self, *options):
        self.process = subprocess.Popen(
            [ROOT / "usr/bin/kestra-emu", *options], stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, text=True, env=installed_env())
        self.path = self.process.stdout.readline().strip()
        assert self.path.startswith("/"), self.path

    def close(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


class DevelopmentPackage(unittest.TestCase):
    def test_pkg_config_gives_clean_flags(self):
        pc_dir = str(lib_dir() / "pkgconfig")
        # As installed in /usr: the system's directories are left out.
        flags = run("pkg-config", "--cflags", "--libs", "tauravat",
                    env=dict(os.environ, PKG_CONFIG_PATH=pc_dir)).split()
        self.assertEqual(flags, ["-ltauravat"])
        # Unpacked into another root, each directory once.
        flags = run(*UNPACKED_PKG_CONFIG, "--cflags", "--libs", "tauravat",
                    env=unpacked_pc_env()).split()
        self.assertEqual(flags, [f"-I{ROOT / 'usr/include'}", f"-L{lib_dir()}", "-ltauravat"])

    def test_the_example_builds_both_ways_and_prints_a_receipt_on_kestra_emu(self):
        example = ROOT / "usr/share/doc/libtauravat-dev/examples/receipt"
        work = WORK / "example"
        shutil.rmtree(work, ignore_errors=True)
        shutil.copytree(example, work / "make")
        run("make", "-C", work / "make", "PKG_CONFIG=" + " ".join(UNPACKED_PKG_CONFIG),
            env=unpacked_pc_env())
        run(os.environ["CMAKE"], "-G", "Ninja", "-S", example, "-B", work / "cmake",
            f"-DCMAKE_PREFIX_PATH={ROOT / 'usr'}")
        run(os.environ["CMAKE"], "--build", work / "cmake")

        emulator = Emulator("--rates", "23,8,5,0,Z,R,R", "--line-ms", "1")
        self.addCleanup(emulator.close)
        for program in (work / "make/receipt", work / "cmake/receipt"):
            self.assertRegex(run(program, emulator.path, env=installed_env()),
                             r"^printed receipt \d+\n$")
        # A device that is not there: the driver's named code and the system's text.
        missing = subprocess.run([work / "make/receipt", "/dev/ttyUSB99"], capture_output=True,
                                 text=True, env=installed_env())
        self.assertEqual(missing.returncode, 1)
        self.assertIn("TAURAVAT_E_PORT_NOT_FOUND", missing.stderr)
        self.assertIn("No such file or directory", missing.stderr)

    def test_every_handle_function_has_its_manual_page(self):
        header = (ROOT / "usr/include/tauravat.h").read_text()
        functions = set(re.findall(r"TAURAVAT_API [^;(]*?\b(tauravat_\w+)\(", header))
        self.assertGreater(len(functions), 40)
        man3 = ROOT / "usr/share/man/man3"
        self.assertEqual(functions - {p.name[:-5] for p in man3.glob("tauravat_*.3.gz")}, set())
        env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8", MANPAGER="cat", PAGER="cat")
        page = run("man", "-M", ROOT / "usr/share/man", "3", "tauravat_close", env=env)
        self.assertIn("TAURAVAT_OPEN(3)", page)
        self.assertRegex(page, r"int32_t tauravat_close\(tauravat_printer\* printer\);")
        self.assertIn("SEE ALSO", page)


class PythonPackage(unittest.TestCase):
    def test_metadata_pip_list_and_the_pytest_plugin_from_the_package(self):
        # Debian's python3 and pytest, with the unpacked package's directory added as the
        # installed one would be (a .pth file in a venv that sees the system's packages).
        venv = WORK / "plugin-venv"
        shutil.rmtree(venv, ignore_errors=True)
        run("/usr/bin/python3", "-m", "venv", "--without-pip", "--system-site-packages", venv)
        site = run(venv / "bin/python", "-c", "import sysconfig; print(sysconfig.get_path('purelib'))")
        dist_packages = ROOT / "usr/lib/python3/dist-packages"
        Path(site.strip(), "tauravat-deb.pth").write_text(f"{dist_packages}\n")
        env = installed_env(TAURAVAT_LIBRARY=str(lib_dir() / "libtauravat.so.10"),
                            KESTRA_EMU=str(ROOT / "usr/bin/kestra-emu"), PYTHONDONTWRITEBYTECODE="1")
        probe = ("import importlib.metadata as m, tauravat; print(m.version('tauravat'), "
                 "tauravat.__version__, tauravat.__file__)")
        version, package_version, where = run(venv / "bin/python", "-c", probe, env=env,
                                              cwd=WORK).split()
        self.assertEqual((version, package_version), (VERSION, VERSION))
        self.assertTrue(where.startswith(str(dist_packages)), where)
        listed = run("/usr/bin/python3", "-m", "pip", "list", "--path", dist_packages, env=env)
        self.assertRegex(listed, rf"(?m)^tauravat\s+{re.escape(VERSION)}\s*$")

        tests = WORK / "till-tests"
        shutil.rmtree(tests, ignore_errors=True)
        tests.mkdir()
        (tests / "test_till.py").write_text(
            "import tauravat\n\n"
            "def test_the_fixture_serves_a_printer(kestra_emulator):\n"
            "    with tauravat.open(kestra_emulator.path) as printer:\n"
            "        assert printer.device_name()\n")
        output = run(venv / "bin/python", "-m", "pytest", "-q", "-p", "no:cacheprovider",
                     tests, env=env, cwd=tests)
        self.assertRegex(output, r"\b1 passed\b")


@unittest.skipUnless(WITH_SERVICE, "the service is not built")
class ServicePackage(unittest.TestCase):
    def test_unit_is_rated_2_5_or_better_by_systemd_analyze(self):
        if not shutil.which("systemd-analyze"):
            self.skipTest("no systemd-analyze")
        unit = ROOT / "usr/lib/systemd/system/tauravatd.service"
        result = subprocess.run(["systemd-analyze", "security", "--offline=true", unit],
                                capture_output=True, text=True)
        score = re.search(r"Overall exposure level for tauravatd\.service: ([0-9.]+)",
                          result.stdout)
        self.assertIsNotNone(score, result.stdout + result.stderr)
        self.assertLessEqual(float(score.group(1)), 2.5, result.stdout)
        self.assertIn("Type=notify", unit.read_text())

    def test_conffile_and_maintainer_scripts(self):
        control = WORK / "tauravatd-control"
        shutil.rmtree(control, ignore_errors=True)
        run("dpkg-deb", "-e", debs["tauravatd"], control)
        self.assertEqual((control / "conffiles").read_text().split(),
                         ["/etc/tauravatd/tauravatd.json.example"])
        example = json.loads((ROOT / "etc/tauravatd/tauravatd.json.example").read_text())
        self.assertEqual(example["printers"][0]["device"], "/dev/kestra-printer")

        # The helpers stand in as scripts that note their calls; dpkg --root's DPKG_ROOT is
        # a system whose systemd is not running.
        stubs, root = WORK / "stubs", WORK / "dpkg-root"
        for path in (stubs, root):
            shutil.rmtree(path, ignore_errors=True)
            path.mkdir()
        calls = stubs / "calls"
        for helper in ("deb-systemd-helper", "deb-systemd-invoke", "systemctl"):
            (stubs / helper).write_text(f'#!/bin/sh\necho "{helper} $*" >> "{calls}"\n')
            (stubs / helper).chmod(0o755)
        env = dict(os.environ, PATH=f"{stubs}:{os.environ['PATH']}", DPKG_ROOT=str(root))

        def script(name, *arguments):
            calls.write_text("")
            done = subprocess.run(["sh", "-e", control / name, *arguments], env=env,
                                  capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stderr)
            return calls.read_text().splitlines(), done.stderr

        made, said = script("postinst", "configure", "")
        self.assertEqual(made, ["deb-systemd-helper unmask tauravatd.service",
                                "deb-systemd-helper update-state tauravatd.service"])
        self.assertIn("/etc/tauravatd/tauravatd.json", said)
        (root / "etc/tauravatd").mkdir(parents=True)
        (root / "etc/tauravatd/tauravatd.json").write_text("{}")
        made, _ = script("postinst", "configure", "")
        self.assertEqual(made, ["deb-systemd-helper unmask tauravatd.service",
                                "deb-systemd-helper --quiet was-enabled tauravatd.service",
                                "deb-systemd-helper enable tauravatd.service"])
        self.assertEqual(script("prerm", "remove")[0], [])
        self.assertEqual(script("postrm", "remove")[0],
                         ["deb-systemd-helper mask tauravatd.service"])
        self.assertEqual(script("postrm", "purge")[0],
                         ["deb-systemd-helper purge tauravatd.service",
                          "deb-systemd-helper unmask tauravatd.service"])


if __name__ == "__main__":
    unittest.main()
