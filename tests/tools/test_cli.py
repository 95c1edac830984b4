"""tauravat driven end to end against kestra-emu: what the program adds (its arguments,
its text and JSON output, its exit statuses), not what the driver does behind it."""

import contextlib
import json
import os
import pty
import subprocess
import tempfile
import threading
import unittest

from tauravat.emulator import Emulator

CLI = os.environ.get("TAURAVAT_CLI", "tauravat")
# The trace is written only where a test asks for it.
UTF8 = {k: v for k, v in os.environ.items() if k != "TAURAVAT_TRACE"} | {"LC_ALL": "C.UTF-8"}


def run(*args, env=None, **options):
    # No terminal on standard input unless one is given: nothing may stop to ask.
    options.setdefault("stdin", subprocess.DEVNULL)
    return subprocess.run([CLI, *args], capture_output=True, env=env or UTF8, timeout=60,
                          **options)


def run_json(*args, env=None, **options):
    result = run("--json", *args, env=env, **options)
    return result.returncode, json.loads(result.stdout.decode())


RECEIPT = json.dumps({
    "items": [
        {"name": "Chleb razowy krojony", "rate": "A", "quantity": 2, "price": 450},
        {"name": "Ser żółty gouda", "rate": "B", "quantity": "0.350", "price": 2999},
        {"name": "Mleko świeże 3,2%", "rate": "B", "quantity": 1, "price": 329},
        {"name": "Mleko świeże 3,2%", "rate": "B", "quantity": 1, "price": 329,
         "cancel": True},
        {"package": "S", "first": 1, "second": 50, "amount": 2},
        {"subtotal": True},
    ],
    "discount": 10,
    "payments": [{"name": "Gotówka", "first": 5000}],
}).encode()


def receipt(port, *options, env=None):
    return run_json("--port", port, *options, "receipt", "-", env=env, stdin=None, input=RECEIPT)


class Commands(unittest.TestCase):
    def test_identify_in_text_and_json_with_the_port_from_options_or_environment(self):
        with Emulator("--model", "taura2") as emu:
            result = run("--port", emu.path, "identify")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("TAURA II generacji (device type 3)", result.stdout.decode())
            for args, env in ((["-p", emu.path, "-b", "19200"], None),
                              ([], dict(UTF8, TAURAVAT_PORT=emu.path))):
                code, out = run_json(*args, "identify", env=env)
                self.assertEqual((code, out["ok"], out["type"]), (0, True, 3))

    def test_rates_read_and_written(self):
        with Emulator("--rates", "22,7,3,0,Z,R,R") as emu:
            code, out = run_json("--port", emu.path, "read-rates")
            self.assertEqual(out["rates"], {"A": "22", "B": "7", "C": "3", "D": "0",
                                            "E": "exempt", "F": "reserved", "G": "reserved"})
            result = run("--port", emu.path, "write-rates", "--yes", "23", "8", "5", "0", "Z",
                         "7.5")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("E exempt\nF 7.5%\nG reserved", result.stdout.decode())
            self.assertEqual(emu.state()["rates"], [2300, 800, 500, 0, 10000, 750, 25500])

    def test_raw_sequences_show_only_the_reply_received(self):
        with Emulator("--model", "luno") as emu:
            result = run("--port", emu.path, "raw", "--reply", "2", "FF")
            self.assertEqual((result.returncode, result.stdout), (0, b"2C\n"))
            self.assertEqual(run_json("--port", emu.path, "raw", "--reply=4", "0xFE")[1]["reply"],
                             "7C 01 00")
            code, out = run_json("--port", emu.path, "raw", "46", "03")
            self.assertEqual((code, out["reply"]), (0, "06"))  # a parameter byte: just the ACK


