"""tauravat end to end against kestra-emu: what the program adds (arguments, text and JSON
output, exit statuses, bash completion), not what the driver does behind it."""

import contextlib
import ctypes
import errno
import json
import os
import re
import pty
import socket
import subprocess
import tempfile
import threading
import unittest
from decimal import Decimal
from pathlib import Path

import tauravat
from tauravat import _header, _library
from tauravat.emulator import Emulator

CLI = os.environ.get("TAURAVAT_CLI", "tauravat")
# The trace is written only where a test asks for it.
UTF8 = {k: v for k, v in os.environ.items() if k != "TAURAVAT_TRACE"} | {"LC_ALL": "C.UTF-8"}
SILENT = ("--fault", "any:silence:0:-1")


def run(*args, env=None, **options):
    options.setdefault("stdin", subprocess.DEVNULL)  # nothing may stop to ask
    return subprocess.run([CLI, *args], capture_output=True, env=env or UTF8, timeout=60,
                          **options)


def failed(test, result, status, *texts):
    test.assertEqual(result.returncode, status, result.stderr)
    for text in texts:
        test.assertIn(text, result.stderr.decode())


def run_json(*args, env=None, **options):
    result = run("--json", *args, env=env, **options)
    return result.returncode, json.loads(result.stdout.decode())


RECEIPT = json.dumps({"items": [
    {"name": "Chleb razowy krojony", "rate": "A", "quantity": 2, "price": 450},
    {"name": "Ser żółty gouda", "rate": "B", "quantity": "0.350", "price": 2999},
    {"name": "Mleko świeże 3,2%", "rate": "B", "quantity": 1, "price": 329},
    {"name": "Mleko świeże 3,2%", "rate": "B", "quantity": 1, "price": 329, "cancel": True},
    {"package": "S", "first": 1, "second": 50, "amount": 2}, {"subtotal": True}],
    "discount": 10, "payments": [{"name": "Gotówka", "first": 5000}]}).encode()


def traced(test):
    # The driver's and the emulator's trace files, and the environment asking for the first.
    directory = tempfile.TemporaryDirectory()
    test.addCleanup(directory.cleanup)
    driver, emulator = (os.path.join(directory.name, name) for name in "de")
    return driver, emulator, dict(UTF8, TAURAVAT_TRACE=driver)


def trace(path):
    # The fields after the time stamp, the comments left out.
    lines = Path(path).read_text("ascii").splitlines()
    return [line.split()[1:] for line in lines if not line.startswith("#")]


def receipt(port, *options, env=None):
    return run_json("--port", port, *options, "receipt", "-", env=env, stdin=None, input=RECEIPT)


