"""The legacy Python binding (tauravat.legacy, re-exported by tauravat) against kestra-emu:
its conversions of texts and out-parameters, and results raised or returned."""

import os
import unittest

import tauravat
from tauravat.emulator import Emulator

PORT = 201  # lent to the emulator's pty through TAURAVAT_COM201


class Binding(unittest.TestCase):
    def start(self, *options, connect=True):
        emu = Emulator(*options)
        self.addCleanup(emu.__exit__)
        os.environ[f"TAURAVAT_COM{PORT}"] = emu.path
        self.addCleanup(tauravat.communication_end, check=False)
        if connect:
            tauravat.communication_init(PORT)
        return emu

    def test_rates_receipt_and_totals_as_integers(self):
        emu = self.start("--rates", "22,7,3,0,Z,R,R", "--paper", os.devnull)
        self.assertEqual(tauravat.read_vat(),
                         (7, [2200, 700, 300, 0, tauravat.EXEMPT, tauravat.RESERVED,
                              tauravat.RESERVED]))
        self.assertEqual(tauravat.set_vat([2300, 800, 500, 0, tauravat.EXEMPT]), 7)
        self.assertEqual(emu.state()["rates"], [2300, 800, 500, 0, 10000, 25500, 25500])
        progress = []
        tauravat.set_callbacks(progress.append)
        self.addCleanup(tauravat.set_callbacks)
        tauravat.fill_payment(1, "Gotówka", 5000)
        self.assertEqual(tauravat.fill_lines(0, "Dziękujemy"), 5)
        tauravat.receipt_begin()
        self.assertEqual(tauravat.receipt_item("Chleb razowy krojony", "A", 1500, 199,
                                               decimals=3), 299)
        self.assertEqual(tauravat.receipt_item("Ser żółty gouda", 2, 2, 1000), 2000)
        tauravat.package_item(0, 1, 50, 2)
        tauravat.receipt_end(10)
        self.assertEqual(emu.state()["totals"]["day"][:2], [269, 1800])
        self.assertEqual((tauravat.read_total(), tauravat.read_sel_total("B")), (2069, 1800))
        self.assertIn("Odczyt typu urządzenia...", progress)

    def test_identity_and_texts_in_unicode(self):
        self.start("--model", "luno", "--clock", "2024-05-31 23:59:07")
        self.assertEqual(tauravat.device_name(), "Nowa drukarka fiskalna")
        self.assertEqual(tauravat.read_clock(), "24.05.31;23:59")
        self.assertEqual(tauravat.read_unique_number(), "KES12345678")
        self.assertEqual(tauravat.receipt_number(), 0)
        self.assertEqual(tauravat.rs_sequence(0xFF, reply_length=2)[0], 0x2C)
        self.assertEqual(tauravat.dll_version(), "10.00")
        self.assertTrue(tauravat.err_message(20).startswith("TIMEOUT NADAWANIA"))

    def test_failures_raise_with_code_and_message_or_return_codes(self):
        self.start()
        with self.assertRaises(tauravat.TauravatError) as caught:
            tauravat.receipt_item("Chleb razowy krojony", 1, 1, 100)
        self.assertEqual((caught.exception.code, caught.exception.message),
                         (201, "Paragon nierozpoczęty."))
        self.assertEqual(tauravat.open_drawer(4, check=False), (212, None))
        self.assertEqual(tauravat.daily_report(check=False)[0], 211)
        with self.assertRaises(ValueError):
            tauravat.receipt_item("Chleb 日本 razowy", 1, 1, 100)

    def test_communication_failure_raises_21(self):
        self.start("--fault", "any:silence:0:-1", connect=False)
        self.assertEqual(tauravat.communication_init(PORT, timeout=1, check=False), (21, None))
        with self.assertRaises(tauravat.TauravatError) as caught:
            tauravat.communication_init(PORT, timeout=1)
        self.assertIn("TIMEOUT ODBIERANIA", caught.exception.message)


if __name__ == "__main__":
    unittest.main()
