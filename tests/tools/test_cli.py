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


def run(*args, env=None):
    # No terminal on standard input: nothing may stop to ask.
    return subprocess.run([CLI, *args], capture_output=True, env=env or UTF8,
                          stdin=subprocess.DEVNULL, timeout=60)


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
            self.assertEqual(out["rates"], {"A": "22", "B": "7", "C": "3", "D": "0",
                                            "E": "exempt", "F": "reserved", "G": "reserved"})
            result = run("--port", emu.path, "write-rates", "--yes", "23", "8", "5", "0", "Z",
                         "7.5")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("E exempt\nF 7.5%\nG reserved", result.stdout.decode())
            self.assertEqual(emu.state()["rates"], [2300, 800, 500, 0, 10000, 750, 25500])
            # What JSON shows can be written back as it is.
            rates = list(run_json("--port", emu.path, "read-rates")[1]["rates"].values())
            self.assertEqual(run("--port", emu.path, "write-rates", "--yes", *rates).returncode, 0)
            self.assertEqual(emu.state()["rates"], [2300, 800, 500, 0, 10000, 750, 25500])


    def test_bad_rate_is_a_usage_error_and_nothing_is_sent(self):
        with Emulator() as emu:
            result = run("--port", emu.path, "write-rates", "--yes", "23", "101")
            self.assertEqual(result.returncode, 2)
            self.assertIn("rate B", result.stderr.decode())
            self.assertEqual(emu.state()["line"]["commands"], 0)


class Receipt(unittest.TestCase):
    def test_json_receipt_printed_with_totals_in_the_printer(self):
        with Emulator("--rates", "23,8,5,0,Z,R,R") as emu, tempfile.TemporaryDirectory() as d:
            code, out = run_json("--port", emu.path, "receipt", receipt_file(d, RECEIPT))
            self.assertEqual(code, 0, out)
            # 2 x 4.50; 0.350 x 29.99 = 10.4965 rounds half up; the milk sold and cancelled.
            self.assertEqual(out["values"], ["9.00", "10.50", "3.29", "3.29"])
            self.assertEqual(out["sum"], "19.50")
            state = emu.state()
            self.assertEqual(state["counters"]["receiptsSinceDailyReport"], 1)
            self.assertFalse(state["receipt"]["open"])
            # 10 % off per rate: 900 -> 810, 1050 -> 945.
            self.assertEqual(state["totals"]["day"][:2], [810, 945])
            code, total = run_json("--port", emu.path, "totals")
            self.assertEqual(total["total"], "17.55")
            code, total = run_json("--port", emu.path, "totals", "--rate", "B")
            self.assertEqual(total["total"], "9.45")
            self.assertEqual(run("--port", emu.path, "totals").stdout, b"17.55\n")

    def test_receipt_from_standard_input(self):
        with Emulator("--rates", "23") as emu:
            receipt = {"items": [{"name": "Chleb razowy krojony", "rate": 1, "quantity": 1.5,
                                  "price": 199}]}
            result = subprocess.run([CLI, "--json", "--port", emu.path, "receipt", "-"],
                                    input=json.dumps(receipt).encode(), capture_output=True,
                                    env=UTF8, timeout=60)
            self.assertEqual(json.loads(result.stdout)["values"], ["2.99"])
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

    def test_a_failed_end_is_tried_again_then_cancelled_unless_the_printer_did(self):
        # fault: exit status, code, step, cancel code, receipts printed
        for fault, outcome in (("0x24:silence:0:1", (0, 0, None, None, 1)),  # printed once
                               ("0x24:nak:0:-1", (1, 24, "end", 0, 0)),
                               ("0x06:cancel-receipt:0", (1, 210, "items[1]", None, 0))):
            with self.subTest(fault), Emulator("--rates", "23,8", "--fault", fault) as emu, \
                    tempfile.TemporaryDirectory() as d:
                status, out = run_json("--port", emu.path, "--timeout", "1", "receipt",
                                       receipt_file(d, RECEIPT))
                state = emu.state()
                self.assertEqual((status, out["code"], out.get("step"), out.get("cancel_code"),
                                  state["counters"]["receiptsSinceDailyReport"]), outcome)
                self.assertFalse(state["receipt"]["open"])


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

    def test_missing_device_is_3_and_names_the_device_tried(self):
        result = run("--port", "/nonexistent/tty", "identify")
        self.assertEqual(result.returncode, 3)
        self.assertIn("/nonexistent/tty: no such device", result.stderr.decode())
        env = dict(UTF8, TAURAVAT_COM40="/nonexistent/ttyUSB7")
        code, out = run_json("--port", "COM40", "identify", env=env)
        self.assertEqual((code, out["code"], out["error"]), (3, 2, "communication"))
        self.assertEqual(out["message"], "COM40 (/nonexistent/ttyUSB7): no such device")
        self.assertEqual(out["port_path"], "/nonexistent/ttyUSB7")
        with tempfile.NamedTemporaryFile() as not_a_tty:
            result = run("--port", not_a_tty.name, "identify")
            self.assertEqual(result.returncode, 3)
            self.assertIn(not_a_tty.name + ": not a serial device", result.stderr.decode())

    def test_command_line_mistakes_are_2_and_json_when_asked(self):
        for args, message in ((["identify"], "no printer port"),
                              (["--port", "1", "identify", "--force"], "unknown option --force"),
                              (["--port", "COM0", "identify"], "COM number 1..255"),
                              (["--speed", "4800", "identify"], "--speed"),
                              (["frobnicate"], "unknown command"),
                              (["--port", "1", "drawer", "4"], "drawer"),
                              (["--port", "1", "period-report", "2024-13-01", "2024-12-31"],
                               "YYYY-MM-DD"),
                              (["--port", "1", "period-report", "2023-02-29", "2024-12-31"],
                               "YYYY-MM-DD"),
                              (["--port", "1", "write-rates", "23"], "--yes"),
                              (["-p"], "-p needs a value")):
            with self.subTest(args):
                result = run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(message, result.stderr.decode())
                self.assertEqual(result.stdout, b"")
                # The same mistake with --json anywhere: one JSON object on standard output.
                result = run(*args, "--json") if args != ["-p"] else run("--json", "-p")
                self.assertEqual(result.returncode, 2)
                out = json.loads(result.stdout)
                self.assertEqual((out["ok"], out["error"]), (False, "usage"))
                self.assertIn(message, out["message"])

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