class Commands(unittest.TestCase):
    def test_identify_with_the_port_from_options_or_environment_and_rates_read_and_written(self):
        with Emulator("--model", "taura2", "--rates", "22,7,3,0,Z,R,R") as emu:
            result = run("--port", emu.path, "identify")
            failed(self, result, 0)
            self.assertIn("TAURA II generacji (device type 3)", result.stdout.decode())
            for args, env in ((["-p", emu.path, "-b", "19200"], None),
                              ([], dict(UTF8, TAURAVAT_PORT=emu.path))):
                code, out = run_json(*args, "identify", env=env)
                self.assertEqual((code, out["ok"], out["type"]), (0, True, 3))
            self.assertEqual(run_json("--port", emu.path, "read-rates")[1]["rates"], {
                "A": "22", "B": "7", "C": "3", "D": "0", "E": "exempt", "F": "reserved",
                "G": "reserved"})
            result = run("--port", emu.path, "write-rates", "--yes", *"23 8 5 0 Z 7.5".split())
            failed(self, result, 0)
            self.assertIn("E exempt\nF 7.5%\nG reserved", result.stdout.decode())
            self.assertEqual(emu.state()["rates"], [2300, 800, 500, 0, 10000, 750, 25500])
            # The rates held, whole or in part, are not written again: fiscal memory is
            # spent only on a change, or when forced.
            notices = lambda: sum("ZMIANA STAWEK PTU" in line for line in emu.paper())
            changes = lambda: emu.state()["counters"]["rateChanges"]
            self.assertEqual((notices(), changes()), (1, 1))
            for rates in ("23 8 5 0 Z 7.5 R", "23 8"):
                result = run("--port", emu.path, "write-rates", "--yes", *rates.split())
                failed(self, result, 0)
                self.assertIn("unchanged, nothing written", result.stdout.decode())
            code, out = run_json("--port", emu.path, "write-rates", "--yes", "23")
            self.assertEqual((code, out["written"], notices(), changes()), (0, False, 1, 1))
            code, out = run_json("--port", emu.path, "write-rates", "--yes", "--force", "23")
            self.assertEqual((code, out["written"], notices(), changes()), (0, True, 2, 2))
            # Only B given: the rest stay as they are.
            code, out = run_json("--port", emu.path, "write-rates", "--yes", "23", "7")
            self.assertEqual((code, out["written"]), (0, True))
            self.assertEqual(emu.state()["rates"], [2300, 700, 500, 0, 10000, 750, 25500])

    def test_a_refused_rate_is_named_by_its_letter_before_anything_is_written(self):
        with Emulator("--model", "rx820a-4", "--rates", "22,7,3,0") as emu:
            for rates, place, rule in (("23 7.5", "rate B 7.5%", "whole percents only"),
                                       ("5 7", "rate B 7%", "above the rate before it, 5%"),
                                       ("23 8 5 Z", "rate D exempt", "does not take it")):
                with self.subTest(rates):
                    result = run("--port", emu.path, "write-rates", "--yes", *rates.split())
                    failed(self, result, 1, f"{place}: ", rule, "[215]")
                    code, out = run_json("--port", emu.path, "write-rates", "--yes",
                                         *rates.split())
                    self.assertEqual((code, out["name"], out["rate"]),
                                     (1, "TAURAVAT_E_PARAMETER_RANGE", place[5]))
                    self.assertEqual(out["field"], f"rates[{ord(place[5]) - ord('A')}]")
            self.assertEqual(emu.state()["counters"]["rateChanges"], 0)

    def test_the_clock_in_json_is_iso_8601_and_in_text_as_the_printer_prints_it(self):
        with Emulator("--model", "luno", "--clock", "2024-03-15 10:00:01") as emu:
            code, out = run_json("--port", emu.path, "clock")
            self.assertEqual((code, out["date"]), (0, "2024-03-15"))
            self.assertRegex(out["clock"], r"^2024-03-15T10:0\d:\d\d$")
            self.assertEqual(out["clock"], f"{out['date']}T{out['time']}")
            self.assertRegex(run_json("--port", emu.path, "clock", "--short")[1]["clock"],
                             r"^2024-03-15T10:0\d$")
            self.assertRegex(run("--port", emu.path, "clock").stdout.decode(),
                             r"^clock 2024\.03\.15 10:0\d")

    def test_raw_sequences_show_only_the_reply_received_and_are_traced_at_both_ends(self):
        driver, emulator, env = traced(self)
        with Emulator("--model", "luno", "--trace", emulator) as emu:
            result = run("--port", emu.path, "raw", "--reply", "2", "FF", env=env)
            self.assertEqual((result.returncode, result.stdout), (0, b"2C\n"))
            code, out = run_json("--port", emu.path, "raw", "46", "03", env=env)
            self.assertEqual((code, out["reply"]), (0, "06"))  # a parameter byte: just the ACK
            self.assertEqual(run_json("--port", emu.path, "raw", "--reply=4", "0xFE")[1]["reply"],
                             "7C 01 00")
        expected = [[">", "FF", "1B"], [">", "FF", "FF"], ["<", "FF", "06"], ["<", "FF", "2C"],
                    [">", "46", "1B"], [">", "46", "46"], ["<", "46", "06"], [">", "46", "03"]]
        self.assertEqual((trace(driver), trace(emulator)[:8]), (expected, expected))
        lines = Path(driver).read_text("ascii")
        self.assertEqual(lines.count("# tauravat trace: driver"), 2)  # appended run by run
        # Microseconds since the run began: rising within each of the two runs.
        times = [int(line.split()[0]) for line in lines.splitlines() if line[0] != "#"]
        self.assertEqual((times[:4], times[4:]), (sorted(times[:4]), sorted(times[4:])))

    def test_probe_reports_each_speed_tried_on_a_port_named_by_its_number(self):
        # Silent to the first two connection attempts: those at 9600 and 19200 b/s.
        with Emulator("--model", "luno-f", "--fault", "any:silence:0:2") as emu:
            env = dict(UTF8, TAURAVAT_COM7=emu.path)
            code, out = run_json("--port", "COM7", "probe", env=env)
            self.assertEqual([(a["speed"], a["code"]) for a in out["attempts"]],
                             [(9600, 21), (19200, 21), (28800, 0)])
            self.assertEqual((code, out["speed"], out["device"], out["type"]),
                             (0, 28800, "KESTRA LUNO F", 8))
            self.assertIn("9600 b/s: KESTRA LUNO F (device type 8)",
                          run("--port", "7", "probe", env=env).stdout.decode())
        with Emulator(*SILENT) as emu:
            result = run("--port", emu.path, "probe")
            failed(self, result, 3, "no printer answered at 9600, 19200 or 28800 b/s")
            self.assertEqual(result.stdout.decode().count("no answer [21]"), 3)
            code, out = run_json("--port", emu.path, "probe")
            self.assertEqual((code, out["code"], out["name"], out["message_en"]),
                             (3, 21, "TAURAVAT_E_RECEIVE_TIMEOUT", tauravat.message(21, "en")))
            self.assertEqual(out["message_pl"], tauravat.message(21, "pl"))

    def test_ports_from_a_made_up_sysfs_tree_and_a_pty_as_the_library_lists_them(self):
        with tempfile.TemporaryDirectory() as name, pty_pair() as slave:
            sysfs, dev, tty = Path(name, "sys"), Path(name, "dev"), Path(name, "dev/ttyUSB0")
            usb = sysfs / "devices/usb1/1-2"
            (usb / "1-2:1.0/ttyUSB0").mkdir(parents=True)
            for file, value in (("idVendor", "067b"), ("idProduct", "2303"), ("serial", "PL7Q"),
                                ("product", "USB-Serial Controller")):
                (usb / file).write_text(value + "\n")
            (sysfs / "class/tty/ttyUSB0").mkdir(parents=True)
            (sysfs / "class/tty/ttyUSB0/device").symlink_to(usb / "1-2:1.0/ttyUSB0")
            (dev / "serial/by-id").mkdir(parents=True)
            tty.touch()
            (dev / "serial/by-id/usb-Prolific_PL7Q-if00-port0").symlink_to("../../ttyUSB0")
            # The moved /dev stands for /dev in COM paths too: its pts are the real ones.
            (dev / "pts").symlink_to("/dev/pts")
            listed_pty = str(dev / os.path.relpath(slave, "/dev"))
            fake = {"TAURAVAT_SYSFS_ROOT": str(sysfs), "TAURAVAT_DEV_ROOT": str(dev),
                    "TAURAVAT_COM7": slave, "TAURAVAT_COM9": "rfc2217://127.0.0.1:4001"}
            env = dict(UTF8, **fake)
            listed = run_json("ports", env=env)[1]["ports"]
            self.assertEqual(listed, [
                {"path": listed_pty, "com": [7], "by_id": None, "usb": None},
                {"path": "rfc2217://127.0.0.1:4001", "com": [9], "by_id": None, "usb": None},
                {"path": str(tty), "com": [33],
                 "by_id": str(dev / "serial/by-id/usb-Prolific_PL7Q-if00-port0"),
                 "usb": {"vendor_id": "067b", "product_id": "2303", "serial": "PL7Q",
                         "manufacturer": None, "product": "USB-Serial Controller"}}])
            # Python's list_ports reads the same library: the same answers.
            with patched_environment(fake):
                from_python = tauravat.list_ports()
            self.assertEqual([{
                "path": p.device, "com": list(p.com_numbers), "by_id": p.by_id,
                "usb": None if p.vid is None else {
                    "vendor_id": f"{p.vid:04x}", "product_id": f"{p.pid:04x}",
                    "serial": p.serial_number, "manufacturer": p.manufacturer,
                    "product": p.product}} for p in from_python], listed)
            text = run("ports", env=env).stdout.decode()
            self.assertIn(f"{tty}  COM33", text)
            self.assertIn("usb    067b:2303 serial PL7Q (USB-Serial Controller)", text)
            os.unlink(tty)
            del env["TAURAVAT_COM7"], env["TAURAVAT_COM9"]
            self.assertEqual(run("ports", env=env).stdout, b"no serial ports found\n")


