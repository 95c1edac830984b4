"""The protocol trace written by the driver (TAURAVAT_TRACE) and by kestra-emu --trace."""

import os
import subprocess
import tempfile
import unittest

from tauravat.emulator import Emulator

CLI = os.environ.get("TAURAVAT_CLI", "tauravat")


def lines(path):
    with open(path, encoding="ascii") as f:
        return [line.split() for line in f if not line.startswith("#")]


def without_time(trace):
    return [fields[1:] for fields in trace]


class Trace(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.driver_trace = os.path.join(self.dir.name, "driver.trace")

        self.addCleanup(self.dir.cleanup)

    def tauravat(self, emu, *args):
        env = dict(os.environ, TAURAVAT_TRACE=self.driver_trace)
        return subprocess.run([CLI, "--port", emu.path, *args], env=env, capture_output=True,
                              timeout=60)

    def test_one_sequence_byte_by_byte_at_both_ends(self):
        emu_trace = os.path.join(self.dir.name, "emu.trace")
        with Emulator("--model", "luno", "--trace", emu_trace) as emu:
            self.assertEqual(self.tauravat(emu, "raw", "--reply", "2", "FF").returncode, 0)
            self.assertEqual(self.tauravat(emu, "raw", "46", "03").returncode, 0)
            emu.close()
            expected = [[">", "FF", "1B"], [">", "FF", "FF"], ["<", "FF", "06"], ["<", "FF", "2C"],
                        [">", "46", "1B"], [">", "46", "46"], ["<", "46", "06"], [">", "46", "03"]]
            driver = lines(self.driver_trace)
            self.assertEqual(without_time(driver), expected)
            self.assertEqual(without_time(lines(emu_trace)), expected)
            # Microseconds since the run began: rising within each of the two runs.
            times = [int(fields[0]) for fields in driver]
            self.assertEqual((times[:4], times[4:]), (sorted(times[:4]), sorted(times[4:])))
            with open(self.driver_trace, encoding="ascii") as f:
                headers = [line for line in f if line.startswith("# tauravat trace: driver")]
            self.assertEqual(len(headers), 2)  # appended, one header per run

    def test_receipt_conversation_matches_line_by_line(self):
        emu_trace = os.path.join(self.dir.name, "emu.trace")
        receipt = os.path.join(self.dir.name, "receipt.json")
        with open(receipt, "w", encoding="utf-8") as f:
            f.write('{"items": [{"name": "Chleb razowy krojony", "rate": "A", "quantity": 2,'
                    ' "price": 450}, {"package": "Z", "first": 2, "second": 30, "amount": 1}],'
                    ' "payments": [{"name": "Karta", "first": 900}]}')
        with Emulator("--rates", "23", "--trace", emu_trace) as emu:
            result = self.tauravat(emu, "receipt", receipt)
            self.assertEqual(result.returncode, 0, result.stderr)
            emu.close()
            driver = without_time(lines(self.driver_trace))
            self.assertEqual(driver, without_time(lines(emu_trace)))
            # The package line's acknowledgement, read after its sequence, keeps its command.
            package = [fields for fields in driver if fields[1] == "17"]
            self.assertEqual(package[-1], ["<", "17", "06"])
            self.assertEqual(len(package), 2 + 10 + 1)

    def test_a_timeout_is_marked_and_nothing_written_without_the_variable(self):
        with Emulator("--fault", "any:silence:0:-1") as emu:
            result = self.tauravat(emu, "--timeout", "1", "raw", "--reply", "2", "FF")
            self.assertEqual(result.returncode, 3)
            self.assertEqual(without_time(lines(self.driver_trace)),
                             [[">", "FF", "1B"], [">", "FF", "FF"], ["<", "FF", "--", "timeout"]])
            os.unlink(self.driver_trace)
            subprocess.run([CLI, "--port", emu.path, "--timeout", "1", "raw", "FF"],
                           capture_output=True, timeout=60,
                           env={k: v for k, v in os.environ.items() if k != "TAURAVAT_TRACE"})
        self.assertFalse(os.path.exists(self.driver_trace))


if __name__ == "__main__":
    unittest.main()
