"""tauravat driven end to end against kestra-emu: what the program adds (its arguments,
its text and JSON output, its exit statuses), not what the driver does behind it."""

import json
import os
import subprocess
import tempfile
import unittest

from tauravat.emulator import Emulator

CLI = os.environ.get("TAURAVAT_CLI", "tauravat")
UTF8 = dict(os.environ, LC_ALL="C.UTF-8")


def run(*args, env=None, stdin=None):
    return subprocess.run([CLI, *args], capture_output=True, env=env or UTF8, input=stdin,
                          timeout=60)


def run_json(*args, env=None):
    result = run("--json", *args, env=env)
    return result.returncode, json.loads(result.stdout.decode())


RECEIPT = {
    "items": [
        {"name": "Chleb razowy krojony", "rate": "A", "quantity": 2, "price": 450},
        {"name": "Ser żółty gouda", "rate": "B", "quantity": "0.350", "unit": "kg",
         "price": 2999},
        {"name": "Mleko świeże 3,2%", "rate": "B", "quantity": 1, "price": 329},
        {"name": "Mleko świeże 3,2%", "rate": "B", "quantity": 1, "price": 329,
         "cancel": True},
        {"package": "S", "first": 1, "second": 50, "amount": 2},
        {"subtotal": True},
    ],
    "discount": 10,
    "payments": [{"name": "Gotówka", "first": 5000}],
    "extra_lines": [{"code": 0, "text": "Dziękujemy za zakupy"}],
}


def receipt_file(directory, content):
    path = os.path.join(directory, "receipt.json")
    with open(path, "w", encoding="utf-8") as f:
        f.write(content if isinstance(content, str) else json.dumps(content, ensure_ascii=False))
    return path


class IdentifyAndRates(unittest.TestCase):
    def test_identify_names_the_model_in_text_and_json(self):
        with Emulator("--model", "taura2") as emu:
            result = run("--port", emu.path, "identify")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("TAURA II generacji (device type 3)", result.stdout.decode())
            code, out = run_json("--port", emu.path, "identify")
            self.assertEqual((code, out["ok"], out["type"]), (0, True, 3))

    def test_rates_written_then_read_back_from_the_printer(self):
        with Emulator("--rates", "22,7,3,0,Z,R,R") as emu:
            code, out = run_json("--port", emu.path, "read-rates")
            self.assertEqual(code, 0)
            self.assertEqual(out["rates"], {"A": 2200, "B": 700, "C": 300, "D": 0, "E": 10000,
                                            "F": 25500, "G": 25500})
            result = run("--port", emu.path, "write-rates", "23", "8", "5", "0", "Z", "7.5")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("F 7.50%\nG REZERWA", result.stdout.decode())
            self.assertEqual(emu.state()["rates"], [2300, 800, 500, 0, 10000, 750, 25500])

    def test_bad_rate_is_a_usage_error_and_nothing_is_sent(self):
        with Emulator() as emu:
            result = run("--port", emu.path, "write-rates", "23", "101")
            self.assertEqual(result.returncode, 2)
            self.assertIn("rate B", result.stderr.decode())
            self.assertEqual(emu.state()["line"]["commands"], 0)


