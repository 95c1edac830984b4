"""A till's own tests as a point-of-sale developer writes them: the kestra_emulator fixture's
printer, driven through the binding and steered in the middle of a receipt."""

import pytest

import tauravat
from tauravat.emulator import Emulator, EmulatorError

pytestmark = pytest.mark.kestra_emulator("--model", "luno", "--rates", "23,8", "--line-ms", "2")


def test_paper_running_out_and_a_status_set_while_running(kestra_emulator, monkeypatch):
    monkeypatch.setenv("TAURAVAT_COM7", kestra_emulator.path)
    tauravat.communication_init(7)
    try:
        tauravat.receipt_begin()
        tauravat.receipt_item("Chleb żytni krojony", "A", 1, 450)
        kestra_emulator.paper_out(after=3)
        with pytest.raises(tauravat.TauravatError, match="109"):
            tauravat.receipt_end()
        assert kestra_emulator.state()["printing"]["stoppedForPaper"]
        kestra_emulator.load_paper()
        tauravat.print_resume()
        tauravat.print_control(0, 7)
        assert kestra_emulator.paper()[-3].startswith("#00001")
        kestra_emulator.set_status("status94", 0x08)  # the daily report is due
        with pytest.raises(tauravat.TauravatError, match="108"):
            tauravat.receipt_begin()
    finally:
        tauravat.communication_end(check=False)


def test_the_emulators_mistakes_explained(kestra_emulator):
    with pytest.raises(EmulatorError, match="CMD:KIND"):
        kestra_emulator.fault(0x24, "explode")
    with pytest.raises(EmulatorError, match="unknown model"):
        Emulator("--model", "taura9")
    kestra_emulator.close()
    with pytest.raises(EmulatorError, match="closed"):
        kestra_emulator.state()
