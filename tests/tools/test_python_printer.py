"""tauravat.Printer, the Python binding of the handle interface, against kestra-emu through
the package's own fixture: what this layer adds (Decimal money and quantities, datetime,
exceptions by kind, the receipt that ends or cancels itself, one object per printer)."""

import datetime
import re
from decimal import Decimal

import pytest

import tauravat
from tauravat import EXEMPT, RESERVED, Item, Payment

pytestmark = pytest.mark.kestra_emulator("--rates", "23,8,5,0,Z,R,R", "--line-ms", "1")


@pytest.fixture
def printer(kestra_emulator):
    with tauravat.open(kestra_emulator.path, timeout=2.0) as opened:
        yield opened


def paper_line(emulator, start):
    """The printed line that begins with `start` (the name column)."""
    lines = [line for line in emulator.paper() if line.startswith(start)]
    assert len(lines) == 1, (start, emulator.paper())
    return lines[0]


def sent_commands(emulator):
    return emulator.state()["line"]["commands"]


def test_identifies_the_printer(printer, kestra_emulator):
    model = kestra_emulator.state()["model"]
    assert printer.device_type() == (model["deviceType"], model["version"])
    assert printer.device_name() == model["name"]
    assert printer.read_unique_number() == "KES12345678"
    assert printer.rs_sequence(0xFF, reply_length=2)[0] == 0x2C  # ACK and one data byte
    assert re.fullmatch(r"\d+\.\d+\.\d+", tauravat.version())


@pytest.mark.kestra_emulator("--rates", "22,7,3,0,Z,R,R")
def test_rates_as_decimal_percent_and_markers(printer, kestra_emulator):
    assert printer.read_vat() == [Decimal("22"), Decimal("7"), Decimal("3"), Decimal("0"),
                                  EXEMPT, RESERVED, RESERVED]
    before = sent_commands(kestra_emulator)
    with pytest.raises(ValueError, match="rate B"):
        printer.set_vat(["23", "8.125"])  # fiscal memory is written a limited number of times
    assert sent_commands(kestra_emulator) == before

    assert printer.set_vat([Decimal("23"), 8, "5.5", 0, EXEMPT]) == 7
    assert kestra_emulator.state()["rates"] == [2300, 800, 550, 0, 10000, 25500, 25500]
    assert printer.read_vat()[:3] == [23, 8, Decimal("5.50")]


def test_a_receipt_in_decimal_money_as_printed(printer, kestra_emulator):
    total = printer.print_receipt(
        [Item("Chleb razowy krojony", Decimal("1.5"), "szt", Decimal("4.99"), "A"),
         Item("Ser żółty gouda", Decimal("0.350"), "kg", Decimal("29.99"), "B"),
         Item("Woda mineralna gaz.", 2, None, "1.80", 1),
         Item("Woda mineralna gaz.", 1, None, "1.80", 1, cancel=True)],
        payments=[Payment("Gotówka", Decimal("20.00"))],
        lines=[(0, "Dziękujemy za zakupy")], discount_percent=10)
    assert total == Decimal("19.79")  # 7.49 (7.485 rounded up) + 10.50 + 3.60 - 1.80

    assert paper_line(kestra_emulator, "Chleb razowy krojony").endswith(" 1,5x4.99 7.49 A")
    assert paper_line(kestra_emulator, "Ser żółty gouda").endswith(" 0,350x29.99 10.50 B")
    assert paper_line(kestra_emulator, "Gotówka").endswith(" 20.00")
    assert paper_line(kestra_emulator, "RABAT 10%")
    assert paper_line(kestra_emulator, "Dziękujemy za zakupy")

    state = kestra_emulator.state()
    assert printer.read_total() * 100 == sum(state["totals"]["day"])
    assert printer.read_sel_total("B") == Decimal(state["totals"]["day"][1]) / 100
    assert printer.receipt_number() == state["counters"]["receiptNumber"] == 1