class Receipt(unittest.TestCase):
    def test_receipt_from_standard_input_with_values_and_totals_in_zloty(self):
        with Emulator("--rates", "23,8,5,0,Z,R,R") as emu:
            code, out = receipt(emu.path)
            self.assertEqual(code, 0, out)
            # 2 x 4.50; 0.350 x 29.99 = 10.4965 rounds half up; the milk sold and cancelled.
            self.assertEqual((out["values"], out["sum"]), (["9.00", "10.50", "3.29", "3.29"],
                                                           "19.50"))
            state = emu.state()
            self.assertEqual(state["counters"]["receiptsSinceDailyReport"], 1)
            self.assertEqual(state["totals"]["day"][:2], [810, 945])  # 10 % off per rate
            self.assertEqual(run_json("--port", emu.path, "totals", "--rate", "B")[1]["total"],
                             "9.45")
            self.assertEqual(run("--port", emu.path, "totals").stdout, b"17.55\n")

    def test_a_model_without_packages_is_refused_before_the_receipt(self):
        with Emulator("--model", "rx820a-6", "--rates", "23") as emu:
            code, out = receipt(emu.path)
            self.assertEqual((code, out["code"], out["step"]), (1, 213, "items[4]"))
            state = emu.state()
            self.assertEqual((state["counters"]["cancelledSinceDailyReport"],
                              state["receipt"]["open"]), (0, False))

    def test_a_failed_end_is_tried_again_then_cancelled_unless_the_printer_did(self):
        # fault: exit status, code, step, cancel code, receipts printed
        for fault, outcome in (("0x24:silence:0:1", (0, 0, None, None, 1)),  # printed once
                               ("0x24:nak:0:-1", (1, 24, "end", 0, 0)),
                               ("0x06:cancel-receipt:0", (1, 210, "items[1]", None, 0))):
            with self.subTest(fault), Emulator("--rates", "23,8", "--fault", fault) as emu:
                status, out = receipt(emu.path, "--timeout", "1")
                state = emu.state()
                self.assertEqual((status, out["code"], out.get("step"), out.get("cancel_code"),
                                  state["counters"]["receiptsSinceDailyReport"]), outcome)
                self.assertFalse(state["receipt"]["open"])


class ExitStatuses(unittest.TestCase):
    def test_refusal_is_1_a_silent_or_missing_printer_3(self):
        with Emulator() as emu:
            code, out = run_json("--port", emu.path, "daily-report")
            self.assertEqual((code, out["code"], out["error"]), (1, 211, "refused"))
            self.assertEqual(out["message"],
                             "Zerowy licznik paragonów (brak sprzedaży po rap.dobowym).")
        with Emulator("--fault", "any:silence:0:-1") as emu:
            result = run("--port", emu.path, "--timeout", "1", "identify")
            self.assertEqual(result.returncode, 3)
            self.assertIn("TIMEOUT ODBIERANIA", result.stderr.decode())
            self.assertIn("[21]", result.stderr.decode())
        # A port that cannot be opened: 3, naming the device tried.
        env = dict(UTF8, TAURAVAT_COM40="/nonexistent/ttyUSB7")
        code, out = run_json("--port", "COM40", "identify", env=env)
        self.assertEqual((code, out["code"], out["error"]), (3, 2, "communication"))
        self.assertEqual(out["message"], "COM40 (/nonexistent/ttyUSB7): no such device")
        self.assertEqual(out["port_path"], "/nonexistent/ttyUSB7")
        with tempfile.NamedTemporaryFile() as not_a_tty:
            result = run("--port", not_a_tty.name, "identify")
            self.assertEqual(result.returncode, 3)
            self.assertIn(not_a_tty.name + ": not a serial device", result.stderr.decode())

    def test_mistakes_are_2_in_text_or_json_and_nothing_is_sent(self):
        with Emulator() as emu:
            port = ["--port", emu.path]
            for args, message in ((["identify"], "no printer port"),
                                  ([*port, "identify", "--force"], "unknown option --force"),
                                  (["frobnicate"], "unknown command"),
                                  ([*port, "drawer", "4"], "drawer"),
                                  ([*port, "period-report", "2024-13-01", "2024-12-31"],
                                   "YYYY-MM-DD"),
                                  ([*port, "period-report", "2023-02-29", "2024-12-31"],
                                   "YYYY-MM-DD"),
                                  ([*port, "period-report", "2025-01-01", "2024-12-31"],
                                   "the first is after the last"),
                                  ([*port, "number-report", "12", "3"],
                                   "the first is after the last"),
                                  ([*port, "write-rates", "23"], "--yes"),
                                  ([*port, "write-rates", "--yes", "23", "101"], "rate B"),
                                  ([*port, "raw", "46", "0"], "\"0\""),
                                  ([*port, "receipt", "-"], "not valid JSON")):
                with self.subTest(args):
                    result = run(*args, stdin=None, input=b'{"items": [')
                    self.assertEqual((result.returncode, result.stdout), (2, b""))
                    self.assertIn(message, result.stderr.decode())
                    # With --json anywhere: one JSON object on standard output.
                    result = run("--json", *args, stdin=None, input=b'{"items": [')
                    self.assertEqual(result.returncode, 2)
                    out = json.loads(result.stdout)
                    self.assertEqual((out["ok"], out["error"]), (False, "usage"))
                    self.assertIn(message, out["message"])
            self.assertEqual(emu.state()["line"]["commands"], 0)
            # One day is a range; a dry run needs no port.
            self.assertEqual(run(*port, "period-report", "--short", "2024-05-31",
                                 "2024-05-31").returncode, 0)
            self.assertEqual(run("receipt", "--dry-run", "-", stdin=None,
                                 input=RECEIPT).returncode, 0)

    def test_version_and_help_for_every_command(self):
        lines = run("--version").stdout.decode().splitlines()
        self.assertRegex(lines[0], r"^tauravat \d+\.\d+\.\d+$")
        self.assertEqual(lines[1], "libtauravat " + run_json("version")[1]["version"])
        overview = run("-h").stdout.decode()
        self.assertIn("-p, --port PORT", overview)
        self.assertIn("Nastapiło unieważnienie".encode(), run("message", "210").stdout)
        commands = [line.split()[0] for line in
                    overview.split("Commands:\n")[1].split("\n\n")[0].splitlines()]
        self.assertIn("receipt", commands)
        for command in commands:
            with self.subTest(command):
                result = run(command, "--help")
                self.assertEqual(result.returncode, 0)
                self.assertTrue(result.stdout.decode().startswith("Usage: tauravat " + command))


