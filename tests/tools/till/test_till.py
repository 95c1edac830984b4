"""A till's own tests, as a point-of-sale developer writes them with the installed
package: the kestra_emulator fixture starts a printer, the driver talks to it through
the binding, and the test steers the printer in the middle of a receipt."""

from decimal import Decimal

import pytest

import tauravat
from tauravat.emulator import Emulator, EmulatorError

PORT = 7

pytestmark = pytest.mark.kestra_emulator("--model", "luno", "--rates", "23,8", "--line-ms", "2")


@pytest.fixture
def printer(kestra_emulator, monkeypatch):
    monkeypatch.setenv(f"TAURAVAT_COM{PORT}", kestra_emulator.path)
    tauravat.communication_init(PORT)
    yield kestra_emulator
    tauravat.communication_end(check=False)


def sell(*names):
    tauravat.receipt_begin()
    for name in names:
        tauravat.receipt_item(name, "A", 1, 450)


def test_paper_running_out_during_the_printout_is_recovered(printer):
    sell("Chleb żytni krojony")
    printer.paper_out(after=3)
    with pytest.raises(tauravat.TauravatError) as caught:
        tauravat.receipt_end()
    assert caught.value.code == 109
    assert printer.state()["printing"]["stoppedForPaper"]

    printer.load_paper()
    tauravat.print_resume()
    tauravat.print_control(0, 7)
    assert printer.paper()[-3].startswith("#00001")
    assert tauravat.receipt_number() == 1
    assert printer.state()["counters"]["receiptNumber"] == 1


def test_status_byte_set_while_running(printer):
    printer.set_status("status94", 0x08)  # the daily report is due
    with pytest.raises(tauravat.TauravatError) as caught:
        tauravat.receipt_begin()
    assert caught.value.code == 108
    printer.set_status("status94", 0)
    tauravat.receipt_begin()
    tauravat.receipt_cancel()


def test_mistakes_are_explained(kestra_emulator):
    with pytest.raises(EmulatorError, match="CMD:KIND"):
        kestra_emulator.fault(0x24, "explode")
    with pytest.raises(EmulatorError, match="unknown model"):
        Emulator("--model", "taura9")
    kestra_emulator.close()
    with pytest.raises(EmulatorError, match="closed"):
        kestra_emulator.state()


def test_a_till_on_the_printer_object(kestra_emulator):
    with tauravat.open(kestra_emulator.path) as printer:
        total = printer.print_receipt(
            [tauravat.Item("Chleb żytni krojony", Decimal("1.5"), "szt", Decimal("4.50"), "A")],
            payments=[tauravat.Payment("Gotówka", Decimal("10"))])
        assert total == Decimal("6.75")
        assert printer.receipt_number() == 1
    assert any(line.startswith("#00001") for line in kestra_emulator.paper())