@contextlib.contextmanager
def pty_pair():
    # A pseudo-terminal's slave name, open for as long as the block runs.
    master, slave = os.openpty()
    try:
        yield os.ttyname(slave)
    finally:
        os.close(slave)
        os.close(master)


@contextlib.contextmanager
def patched_environment(values):
    saved = {name: os.environ.get(name) for name in values}
    os.environ.update(values)
    try:
        yield
    finally:
        for name, value in saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value


class Receipt(unittest.TestCase):
    def test_receipt_from_standard_input_with_its_package_subtotal_totals_and_trace(self):
        driver, emulator, env = traced(self)
        with Emulator("--rates", "23,8,5,0,Z,R,R", "--trace", emulator) as emu:
            code, out = receipt(emu.path, env=env)
            self.assertEqual(code, 0, out)
            # 9.00 + 10.50 (0.350 x 29.99 rounds half up), the milk sold and cancelled, 10 %
            # off per rate; the package is not part of the total.
            self.assertEqual((out["state"], out["total"], out["receipt_number"], out["codes"]),
                             ("printed", "17.55", 1, []))
            paper = emu.paper()
            self.assertEqual([sum(text in line for line in paper)
                              for text in ("OPAKOWANIE SPRZEDANE 1/50", "PODSUMA")], [1, 1])
            state = emu.state()
            self.assertEqual(state["counters"]["receiptsSinceDailyReport"], 1)
            self.assertEqual(state["totals"]["day"][:2], [810, 945])  # 10 % off per rate
            self.assertEqual(run_json("--port", emu.path, "totals", "--rate", "B",
                                      env=env)[1]["total"], "9.45")
            self.assertEqual(run("--port", emu.path, "totals", env=env).stdout, b"17.55\n")
        self.assertEqual(trace(driver), trace(emulator))  # the emulator's is whole once it ends
        # The package line's acknowledgement, read after its sequence, keeps its command.
        package = [fields for fields in trace(driver) if fields[1] == "17"]
        self.assertEqual((package[-1], len(package)), (["<", "17", "06"], 2 + 10 + 1))

    def test_a_failed_receipt_is_ended_again_or_cancelled_unless_unbegun_or_the_printer_did(self):
        # emulator: exit status, code, step, state, receipts printed, cancelled
        for options, outcome in (
                (("--fault", "0x24:silence:0:1"), (0, 0, None, "printed", 1, 0)),  # once
                (("--fault", "0x24:nak:0:-1"), (1, 24, "end", "cancelled", 0, 1)),
                (("--fault", "0x06:cancel-receipt:0"), (1, 210, "items[1]", "cancelled", 0, 0)),
                # No packages (nor payment forms): refused by the check before anything.
                (("--model", "rx820a-6"), (1, 213, "items[4]", None, 0, 0))):
            with self.subTest(options), Emulator("--rates", "23,8", *options) as emu:
                status, out = receipt(emu.path, "--timeout", "1")
                state = emu.state()
                self.assertEqual((status, out["code"], out.get("step"), out.get("state"),
                                  state["counters"]["receiptsSinceDailyReport"],
                                  state["counters"]["cancelledSinceDailyReport"]), outcome)
                self.assertFalse(state["receipt"]["open"])