def on_terminal(args, answer=""):
    """tauravat with a terminal on standard input and error, answered `answer`; the terminal
    is read meanwhile, since a full pty would block the program."""
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
    def test_write_rates_asks_a_terminal_and_no_keeps_the_fiscal_memory(self):
        with Emulator("--model", "luno", "--rates", "22,7,3,0,Z,R,R") as emu:
            args = ["--json", "--port", emu.path, "write-rates", "23", "8"]
            result, asked = on_terminal(args, "n")
            out = json.loads(result.stdout)
            self.assertEqual((result.returncode, out["ok"], out["error"]), (1, False, "refused"))
            self.assertIn("The printer (KESTRA LUNO) holds A 22%, B 7%, C 3%, D 0%, E exempt",
                          asked)
            self.assertIn("New rates: A 23%, B 8%, C reserved", asked)
            self.assertIn("[y/N]", asked)
            self.assertEqual(emu.state()["rates"][:2], [2200, 700])
            result, asked = on_terminal(args, "y")
            self.assertEqual(result.returncode, 0, asked)
            self.assertEqual(emu.state()["rates"][:3], [2300, 800, 25500])

    def test_progress_shown_on_a_terminal_during_a_report(self):
        with Emulator("--receipts", "1", "--line-ms", "60") as emu:
            result, shown = on_terminal(["--port", emu.path, "daily-report"])
            self.assertEqual(result.returncode, 0)
            self.assertIn("Trwa wydruk...", shown)


