"""The export list against the shared library's exports and the Python binding's signatures,
so that an export cannot be half added. Environment: EXPORT_LIST, LIBRARY, NM, PYTHONPATH."""

import ctypes
import os
import re
import subprocess
import unittest

import tauravat

ENTRY = re.compile(r"^TAURAVAT_C_EXPORT\((\w+), (\d+)\)$|^TAURAVAT_CXX_EXPORT\((\w+), (\w+), (\d+)\)$")


def read_list():
    """{name: (symbol, bytes)}: the symbol is the name itself for C linkage."""
    entries = {}
    with open(os.environ["EXPORT_LIST"], encoding="utf-8") as listing:
        for line in (line for line in map(str.strip, listing) if line.startswith("TAURAVAT_")):
            match = ENTRY.match(line)
            assert match is not None, f"unreadable entry: {line}"
            c_name, cxx_name, symbol = match.group(1), match.group(3), match.group(4)
            entries[c_name or cxx_name] = (c_name or symbol, int(match.group(2) or match.group(5)))
    return entries


def stack_bytes(argument):
    """What one ctypes argument takes on the 32-bit stdcall stack."""
    if argument in (ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t) or issubclass(
            argument, (ctypes._Pointer, ctypes._CFuncPtr)):
        return 4
    return (ctypes.sizeof(argument) + 3) // 4 * 4


class ExportList(unittest.TestCase):
    def setUp(self):
        self.entries = read_list()
        self.c_names = {name for name, (symbol, _) in self.entries.items() if symbol == name}

    def test_the_shared_library_exports_exactly_the_listed_functions(self):
        dump = subprocess.run([os.environ["NM"], "-D", "--defined-only", os.environ["LIBRARY"]],
                              check=True, capture_output=True, text=True).stdout
        # Every defined symbol, whatever its kind: a standard library template instance or
        # typeinfo left global is as much a leak as an internal function.
        exported = {line.split()[-1] for line in dump.splitlines() if line.strip()}
        listed = {symbol for symbol, _ in self.entries.values()}
        self.assertEqual(sorted(exported - listed), [], "exported but not in the export list")
        self.assertEqual(sorted(listed - exported), [], "listed but not exported")

    def test_the_python_binding_declares_every_c_export_with_its_arguments(self):
        declared = set(tauravat._SIGNATURES)
        self.assertEqual(sorted(self.c_names - declared), [], "no signature in the binding")
        self.assertEqual(sorted(declared - self.c_names), [], "declared but not listed")
        for name in sorted(self.c_names):
            with self.subTest(name=name):
                arguments = tauravat._SIGNATURES[name]
                self.assertEqual(sum(stack_bytes(a) for a in arguments), self.entries[name][1])