class Receipt(unittest.TestCase):
    def test_json_receipt_printed_with_totals_in_the_printer(self):
        with Emulator("--rates", "23,8,5,0,Z,R,R") as emu, tempfile.TemporaryDirectory() as d:
            code, out = run_json("--port", emu.path, "receipt", receipt_file(d, RECEIPT))
            self.assertEqual(code, 0, out)
            # 2 x 4.50; 0.350 x 29.99 = 10.4965 rounds half up; the milk sold and cancelled.
            self.assertEqual(out["values"], [900, 1050, 329, 329])
            self.assertEqual(out["sum"], 1950)
            state = emu.state()
            self.assertEqual(state["counters"]["receiptsSinceDailyReport"], 1)
            self.assertFalse(state["receipt"]["open"])
            # 10 % off per rate: 900 -> 810, 1050 -> 945.
            self.assertEqual(state["totals"]["day"][:2], [810, 945])
            code, total = run_json("--port", emu.path, "totals")
            self.assertEqual(total["total"], "1755")

    def test_receipt_from_standard_input(self):
        with Emulator("--rates", "23") as emu:
            receipt = {"items": [{"name": "Chleb razowy krojony", "rate": 1, "quantity": 1.5,
                                  "price": 199}]}
            result = subprocess.run([CLI, "--json", "--port", emu.path, "receipt", "-"],
                                    input=json.dumps(receipt).encode(), capture_output=True,
                                    env=UTF8, timeout=60)
            self.assertEqual(json.loads(result.stdout)["values"], [299])
            self.assertEqual(emu.state()["totals"]["day"][0], 299)

    def test_malformed_receipts_name_the_fault_and_send_nothing(self):
        item = {"name": "Chleb razowy krojony", "rate": "A", "quantity": 1, "price": 450}
        cases = {
            "not JSON": ('{"items": [', "not valid JSON"),
            "no items": ({"discount": 5}, "items: missing"),
            "typo": ({"items": [dict(item, prcie=1)]}, "items[0]: unknown field \"prcie\""),
            "price text": ({"items": [dict(item, price="4.50")]}, "items[0].price"),
            "rate H": ({"items": [dict(item, rate="H")]}, "items[0].rate"),
            "five decimals": ({"items": [dict(item, quantity="1.00001")]}, "4 decimal places"),
            "short name": ({"items": [dict(item, name="a-b")]}, "items[0].name"),
            "discount": ({"items": [item], "discount": 100}, "receipt.discount"),
            "five payments": ({"items": [item], "payments": [{"name": "X", "first": 1}] * 5},
                              "payments: at most 4"),
            "line feed": ({"items": [item], "extra_lines": [{"text": "a\nb"}]},
                          "extra_lines[0].text"),
            "not 1250": ({"items": [dict(item, name="Chleb 日本 razowy")]}, "code page 1250"),
        }
        with Emulator() as emu, tempfile.TemporaryDirectory() as d:
            for name, (content, message) in cases.items():
                with self.subTest(name):
                    result = run("--port", emu.path, "receipt", receipt_file(d, content))
                    self.assertEqual(result.returncode, 2)
                    self.assertIn(message, result.stderr.decode())
            self.assertEqual(emu.state()["line"]["commands"], 0)

    def test_dry_run_checks_without_a_port(self):
        with tempfile.TemporaryDirectory() as d:
            result = run("receipt", "--dry-run", receipt_file(d, RECEIPT))
            self.assertEqual(result.returncode, 0, result.stderr)

    def test_package_on_a_model_without_packages_refused_before_the_receipt(self):
        with Emulator("--model", "rx820a-6", "--rates", "23") as emu, \
                tempfile.TemporaryDirectory() as d:
            code, out = run_json("--port", emu.path, "receipt", receipt_file(d, RECEIPT))
            self.assertEqual((code, out["code"], out["step"]), (1, 213, "items[4]"))
            self.assertEqual(emu.state()["counters"]["receiptsSinceDailyReport"], 0)

    def test_a_failed_receipt_is_cancelled_unless_the_printer_did(self):
        for fault, outcome, cancelled in (("0x24:silence:0:1", (3, 21, "end"), True),
                                          ("0x06:cancel-receipt:0", (1, 210, "items[1]"), False)):
            with self.subTest(fault), Emulator("--rates", "23,8", "--fault", fault) as emu, \
                    tempfile.TemporaryDirectory() as d:
                status, out = run_json("--port", emu.path, "--timeout", "1", "receipt",
                                       receipt_file(d, RECEIPT))
                self.assertEqual((status, out["code"], out["step"]), outcome)
                self.assertEqual(out.get("cancel_code"), 0 if cancelled else None)
                self.assertFalse(emu.state()["receipt"]["open"])