class RefusedSales(unittest.TestCase):
    """The shared list of sales every program refuses the same way, each as a receipt file."""

    LIST = json.loads((Path(__file__).resolve().parent.parent / "data/refused_sales.json")
                      .read_text(encoding="utf-8"))

    def receipt(self, changes):
        fields = dict(self.LIST["good_item"], **changes)
        price = Decimal(fields.pop("price"))
        return json.dumps({"items": [dict(fields, price=int(price * 100))]}).encode()

    def model(self):
        model = _library.ModelInfo(size=ctypes.sizeof(_library.ModelInfo))
        self.assertEqual(_library.function("tauravat_model_by_type")(
            self.LIST["printer"]["type"], ctypes.byref(model)), 0)
        return model.short_name.decode()

    def refused(self, result, sale):
        self.assertEqual(result.returncode, 1, result.stderr)
        out = json.loads(result.stdout.decode())
        code = {name: code for code, name in _header.RESULT_NAMES.items()}[sale["code"]]
        self.assertEqual((out["code"], out["field"]), (code, sale["field"]))
        if "offset" in sale:  # the list names the character where one is to blame
            self.assertEqual((out["offset"], out["code_point"]),
                             (sale["offset"], sale["code_point"]))
        self.assertTrue(out["step"].startswith(sale["field"]))

    def test_the_dry_run_and_a_real_run_refuse_each_and_begin_nothing(self):
        rates = ",".join({"exempt": "Z", "reserved": "R"}.get(rate, rate)
                         for rate in self.LIST["printer"]["rates"])
        model = self.model()
        with Emulator("--model", model, "--rates", rates) as emu:
            before, paper = emu.state()["counters"], emu.paper()
            for sale in self.LIST["sales"]:
                with self.subTest(sale["why"]):
                    receipt = self.receipt(sale["item"])
                    offline = run("--json", "receipt", "--dry-run", "--model", model, "-",
                                  stdin=None, input=receipt)
                    if sale["code"] == "TAURAVAT_E_RATE_UNDEFINED":
                        # Without the printer its rate table is not known.
                        self.assertEqual(offline.returncode, 0, offline.stderr)
                    else:
                        self.refused(offline, sale)
                    for dry in (["--dry-run"], []):
                        self.refused(run("--json", "--port", emu.path, "receipt", *dry, "-",
                                         stdin=None, input=receipt), sale)
            self.assertEqual(emu.state()["counters"], before)
            self.assertEqual(emu.paper(), paper)
            # The good item itself prints, in one call with its number.
            code, out = run_json("--port", emu.path, "receipt", "-", stdin=None,
                                 input=self.receipt({}))
            self.assertEqual((code, out["state"], out["total"], out["receipt_number"]),
                             (0, "printed", "4.99", 1))
        text = run("receipt", "--dry-run", "-", stdin=None,
                   input=self.receipt({"name": "Chleb € razowy"}))
        failed(self, text, 1, "items[0].name at character 6 (U+20AC): ")
        failed(self, run("receipt", "--dry-run", "--model", "nonesuch", "-", stdin=None,
                         input=self.receipt({})), 2, "luno")