class Conventions(unittest.TestCase):
    def test_version_and_short_help(self):
        result = run("--version")
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.decode().splitlines()
        self.assertRegex(lines[0], r"^tauravat \d+\.\d+\.\d+$")
        self.assertEqual(lines[1], "libtauravat " + run_json("version")[1]["version"])
        self.assertEqual(run("-h").stdout, run("--help").stdout)
        self.assertIn("-p, --port PORT", run("-h").stdout.decode())
        self.assertEqual(run("probe", "-h").returncode, 0)

    def test_port_and_speed_from_short_options_and_the_environment(self):
        with Emulator("--model", "taura2") as emu:
            code, out = run_json("-p", emu.path, "-b", "19200", "identify")
            self.assertEqual((code, out["type"]), (0, 3))
            code, out = run_json("identify", env=dict(UTF8, TAURAVAT_PORT=emu.path))
            self.assertEqual((code, out["type"]), (0, 3))

    def test_reversed_ranges_refused_before_the_printer_is_asked(self):
        with Emulator("--receipts", "1") as emu:
            for args in (["period-report", "2024-05-31", "2024-05-01"],
                         ["period-report", "2025-01-01", "2024-12-31"],
                         ["number-report", "12", "3"]):
                with self.subTest(args):
                    code, out = run_json("--port", emu.path, *args)
                    self.assertEqual((code, out["error"]), (2, "usage"))
                    self.assertIn("the first is after the last", out["message"])
            self.assertEqual(emu.state()["line"]["commands"], 0)
            # One day is a range.
            self.assertEqual(run("--port", emu.path, "period-report", "--short", "2024-05-31",
                                 "2024-05-31").returncode, 0)


class WriteRatesConfirmation(unittest.TestCase):
    def answer_on_a_terminal(self, emu, answer):
        """write-rates with a terminal on standard input, answering `answer`."""
        import pty
        master, slave = pty.openpty()
        try:
            process = subprocess.Popen([CLI, "--json", "--port", emu.path, "write-rates", "23",
                                        "8"], stdin=slave, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE, env=UTF8)
            os.write(master, answer.encode() + b"\n")
            out, err = process.communicate(timeout=60)
        finally:
            os.close(slave)
            os.close(master)
        return process.returncode, json.loads(out), err.decode()

    def test_a_terminal_is_asked_and_no_keeps_the_fiscal_memory(self):
        with Emulator("--model", "luno", "--rates", "22,7,3,0,Z,R,R") as emu:
            code, out, asked = self.answer_on_a_terminal(emu, "n")
            self.assertEqual((code, out["ok"], out["error"]), (1, False, "refused"))
            self.assertIn("The printer (KESTRA LUNO) holds A 22%, B 7%, C 3%, D 0%, E exempt",
                          asked)
            self.assertIn("New rates: A 23%, B 8%, C reserved", asked)
            self.assertIn("[y/N]", asked)
            self.assertEqual(emu.state()["rates"][:2], [2200, 700])
            code, out, asked = self.answer_on_a_terminal(emu, "y")
            self.assertEqual(code, 0, asked)
            self.assertEqual(out["rates"]["B"], "8")
            self.assertEqual(emu.state()["rates"][:3], [2300, 800, 25500])

    def test_without_a_terminal_only_yes_writes(self):
        with Emulator("--rates", "22,7") as emu:
            result = run("--port", emu.path, "write-rates", "23")
            self.assertEqual(result.returncode, 2)
            self.assertIn("--yes", result.stderr.decode())
            self.assertEqual(emu.state()["line"]["commands"], 0)
            self.assertEqual(run("--port", emu.path, "write-rates", "23", "--yes").returncode, 0)
            self.assertEqual(emu.state()["rates"][0], 2300)