class Raw(unittest.TestCase):
    def test_raw_sequences_show_only_the_reply_received(self):
        with Emulator("--model", "luno") as emu:
            result = run("--port", emu.path, "raw", "--reply", "2", "FF")
            self.assertEqual((result.returncode, result.stdout), (0, b"2C\n"))
            code, out = run_json("--port", emu.path, "raw", "--reply=4", "0xFE")
            self.assertEqual(out["reply"], "7C 01 00")
            # Line feed count with one parameter byte: just the ACK.
            code, out = run_json("--port", emu.path, "raw", "46", "03")
            self.assertEqual((code, out["reply"]), (0, "06"))

    def test_bad_hex_is_a_usage_error_and_nothing_is_sent(self):
        with Emulator() as emu:
            for words in (["1G"], ["46", "0"], ["46", "zz"], ["146"]):
                with self.subTest(words):
                    result = run("--port", emu.path, "raw", *words)
                    self.assertEqual(result.returncode, 2)
            self.assertEqual(emu.state()["line"]["commands"], 0)


class ExitStatuses(unittest.TestCase):
    def test_refusal_is_1(self):
        with Emulator() as emu:
            code, out = run_json("--port", emu.path, "daily-report")
            self.assertEqual((code, out["code"]), (1, 211))
            self.assertEqual(out["message"],
                             "Zerowy licznik paragonów (brak sprzedaży po rap.dobowym).")

    def test_silent_printer_is_3_with_the_timeout_text(self):
        with Emulator("--fault", "any:silence:0:-1") as emu:
            result = run("--port", emu.path, "--timeout", "1", "identify")
            self.assertEqual(result.returncode, 3)
            self.assertIn("TIMEOUT ODBIERANIA", result.stderr.decode())
            self.assertIn("[21]", result.stderr.decode())

    def test_missing_device_is_3_with_the_system_reason(self):
        result = run("--port", "/nonexistent/tty", "identify")
        self.assertEqual(result.returncode, 3)
        self.assertIn("No such file or directory", result.stderr.decode())

    def test_command_line_mistakes_are_2(self):
        for args, message in ((["identify"], "no printer port"),
                              (["--port", "1", "identify", "--force"], "unknown option --force"),
                              (["--port", "COM0", "identify"], "COM number 1..255"),
                              (["--speed", "4800", "identify"], "--speed"),
                              (["frobnicate"], "unknown command"),
                              (["--port", "1", "drawer", "4"], "drawer"),
                              (["--port", "1", "period-report", "2024-13-01", "2024-12-31"],
                               "YYYY-MM-DD")):
            with self.subTest(args):
                result = run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(message, result.stderr.decode())

    def test_every_command_has_help(self):
        overview = run("--help").stdout.decode()
        commands = [line.split()[0] for line in
                    overview.split("Commands:\n")[1].split("\n\n")[0].splitlines()]
        self.assertIn("receipt", commands)
        for command in commands:
            with self.subTest(command):
                result = run(command, "--help")
                self.assertEqual(result.returncode, 0)
                self.assertTrue(result.stdout.decode().startswith("Usage: tauravat " + command))


class Terminal(unittest.TestCase):
    def test_messages_follow_the_terminal_encoding(self):
        self.assertIn("Nastapiło unieważnienie".encode(), run("message", "210").stdout)
        latin2 = dict(os.environ, LC_ALL="pl_PL.ISO-8859-2")
        probe = subprocess.run(["locale", "charmap"], env=latin2, capture_output=True, text=True)
        if probe.stdout.strip() != "ISO-8859-2":
            self.skipTest("no ISO-8859-2 locale installed")
        self.assertIn("unieważnienie".encode("iso-8859-2"),
                      run("message", "210", env=latin2).stdout)

    def test_progress_shown_on_a_terminal_during_a_report(self):
        import pty
        with Emulator("--receipts", "1", "--line-ms", "60") as emu:
            import threading
            master, slave = pty.openpty()
            shown = bytearray()

            # The terminal is read while the program runs: a full pty would block its
            # progress line, and with it the program.
            def read_terminal():
                try:
                    while chunk := os.read(master, 4096):
                        shown.extend(chunk)
                except OSError:
                    pass

            reader = threading.Thread(target=read_terminal)
            reader.start()
            try:
                result = subprocess.run([CLI, "--port", emu.path, "daily-report"], stderr=slave,
                                        stdout=subprocess.PIPE, env=UTF8, timeout=60)
            finally:
                os.close(slave)
                reader.join(timeout=10)
                os.close(master)
            self.assertEqual(result.returncode, 0)
            self.assertIn("Trwa wydruk...".encode(), bytes(shown))


if __name__ == "__main__":
    unittest.main()