class RefusedRates(unittest.TestCase):
    """The shared list of rate tables every program refuses the same way."""

    LIST = json.loads((Path(__file__).resolve().parent.parent / "data/refused_rates.json")
                      .read_text(encoding="utf-8"))

    def test_each_is_refused_naming_the_rate_and_nothing_is_written(self):
        letters = {"exempt": "Z", "reserved": "R"}
        for table in self.LIST["tables"]:
            model = _library.ModelInfo(size=ctypes.sizeof(_library.ModelInfo))
            self.assertEqual(_library.function("tauravat_model_by_type")(
                table["type"], ctypes.byref(model)), 0)
            held = ",".join(letters.get(rate, rate) for rate in table["held"])
            with self.subTest(table["why"]), \
                    Emulator("--model", model.short_name.decode(), "--rates", held) as emu:
                before, paper = emu.state(), emu.paper()
                code, out = run_json("--port", emu.path, "write-rates", "--yes", *table["rates"])
                letter = "ABCDEFG"[int(table["field"][6])]
                self.assertEqual((code, out["name"], out["field"], out["rate"]),
                                 (1, table["code"], table["field"], letter))
                result = run("--port", emu.path, "write-rates", "--yes", *table["rates"])
                failed(self, result, 1, f"rate {letter} ")
                after = emu.state()
                self.assertEqual((after["rates"], after["counters"]),
                                 (before["rates"], before["counters"]))
                self.assertEqual(emu.paper(), paper)