class Ports(unittest.TestCase):
    def test_a_pty_named_by_a_com_variable_is_listed_and_probed(self):
        with Emulator("--model", "taura2") as emu:
            env = dict(UTF8, TAURAVAT_COM7=emu.path)
            code, out = run_json("ports", env=env)
            self.assertEqual(code, 0)
            listed = [p for p in out["ports"] if p["path"] == emu.path]
            self.assertEqual(listed, [{"path": emu.path, "com": [7], "by_id": None, "usb": None}])
            self.assertIn(emu.path + "  COM7", run("ports", env=env).stdout.decode())

            code, out = run_json("--port", "COM7", "probe", env=env)
            self.assertEqual((code, out["speed"], out["device"], out["type"]),
                             (0, 9600, "TAURA II generacji", 3))
            self.assertIn("9600 b/s: TAURA II generacji (device type 3)",
                          run("--port", "7", "probe", env=env).stdout.decode())

    def test_probe_reports_the_speed_that_answered(self):
        # Silent to the first two connection attempts: those at 9600 and 19200 b/s.
        with Emulator("--model", "luno-f", "--fault", "any:silence:0:2") as emu:
            code, out = run_json("--port", emu.path, "probe")
            self.assertEqual(code, 0, out)
            self.assertEqual([a["speed"] for a in out["attempts"]], [9600, 19200, 28800])
            self.assertEqual([a["code"] for a in out["attempts"]], [21, 21, 0])
            self.assertEqual((out["speed"], out["type"]), (28800, 8))

    def test_probe_of_a_silent_or_missing_port_is_3(self):
        with Emulator("--fault", "any:silence:0:-1") as emu:
            result = run("--port", emu.path, "probe")
            self.assertEqual(result.returncode, 3)
            self.assertIn("no printer answered at 9600, 19200 or 28800 b/s",
                          result.stderr.decode())
            self.assertEqual(result.stdout.decode().count("no answer [21]"), 3)
        code, out = run_json("--port", "/nonexistent/tty", "probe")
        self.assertEqual((code, out["message"]), (3, "/nonexistent/tty: no such device"))
        self.assertEqual(len(out["attempts"]), 1)

    def test_usb_adapter_on_a_made_up_sysfs_tree(self):
        with tempfile.TemporaryDirectory() as root:
            sysfs, dev = os.path.join(root, "sys"), os.path.join(root, "dev")
            usb = os.path.join(sysfs, "devices", "usb1", "1-2")
            port = os.path.join(usb, "1-2:1.0", "ttyUSB0")
            os.makedirs(port)
            for name, value in (("idVendor", "067b"), ("idProduct", "2303"),
                                ("serial", "PL7Q"), ("product", "USB-Serial Controller")):
                with open(os.path.join(usb, name), "w") as f:
                    f.write(value + "\n")
            tty = os.path.join(sysfs, "class", "tty", "ttyUSB0")
            os.makedirs(tty)
            os.symlink(port, os.path.join(tty, "device"))
            os.makedirs(os.path.join(dev, "serial", "by-id"))
            open(os.path.join(dev, "ttyUSB0"), "w").close()
            by_id = os.path.join(dev, "serial", "by-id", "usb-Prolific_PL7Q-if00-port0")
            os.symlink("../../ttyUSB0", by_id)
            env = dict(UTF8, TAURAVAT_SYSFS_ROOT=sysfs, TAURAVAT_DEV_ROOT=dev)
            code, out = run_json("ports", env=env)
            self.assertEqual(code, 0)
            self.assertEqual(out["ports"], [{
                "path": os.path.join(dev, "ttyUSB0"), "com": [33], "by_id": by_id,
                "usb": {"vendor_id": "067b", "product_id": "2303", "serial": "PL7Q",
                        "manufacturer": None, "product": "USB-Serial Controller"}}])
            text = run("ports", env=env).stdout.decode()
            self.assertIn("usb    067b:2303 serial PL7Q (USB-Serial Controller)", text)
            os.unlink(by_id)
            os.unlink(os.path.join(dev, "ttyUSB0"))
            self.assertEqual(run("ports", env=env).stdout, b"no serial ports found\n")


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