class Ports(unittest.TestCase):
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
        with Emulator("--fault", "any:silence:0:-1") as emu:
            result = run("--port", emu.path, "probe")
            self.assertEqual(result.returncode, 3)
            self.assertIn("no printer answered at 9600, 19200 or 28800 b/s",
                          result.stderr.decode())
            self.assertEqual(result.stdout.decode().count("no answer [21]"), 3)

    def test_usb_adapter_shown_from_a_made_up_sysfs_tree(self):
        with tempfile.TemporaryDirectory() as root:
            sysfs, dev = os.path.join(root, "sys"), os.path.join(root, "dev")
            usb = os.path.join(sysfs, "devices", "usb1", "1-2")
            os.makedirs(os.path.join(usb, "1-2:1.0", "ttyUSB0"))
            for name, value in (("idVendor", "067b"), ("idProduct", "2303"),
                                ("serial", "PL7Q"), ("product", "USB-Serial Controller")):
                with open(os.path.join(usb, name), "w") as f:
                    f.write(value + "\n")
            os.makedirs(os.path.join(sysfs, "class", "tty", "ttyUSB0"))
            os.symlink(os.path.join(usb, "1-2:1.0", "ttyUSB0"),
                       os.path.join(sysfs, "class", "tty", "ttyUSB0", "device"))
            os.makedirs(dev)
            open(os.path.join(dev, "ttyUSB0"), "w").close()
            env = dict(UTF8, TAURAVAT_SYSFS_ROOT=sysfs, TAURAVAT_DEV_ROOT=dev)
            self.assertEqual(run_json("ports", env=env)[1]["ports"], [{
                "path": os.path.join(dev, "ttyUSB0"), "com": [33], "by_id": None,
                "usb": {"vendor_id": "067b", "product_id": "2303", "serial": "PL7Q",
                        "manufacturer": None, "product": "USB-Serial Controller"}}])
            text = run("ports", env=env).stdout.decode()
            self.assertIn(os.path.join(dev, "ttyUSB0") + "  COM33", text)
            self.assertIn("usb    067b:2303 serial PL7Q (USB-Serial Controller)", text)
            os.unlink(os.path.join(dev, "ttyUSB0"))
            self.assertEqual(run("ports", env=env).stdout, b"no serial ports found\n")


def trace(path):
    """The trace's lines split into fields, its comments left out."""
    with open(path, encoding="ascii") as f:
        return [line.split() for line in f if not line.startswith("#")]


class Trace(unittest.TestCase):
    """The protocol trace written by the driver (TAURAVAT_TRACE) and by kestra-emu --trace."""

    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.driver, self.emulator = (os.path.join(directory.name, name) for name in "de")
        self.env = dict(UTF8, TAURAVAT_TRACE=self.driver)

    def test_sequences_byte_by_byte_at_both_ends_appended_run_by_run(self):
        with Emulator("--model", "luno", "--trace", self.emulator) as emu:
            for args in (["--reply", "2", "FF"], ["46", "03"]):
                self.assertEqual(run("--port", emu.path, "raw", *args, env=self.env).returncode, 0)
        expected = [[">", "FF", "1B"], [">", "FF", "FF"], ["<", "FF", "06"], ["<", "FF", "2C"],
                    [">", "46", "1B"], [">", "46", "46"], ["<", "46", "06"], [">", "46", "03"]]
        driver = trace(self.driver)
        self.assertEqual([fields[1:] for fields in driver], expected)
        self.assertEqual([fields[1:] for fields in trace(self.emulator)], expected)
        # Microseconds since the run began: rising within each of the two runs.
        times = [int(fields[0]) for fields in driver]
        self.assertEqual((times[:4], times[4:]), (sorted(times[:4]), sorted(times[4:])))
        with open(self.driver, encoding="ascii") as f:
            self.assertEqual(f.read().count("# tauravat trace: driver"), 2)

    def test_a_receipt_traced_alike_at_both_ends(self):
        with Emulator("--rates", "23,8", "--trace", self.emulator) as emu:
            self.assertEqual(receipt(emu.path, env=self.env)[0], 0)
        driver = [fields[1:] for fields in trace(self.driver)]
        self.assertEqual(driver, [fields[1:] for fields in trace(self.emulator)])
        # The package line's acknowledgement, read after its sequence, keeps its command.
        package = [fields for fields in driver if fields[1] == "17"]
        self.assertEqual((package[-1], len(package)), (["<", "17", "06"], 2 + 10 + 1))

    def test_a_timeout_is_marked_and_nothing_written_without_the_variable(self):
        with Emulator("--fault", "any:silence:0:-1") as emu:
            result = run("--port", emu.path, "--timeout", "1", "raw", "--reply", "2", "FF",
                         env=self.env)
            self.assertEqual(result.returncode, 3)
            self.assertEqual([fields[1:] for fields in trace(self.driver)],
                             [[">", "FF", "1B"], [">", "FF", "FF"], ["<", "FF", "--", "timeout"]])
            os.unlink(self.driver)
            run("--port", emu.path, "--timeout", "1", "raw", "FF")
        self.assertFalse(os.path.exists(self.driver))


if __name__ == "__main__":
    unittest.main()