class ExitStatuses(unittest.TestCase):
    def test_refusal_is_1_a_silent_or_missing_printer_3(self):
        with Emulator() as emu:
            code, out = run_json("--lang", "pl", "--port", emu.path, "daily-report")
            self.assertEqual((code, out["code"], out["error"], out["message"]), (
                1, 211, "refused", "Zerowy licznik paragonów (brak sprzedaży po rap.dobowym)."))
            self.assertEqual((out["name"], out["message_en"]), (
                "TAURAVAT_E_NO_SALES_SINCE_REPORT",
                "Receipt counter is zero (no sales since the daily report)."))
        driver, _, env = traced(self)
        with Emulator(*SILENT) as emu:
            result = run("--port", emu.path, "--timeout", "1", "raw", "--reply", "2", "FF", env=env)
            self.assertEqual(result.returncode, 3)
            self.assertEqual(trace(driver),
                             [[">", "FF", "1B"], [">", "FF", "FF"], ["<", "FF", "--", "timeout"]])
            os.unlink(driver)
            failed(self, run("--lang", "pl", "--port", emu.path, "--timeout", "1", "identify"), 3,
                   "TIMEOUT ODBIERANIA", "[21]")
        self.assertFalse(os.path.exists(driver), "a trace without TAURAVAT_TRACE")
        env = dict(UTF8, TAURAVAT_COM40="/nonexistent/ttyUSB7")
        code, out = run_json("--port", "COM40", "identify", env=env)
        self.assertEqual((code, out["code"], out["name"], out["error"], out["message"],
                          out["os_errno"], out["port_path"]), (
            3, 90, "TAURAVAT_E_PORT_NOT_FOUND", "communication",
            "COM40 (/nonexistent/ttyUSB7): The serial port does not exist (no such device)."
            " [No such file or directory]", errno.ENOENT, "/nonexistent/ttyUSB7"))
        self.assertEqual(out["os_error"], os.strerror(errno.ENOENT))
        self.assertTrue(out["message_pl"].startswith("Port szeregowy nie istnieje"))
        with tempfile.NamedTemporaryFile() as not_a_tty:
            failed(self, run("--port", not_a_tty.name, "identify"), 3,
                   not_a_tty.name + ": The device is not a serial port.", "[93]")
        failed(self, run("--port", "/tmp", "identify"), 3,
               "/tmp: The device is not a serial port. [Is a directory]")

    def test_a_network_port_misnamed_unserved_or_silent_says_which_in_both_languages(self):
        # A server that never accepts: its one-place backlog is full, so a connection waits.
        silent = socket.socket()
        self.addCleanup(silent.close)
        silent.bind(("127.0.0.1", 0))
        silent.listen(0)
        port = silent.getsockname()[1]
        for _ in range(3):
            filler = socket.socket()
            self.addCleanup(filler.close)
            filler.setblocking(False)
            filler.connect_ex(("127.0.0.1", port))
        for url, code, english, polish, os_error in (
                ("tcp://127.0.0.1:4001", 95, "not socket://HOST:PORT", "to nie jest socket://",
                 errno.EINVAL),
                (f"socket://127.0.0.1:{port + 65536}", 95, "(port 1 to 65535)",
                 "(port od 1 do 65535)", errno.EINVAL),
                ("rfc2217://127.0.0.1:4001x", 95, "(port 1 to 65535)", "(port od 1 do 65535)",
                 errno.EINVAL),
                ("socket://no-such-host.invalid:4001", 90, "no device server answers",
                 "żaden serwer portu", errno.ENOENT),
                (f"rfc2217://127.0.0.1:{port}", 95, "did not answer in time",
                 "nie odpowiedział w czasie", errno.ETIMEDOUT)):
            with self.subTest(url):
                for language, text in (("en", english), ("pl", polish)):
                    status, out = run_json("--lang", language, "--port", url, "identify")
                    self.assertEqual((status, out["code"], out["os_errno"], out["port_path"]),
                                     (3, code, os_error, url))
                    self.assertIn(text, out["message"])

    def test_messages_speak_the_locales_language_unless_told(self):
        bare = {k: v for k, v in UTF8.items() if k not in ("LC_ALL", "LC_MESSAGES", "LANG")}
        for locale, option, text in (
                ({"LANG": "en_US.UTF-8"}, [], "NAK in reply to the control sequence."),
                ({"LANG": "pl_PL.UTF-8"}, [], "NAK na sekwencję sterującą."),
                ({"LC_MESSAGES": "pl_PL.UTF-8", "LANG": "en_US.UTF-8"}, [],
                 "NAK na sekwencję sterującą."),
                ({"LANG": "pl_PL.UTF-8"}, ["--lang", "en"], "NAK in reply to the control sequence."),
                ({}, [], "NAK in reply to the control sequence.")):
            with self.subTest(locale, option=option):
                result = run(*option, "message", "24", env=dict(bare, **locale))
                self.assertEqual((result.returncode, result.stdout.decode()), (0, text + "\n"))
        code, out = run_json("message", "91")
        self.assertEqual((code, out["name"]), (0, "TAURAVAT_E_PORT_PERMISSION"))
        self.assertIn("dialout", out["message_en"])
        self.assertEqual(run_json("message", "2")[1]["name"], None)

    def test_mistakes_are_2_in_text_or_json_and_nothing_is_sent(self):
        with Emulator() as emu:
            port = ["--port", emu.path]
            after = "the first is after the last"
            for args, message in (
                    (["identify"], "no printer port"), (["frobnicate"], "unknown command"),
                    ([*port, "identify", "--force"], "unknown option --force"),
                    ([*port, "drawer", "4"], "drawer"),
                    ([*port, "period-report", "2024-13-01", "2024-12-31"], "YYYY-MM-DD"),
                    ([*port, "period-report", "2023-02-29", "2024-12-31"], "YYYY-MM-DD"),
                    ([*port, "period-report", "2025-01-01", "2024-12-31"], after),
                    ([*port, "number-report", "12", "3"], after),
                    ([*port, "write-rates", "23"], "--yes"), ([*port, "raw", "46", "0"], '"0"'),
                    ([*port, "receipt", "-"], "not valid JSON")):
                with self.subTest(args):
                    result = run(*args, stdin=None, input=b'{"items": [')
                    failed(self, result, 2, message)
                    self.assertEqual(result.stdout, b"")
                    code, out = run_json(*args, stdin=None, input=b'{"items": [')
                    self.assertEqual((code, out["ok"], out["error"]), (2, False, "usage"))
                    self.assertIn(message, out["message"])
            self.assertEqual(emu.state()["line"]["commands"], 0)
            # One day is a range; a dry run needs no port.
            day = ["2024-05-31"] * 2
            self.assertEqual(run(*port, "period-report", "--short", *day).returncode, 0)
            dry = run("receipt", "--dry-run", "-", stdin=None, input=RECEIPT)
            self.assertEqual(dry.returncode, 0, dry.stderr)

    def test_limits_are_said_before_anything_runs(self):
        with Emulator() as emu:
            result = run("--port", emu.path, "raw", "46", *["00"] * 300)
            failed(self, result, 2, "300 parameter bytes: the limit is 255")
            self.assertEqual(emu.state()["line"]["commands"], 0)
        # A trace the emulator cannot write stops it at start, not silently later.
        started = subprocess.run([os.environ["KESTRA_EMU"], "--trace", "/nonexistent/dir/trace"],
                                 capture_output=True, text=True, timeout=30)
        self.assertNotEqual(started.returncode, 0)
        self.assertIn("/nonexistent/dir/trace", started.stderr)

    def test_version_and_help_for_every_command(self):
        lines = run("--version").stdout.decode().splitlines()
        self.assertRegex(lines[0], r"^tauravat \d+\.\d+\.\d+$")
        self.assertEqual(lines[1], "libtauravat " + run_json("version")[1]["version"])
        # One version throughout: the program, the library it loads, the emulator.
        version = lines[0].split()[1]
        self.assertEqual(_library.version(), version)
        emulator = subprocess.run([os.environ.get("KESTRA_EMU", "kestra-emu"), "--version"],
                                  capture_output=True, timeout=30)
        self.assertEqual((emulator.returncode, emulator.stdout.decode()),
                         (0, f"kestra-emu {version}\n"))
        overview = run("-h").stdout.decode()
        self.assertIn("-p, --port PORT", overview)
        self.assertIn("Nastapiło unieważnienie",
                      run("--lang", "pl", "message", "210").stdout.decode())
        commands = [line.split()[0] for line in
                    overview.split("Commands:\n")[1].split("\n\n")[0].splitlines()]
        self.assertIn("receipt", commands)
        for command in commands:
            with self.subTest(command):
                result = run(command, "--help")
                self.assertEqual(result.returncode, 0)
                self.assertTrue(result.stdout.decode().startswith("Usage: tauravat " + command))