def test_the_receipt_block_ends_on_success_and_cancels_on_failure(printer, kestra_emulator):
    with printer.receipt() as receipt:
        assert receipt.item("Kawa ziarnista 1kg", 1, None, Decimal("54.90"), "A") == Decimal("54.90")
    assert paper_line(kestra_emulator, "#00001")

    with pytest.raises(ValueError, match="price"):
        with printer.receipt() as receipt:
            receipt.item("Kawa ziarnista 1kg", 1, None, Decimal("54.90"), "A")
            receipt.item("Herbata czarna liściasta", 1, None, Decimal("8.999"), "A")
    state = kestra_emulator.state()
    assert not state["receipt"]["open"]
    assert state["counters"]["cancelledSinceDailyReport"] == 1
    assert any("PARAGON ANULOWANY" in line for line in kestra_emulator.paper())

    # The printer cancelled this one itself: nothing is left to cancel.
    with pytest.raises(tauravat.ReceiptCancelled) as caught:
        with printer.receipt() as receipt:
            receipt.item("Kawa ziarnista 1kg", 1, None, Decimal("54.90"), "A")
            kestra_emulator.fault("0x95:cancel-receipt")
            receipt.item("Kawa ziarnista 1kg", 1, None, Decimal("54.90"), "A")
    assert getattr(caught.value, "__notes__", []) == []


def test_an_end_that_may_have_printed_is_not_cancelled(printer, kestra_emulator):
    kestra_emulator.fault(0x24, "silence")  # the end goes unanswered
    with pytest.raises(tauravat.PrinterTimeout) as caught:
        with printer.receipt() as receipt:
            receipt.item("Kawa ziarnista 1kg", 1, None, Decimal("54.90"), "A")
    assert caught.value.code == 21
    state = kestra_emulator.state()
    assert state["receipt"]["open"]  # left for the till to end again
    assert state["counters"]["cancelledSinceDailyReport"] == 0


@pytest.mark.kestra_emulator("--clock", "2024-05-31 23:59:07")
def test_the_clock_is_a_datetime(printer):
    start = datetime.datetime(2024, 5, 31, 23, 59, 7)
    assert start <= printer.read_clock() < start + datetime.timedelta(minutes=1)


def test_failures_carry_their_kind_code_and_both_messages(printer, kestra_emulator):
    with pytest.raises(tauravat.PreconditionError) as caught:
        printer.receipt_item("Chleb razowy krojony", 1, None, 1, "A")
    failure = caught.value
    assert (failure.code, failure.name) == (201, "TAURAVAT_E_RECEIPT_NOT_OPEN")
    assert failure.message_pl == "Paragon nierozpoczęty."
    assert failure.message_en == tauravat.message(201, "en") != failure.message_pl

    # Refused here, before anything is sent: ctypes would keep the low bits (drawer 1).
    before = sent_commands(kestra_emulator)
    with pytest.raises(ValueError):
        printer.open_drawer(2**32 + 1)
    with pytest.raises(ValueError):
        printer.write_line_feed(-1)
    with pytest.raises(ValueError):
        printer.fill_lines(0, "Dziękujemy\0 za zakupy")
    assert sent_commands(kestra_emulator) == before


def test_a_silent_printer_times_out(kestra_emulator):
    with tauravat.open(kestra_emulator.path, timeout=0.2) as printer:
        kestra_emulator.fault("any", "silence", times=-1)
        with pytest.raises(TimeoutError) as caught:
            printer.read_unique_number()
    assert isinstance(caught.value, tauravat.PrinterTimeout) and caught.value.code == 21


def test_open_names_the_device_it_could_not_open():
    with pytest.raises(tauravat.ConnectionFailed) as caught:
        tauravat.open("/dev/tauravat-no-such-port")
    assert caught.value.code == 2 and "/dev/tauravat-no-such-port" in str(caught.value)


def test_progress_and_closing(kestra_emulator):
    captions, refusals, opened = [], [], []

    def progress(caption):
        captions.append(caption)
        if opened and caption:  # the printer itself is refused from here, never waited for
            try:
                opened[0].read_unique_number()
            except tauravat.PreconditionError as refusal:
                refusals.append(refusal.code)
            try:
                opened[0].close()
            except RuntimeError:
                refusals.append("close")

    with tauravat.open(kestra_emulator.path, progress=progress) as printer:
        opened.append(printer)
        assert printer.read_unique_number() == "KES12345678"
    assert any(caption.endswith("...") for caption in captions), captions
    assert refusals[:2] == [244, "close"]
    assert printer.closed
    with pytest.raises(ValueError, match="closed"):
        printer.device_name()
    with tauravat.open(kestra_emulator.path) as again:  # the port was let go
        assert again.read_unique_number() == "KES12345678"
