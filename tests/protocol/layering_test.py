"""The programs and the Python package use libtauravat through its public headers only: no
build file of theirs reaches into driver/src, and no source names the driver's internal
target or its process-wide legacy printer. Environment: SOURCE_DIR."""

import os
import re
import unittest
from pathlib import Path

SOURCE = Path(os.environ["SOURCE_DIR"])
CLIENTS = ["tools", "service", "app", "python"]
BUILD_FILES = {"CMakeLists.txt", "pyproject.toml", "meson.build", "Makefile"}
INTERNAL = re.compile(r"\b(DefaultPrinter|kestradr_internal)\b")
PRIVATE_SOURCES = re.compile(r"driver/src\b|driver\}/src\b")


def client_files():
    for client in CLIENTS:
        for path in sorted((SOURCE / client).rglob("*")):
            if path.is_file() and "__pycache__" not in path.parts:
                yield path


def is_build_file(path):
    return path.name in BUILD_FILES or path.suffix in (".cmake", ".pro", ".pri")


def matches(pattern, paths):
    found = []
    for path in paths:
        try:
            text = path.read_text(encoding="utf-8")
        except UnicodeDecodeError:
            continue  # images and the like
        for number, line in enumerate(text.splitlines(), 1):
            if pattern.search(line):
                found.append(f"{path.relative_to(SOURCE)}:{number}: {line.strip()}")
    return found


class Layering(unittest.TestCase):
    def test_the_clients_sit_on_the_public_interface(self):
        files = list(client_files())
        self.assertTrue(any(p.name == "CMakeLists.txt" for p in files), "no client found")
        self.assertEqual(matches(PRIVATE_SOURCES, [p for p in files if is_build_file(p)]), [],
                         "a client's build reaches into the driver's sources")
        self.assertEqual(matches(INTERNAL, files), [], "a client uses the driver's internals")


if __name__ == "__main__":
    unittest.main()