def on_terminal(args, answer=""):
    # The terminal is read meanwhile: a full pty would block the program.
    master, slave = pty.openpty()
    shown = bytearray()

    def read_terminal():
        with contextlib.suppress(OSError):  # EIO once the program has let the pty go
            while chunk := os.read(master, 4096):
                shown.extend(chunk)

    reader = threading.Thread(target=read_terminal)
    reader.start()
    os.write(master, answer.encode() + b"\n")
    try:
        result = subprocess.run([CLI, *args], stdin=slave, stderr=slave, stdout=subprocess.PIPE,
                                env=UTF8, timeout=60)
    finally:
        os.close(slave)
        reader.join(timeout=10)
        os.close(master)
    return result, bytes(shown).decode(errors="replace")


class Terminal(unittest.TestCase):
    def test_progress_shown_and_write_rates_asks_a_terminal_where_no_keeps_the_memory(self):
        with Emulator("--model", "luno", "--rates", "22,7,3,0,Z,R,R", "--receipts", "1",
                      "--line-ms", "60") as emu:
            result, shown = on_terminal(["--port", emu.path, "daily-report"])
            self.assertEqual(result.returncode, 0)
            self.assertIn("Trwa wydruk...", shown)  # the progress, during a report
            args = ["--json", "--port", emu.path, "write-rates", "23", "8"]
            result, asked = on_terminal(args, "n")
            out = json.loads(result.stdout)
            self.assertEqual((result.returncode, out["ok"], out["error"]), (1, False, "refused"))
            for text in ("The printer (KESTRA LUNO) holds A 22%, B 7%, C 3%, D 0%, E exempt",
                         "New rates: A 23%, B 8%, C 3%", "[y/N]"):
                self.assertIn(text, asked)
            self.assertEqual(emu.state()["rates"][:2], [2200, 700])
            result, asked = on_terminal(args, "y")
            self.assertEqual(result.returncode, 0, asked)
            self.assertEqual(emu.state()["rates"][:3], [2300, 800, 300])
            # The rates it holds now: nothing to ask, nothing written.
            result, asked = on_terminal(args, "")
            self.assertEqual(result.returncode, 0, asked)
            self.assertNotIn("[y/N]", asked)
            self.assertEqual(json.loads(result.stdout)["written"], False)


# The bash completion, driven as bash and readline drive it.
SCRIPT = Path(__file__).resolve().parents[2] / "packaging/completion/tauravat.bash"
EMU = os.environ["KESTRA_EMU"]

DRIVER = r'''
source "$SCRIPT"; line=$LINE; words=()
for word in $line; do
  # readline splits at "=" and ":" and keeps each as a word of its own
  while [[ $word =~ ^([^=:]*)([=:])(.*)$ ]]; do
    [[ -n ${BASH_REMATCH[1]} ]] && words+=("${BASH_REMATCH[1]}")
    words+=("${BASH_REMATCH[2]}"); word=${BASH_REMATCH[3]}
  done
  words+=("$word")
done
[[ $line == *" " ]] && words+=("")
COMP_WORDS=("${words[@]}") COMP_CWORD=$((${#words[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
function=$(complete -p "$NAME" | awk '{ print $3 }')
"$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\n' "${COMPREPLY[@]}"
'''


def complete(program, line, **environment):
    name = "tauravat" if program == CLI else "kestra-emu"
    env = dict(os.environ, SCRIPT=str(SCRIPT), NAME=name, LINE=f"{program} {line}",
               **environment)
    result = subprocess.run(["bash", "-c", DRIVER], capture_output=True, text=True, env=env,
                            check=True, timeout=30)
    return [word for word in result.stdout.split("\n") if word]


class Completion(unittest.TestCase):
    def test_commands_options_values_and_ports_of_tauravat_and_kestra_emu(self):
        commands = re.findall(r"^  ([a-z][a-z-]+) ", run("-h").stdout.decode(), re.M)
        self.assertIn("write-rates", commands)
        for program, line, offered in (
                (CLI, "", commands), (CLI, "re", [c for c in commands if c[:2] == "re"]),
                (CLI, "--json rea", ["read-rates"]), (CLI, "--timeout ", []),
                (CLI, "--speed ", ["9600", "19200", "28800"]),
                (CLI, "totals --rate ", list("ABCDEFG+")), (CLI, "write-rates 23 e", ["exempt"]),
                (EMU, "--model luno-e", ["luno-e", "luno-efv"]),
                (EMU, "--fault 0x24:si", ["silence"]), (EMU, "--seed ", []),
                (EMU, "--fault-kinds nak,dr", ["nak,drop-byte"])):
            self.assertEqual(complete(program, line), offered, line)
        for program, line, included in (  # after the command, its options with the common ones
                (CLI, "totals --", {"--rate", "--port"}), (CLI, "receipt ", {"-"}),
                (CLI, "--port /dev/nul", {"/dev/null"}), (CLI, "identify -p CO", {"COM7"}),
                (EMU, "--", {"--model", "--fault", "--paper", "--no-paper", "--lock",
                             "--status9b"}),
                (EMU, "--model ", {"rx820a-4", "luno", "luno-efv", "unknown", "0", "11"})):
            offered = complete(program, line, TAURAVAT_COM7="/dev/null")
            self.assertLessEqual(included, set(offered), line)
        self.assertNotIn("--rate", complete(CLI, "identify --"))
        # No device maps to COM200 and up: the lent number once, though two sources name it.
        self.assertEqual(complete(CLI, "--port=COM20", TAURAVAT_COM201="/dev/null"), ["COM201"])


if __name__ == "__main__":
    unittest.main()
