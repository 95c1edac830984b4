"""The Python package installed offline; the binding's own value conversions and result codes,
then against kestra-emu through the package's own fixture, what it adds to the driver."""

import ctypes
import datetime
import errno
import json
import os
import pickle
import re
import shutil
import subprocess
import sys
from decimal import Decimal
from pathlib import Path

import pytest

import tauravat
from tauravat import EXEMPT, RESERVED, Item, Payment, _library, errors
from tauravat._values import (from_grosz, from_rate_hundredths, to_grosz, to_quantity,
                              to_rate_hundredths)

pytestmark = pytest.mark.kestra_emulator("--rates", "23,8,5,0,Z,R,R", "--line-ms", "1")
COFFEE = ("Kawa ziarnista 1kg", 1, None, Decimal("54.90"), "A")
HERE = Path(__file__).resolve().parent
HEADER = HERE.parents[1] / "driver/include/tauravat.h"


def test_installs_offline_and_its_fixture_serves_a_tills_tests(tmp_path):
    def run(*command, **options):
        done = subprocess.run(command, capture_output=True, text=True, **options)
        assert done.returncode == 0, f"{command}\n{done.stdout}\n{done.stderr}"
        return done.stdout

    # Straight from the tree: the package's own backend writes nothing into it.
    site = tmp_path / "site"
    run(sys.executable, "-m", "pip", "install", "--no-deps", "--no-index",
        "--disable-pip-version-check", "--quiet", "--target", site, HERE.parents[1] / "python")
    # The modules are proven by the import below; the type marker by nothing else.
    assert (site / "tauravat" / "py.typed").is_file()
    # Only the installed tree is on the path: the fixture comes from its entry point.
    output = run(sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", HERE / "till",
                 cwd=tmp_path, env=dict(os.environ, PYTHONPATH=site, PYTHONDONTWRITEBYTECODE="1"))
    assert re.search(r"\b2 passed\b", output), output


@pytest.mark.parametrize("convert, given, expected", [
    (to_grosz, Decimal("4.99"), 499), (to_grosz, 5, 500), (to_grosz, "0.5", 50),
    (to_grosz, Decimal("4.990"), 499), (to_grosz, Decimal("-1.25"), -125),
    (to_grosz, "1E+2", 10000), (to_grosz, Decimal("9999999.99"), 999999999),
    (to_quantity, Decimal("1.5"), (15, 1)), (to_quantity, "0.350", (350, 3)),
    (to_quantity, 2, (2, 0)), (to_quantity, Decimal("1.50000"), (15000, 4)),
    (to_quantity, "1E+1", (10, 0)), (to_quantity, Decimal("0.0001"), (1, 4)),
    (to_rate_hundredths, Decimal("23"), 2300), (to_rate_hundredths, "5.5", 550),
    (to_rate_hundredths, RESERVED, 25500), (to_rate_hundredths, EXEMPT, 10000)])
def test_money_quantities_and_rates_converted_exactly(convert, given, expected):
    assert convert(given) == expected


@pytest.mark.parametrize("convert, given, refusal", [
    (to_grosz, Decimal("4.999"), ValueError), (to_grosz, "0.001", ValueError),
    (to_grosz, "4,99", ValueError), (to_grosz, Decimal("NaN"), ValueError),
    (to_grosz, "Infinity", ValueError), (to_grosz, 4.99, TypeError), (to_grosz, True, TypeError),
    (to_grosz, None, TypeError), (to_quantity, Decimal("1.00001"), ValueError),
    (to_quantity, 1.5, TypeError), (to_rate_hundredths, "-1", ValueError),
    (to_rate_hundredths, "7.125", ValueError)])
def test_inexact_or_binary_values_are_refused(convert, given, refusal):
    with pytest.raises(refusal):
        convert(given)


def test_money_comes_back_with_two_places_and_rates_as_percent_or_a_marker():
    assert [str(from_grosz(200)), str(from_grosz(-5))] == ["2.00", "-0.05"]
    # Rates without trailing zeros, as the CLI and the service write them.
    assert [str(from_rate_hundredths(h)) for h in (2300, 550, 5, 0, 9983)] == [
        "23", "5.5", "0.05", "0", "99.83"]
    assert from_rate_hundredths(25500) is RESERVED
    assert from_rate_hundredths(10000) is EXEMPT
    # The legacy binding's integers still compare equal.
    assert RESERVED == 25500 and tauravat.legacy.EXEMPT == 10000


def test_every_result_code_of_the_header_raises_its_kind_with_both_messages():
    text = HEADER.read_text("utf-8")
    enum = text[text.index("enum tauravat_result {"):].split("};")[0]
    codes = {int(number): name for name, number in re.findall(r"(TAURAVAT_E_\w+) = (\d+)", enum)}
    assert len(codes) > 60
    assert {code: name for code, (name, _) in errors.CODES.items()} == codes
    for code, name in codes.items():
        failure = errors.error(code)
        assert type(failure) is errors.CODES[code][1], name
        assert (failure.code, failure.name) == (code, name) and name in str(failure)
        assert "" != failure.message_pl != failure.message_en != "", name


def test_the_kinds_a_till_catches_unnamed_codes_pickling_and_messages_in_both_languages():
    for code, kind in ((21, TimeoutError), (20, tauravat.CommunicationError), (215, ValueError),
                       (23, tauravat.CommunicationError), (109, tauravat.PrinterRefused),
                       (112, tauravat.PaperOut), (210, tauravat.ReceiptCancelled)):
        assert isinstance(errors.error(code), kind), code
    # An operating system's error number from opening the port has no name of its own.
    unnamed = errors.error(2, unnamed=tauravat.ConnectionFailed)
    assert type(unnamed) is tauravat.ConnectionFailed and unnamed.name is None
    assert unnamed.message_pl == "Nieznany błąd (prawdopodobnie systemowy)"
    assert type(errors.error(2)) is tauravat.TauravatError
    # Whole across processes (multiprocessing pickles what a worker raises).
    copy = pickle.loads(pickle.dumps(errors.error(21)))
    assert type(copy) is tauravat.PrinterTimeout
    assert (copy.code, copy.name, copy.message_en) == (21, "TAURAVAT_E_RECEIVE_TIMEOUT",
                                                        tauravat.message(21, "en"))
    assert tauravat.message(20, "pl").count("\n") == 12
    assert tauravat.message(0, "en") == ""
    for language, code in (("de", 201), ("pl", 2**32 + 201)):  # not silently code 201
        with pytest.raises(ValueError):
            tauravat.message(code, language)


def test_port_failures_are_os_errors_a_pyserial_user_catches(tmp_path):
    with pytest.raises(FileNotFoundError) as missing:
        tauravat.open(tmp_path / "ttyUSB9")
    with pytest.raises(tauravat.NotASerialPort) as directory:
        tauravat.open(tmp_path)
    for failure, number in ((missing.value, errno.ENOENT), (directory.value, errno.EISDIR)):
        assert isinstance(failure, tauravat.ConnectionFailed) and isinstance(failure, OSError)
        assert (failure.errno, failure.strerror) == (number, os.strerror(number))
        assert failure.filename.startswith(str(tmp_path)) and failure.name in str(failure)
        copy = pickle.loads(pickle.dumps(failure))
        assert (type(copy), copy.errno, copy.code) == (type(failure), number, failure.code)
    assert missing.value.name == "TAURAVAT_E_PORT_NOT_FOUND"


# A misnamed network port is refused before anything connects, as the OS error EINVAL; one
# that nobody serves is not found. 70000 would otherwise wrap round to port 4464.
@pytest.mark.parametrize("url, kind, number", [
    ("socket://127.0.0.1:70000", tauravat.PortError, errno.EINVAL),
    ("rfc2217://127.0.0.1:0", tauravat.PortError, errno.EINVAL),
    ("rfc2217://[::1]", tauravat.PortError, errno.EINVAL),
    ("tcp://127.0.0.1:4001", tauravat.PortError, errno.EINVAL),
    ("socket://no-such-host.invalid:4001", FileNotFoundError, errno.ENOENT),
])
def test_network_port_failures_say_a_mistake_from_a_server_not_there(url, kind, number):
    with pytest.raises(kind) as failure:
        tauravat.open(url)
    assert (failure.value.errno, failure.value.filename) == (number, url)


def test_a_port_this_user_may_not_open_raises_permission_error():
    # Root opens any device: the check runs as user "nobody" when the suite runs as root.
    master, slave = os.openpty()
    try:
        device = os.ttyname(slave)
        os.chmod(device, 0o600 if os.geteuid() == 0 else 0)
        drop = []
        if os.geteuid() == 0:
            if shutil.which("setpriv"):
                drop = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
            elif shutil.which("runuser"):
                drop = ["runuser", "-u", "nobody", "--"]
            else:
                pytest.skip("running as root, and neither setpriv nor runuser can drop to an "
                            "unprivileged user")
        check = ("import sys, tauravat\n"
                 "try:\n    tauravat.open(sys.argv[1])\n"
                 "except PermissionError as failure:\n"
                 "    assert isinstance(failure, tauravat.ConnectionFailed)\n"
                 "    assert failure.errno == 13 and 'dialout' in str(failure), failure\n"
                 "else:\n    sys.exit('opened')\n")
        done = subprocess.run(drop + [sys.executable, "-c", check, device], capture_output=True,
                              text=True, timeout=60)
        assert done.returncode == 0, done.stderr
    finally:
        os.close(slave)
        os.close(master)


@pytest.fixture
def printer(kestra_emulator):
    with tauravat.open(kestra_emulator.path, timeout=2.0) as opened:
        yield opened


def refused(emulator, *calls, match=None):
    # Each call refused in Python, before anything reaches the printer.
    before = emulator.state()["line"]["commands"]
    for call in calls:
        with pytest.raises(ValueError, match=match):
            call()
    assert emulator.state()["line"]["commands"] == before


@pytest.mark.kestra_emulator("--clock", "2024-05-31 23:59:07", "--rates", "22,7,3,0,Z,R,R")
def test_identity_clock_and_rates_as_python_values(printer, kestra_emulator):
    model = kestra_emulator.state()["model"]
    assert printer.device_type() == (model["deviceType"], model["version"])
    assert printer.device_name() == model["name"]
    assert re.fullmatch(r"\d+\.\d+\.\d+", tauravat.version())
    start = datetime.datetime(2024, 5, 31, 23, 59, 7)
    assert start <= printer.read_clock() < start + datetime.timedelta(minutes=1)
    assert printer.read_vat() == [22, 7, 3, 0, EXEMPT, RESERVED, RESERVED]
    # Fiscal memory is written a limited number of times.
    refused(kestra_emulator, lambda: printer.set_vat(["23", "8.125"]), match="rate B")
    assert printer.set_vat([Decimal("23"), 8, "5.5", 0, EXEMPT]) == 7
    assert kestra_emulator.state()["rates"] == [2300, 800, 550, 0, 10000, 25500, 25500]


@pytest.mark.kestra_emulator("--rates", "22,7,3,0,Z,R,R")
def test_write_rates_spends_fiscal_memory_only_on_a_change_unless_forced(printer,
                                                                        kestra_emulator):
    def spent():
        paper = kestra_emulator.paper()
        return (sum("ZMIANA STAWEK PTU" in line for line in paper),
                kestra_emulator.state()["counters"]["rateChanges"])

    # The rates held, whole or in part (those left out stay as held): nothing is written.
    assert printer.write_rates([22, 7, 3, 0, EXEMPT]) is False
    assert printer.write_rates(["22"]) is False
    assert spent() == (0, 0)
    assert printer.write_rates([22], force=True) is True
    assert spent() == (1, 1)
    assert printer.write_rates([23, "8"]) is True
    assert spent() == (2, 2)
    assert kestra_emulator.state()["rates"] == [2300, 800, 300, 0, 10000, 25500, 25500]
    refused(kestra_emulator, lambda: printer.write_rates(["23", "8.125"]), match="rate B")
    # A rate the model cannot take is named, and nothing is written.
    with pytest.raises(tauravat.BadInput, match=r"rates\[1\]") as refusal:
        printer.write_rates([23, 150])
    assert refusal.value.field == "rates[1]"
    assert spent() == (2, 2)


def test_a_receipt_in_decimal_money_as_printed(printer, kestra_emulator):
    total = printer.print_receipt(
        [Item("Chleb razowy krojony", Decimal("1.5"), "szt", Decimal("4.99"), "A"),
         Item("Ser żółty gouda", Decimal("0.350"), "kg", Decimal("29.99"), "B"),
         Item("Woda mineralna gaz.", 2, None, "1.80", 1),
         Item("Woda mineralna gaz.", 1, None, "1.80", 1, cancel=True)],
        payments=[Payment("Gotówka", Decimal("20.00"))],
        lines=[(0, "Dziękujemy za zakupy")], discount_percent=10)
    # A: 7.49 (7.485 rounded up) + 3.60 - 1.80, B: 10.50; less 10 % on each rate.
    assert total == Decimal("8.36") + Decimal("9.45")
    paper = kestra_emulator.paper()
    assert any(line.endswith(" 1,5x4.99 7.49 A") for line in paper), paper
    assert any(line.startswith("Gotówka") and line.endswith(" 20.00") for line in paper)
    state = kestra_emulator.state()
    day = state["totals"]["day"]
    assert total * 100 == sum(day)
    assert (printer.read_total() * 100, printer.read_sel_total("B") * 100) == (sum(day), day[1])
    assert printer.receipt_number() == state["counters"]["receiptNumber"] == 1
    assert printer.receipt_counter() == 1


def test_print_receipt_tells_each_step_first_and_its_answer_or_exception_stops_the_sale(
        printer, kestra_emulator):
    tea = Item("Herbata czarna liściasta", 2, None, "8.50", "A")
    printer.print_receipt([Item(*COFFEE)])  # a counter of 1: every model can tell it
    seen = []

    def journal(step):
        # What the paper holds at each step: the end is told before it prints.
        seen.append((step, kestra_emulator.state()["counters"]["receiptsSinceDailyReport"]))

    assert printer.print_receipt([Item(*COFFEE), tea], on_step=journal) == Decimal("71.90")
    assert [(step.step, step.item, step.counter) for step, _ in seen] == [
        ("begin", None, 1), ("item", 0, 1), ("item", 1, 1), ("end", None, 1)]
    assert [step.total for step, _ in seen] == [None, None, None, Decimal("71.90")]
    assert [printed for _, printed in seen] == [1, 1, 1, 1]

    def counters():
        counted = kestra_emulator.state()["counters"]
        return counted["receiptsSinceDailyReport"], counted["cancelledSinceDailyReport"]

    class JournalFull(Exception):
        pass

    def stop_at(where, answer):
        def on_step(step):
            if (step.step, step.item) == where:
                if isinstance(answer, BaseException):
                    raise answer
                return answer
            return None
        return on_step

    full = JournalFull("no room left for the sale")
    for where, answer, state, cancelled in ((("begin", None), False, "failed", 0),
                                            (("item", 1), full, None, 1),
                                            (("end", None), False, "cancelled", 2),
                                            (("item", 1), KeyboardInterrupt(), None, 3)):
        with pytest.raises((tauravat.SaleStopped, JournalFull, KeyboardInterrupt)) as caught:
            printer.print_receipt([Item(*COFFEE), tea], on_step=stop_at(where, answer))
        if state is None:
            assert caught.value is answer  # the till's own exception, as it raised it
        else:
            assert (caught.value.code, caught.value.sale_state) == (245, state)
        assert counters() == (2, cancelled), where
        assert not kestra_emulator.state()["receipt"]["open"]
    assert printer.print_receipt([tea], on_step=lambda step: True) == Decimal("17.00")


def open_and_cancelled(emulator):
    state = emulator.state()
    return state["receipt"]["open"], state["counters"]["cancelledSinceDailyReport"]


def test_the_receipt_block_ends_cancels_or_leaves_an_end_that_may_have_printed(
        printer, kestra_emulator):
    with printer.receipt() as receipt:
        assert receipt.item(*COFFEE) == Decimal("54.90")
    assert any(line.startswith("#00001") for line in kestra_emulator.paper())
    with pytest.raises(ValueError, match="price"):
        with printer.receipt() as receipt:
            receipt.item(*COFFEE)
            receipt.item("Herbata czarna liściasta", 1, None, Decimal("8.999"), "A")
    assert open_and_cancelled(kestra_emulator) == (False, 1)
    # The printer cancelled this one itself: nothing is left to cancel.
    with pytest.raises(tauravat.ReceiptCancelled) as caught:
        with printer.receipt() as receipt:
            receipt.item(*COFFEE)
            kestra_emulator.fault("0x95:cancel-receipt")
            receipt.item(*COFFEE)
    assert getattr(caught.value, "__notes__", []) == []
    cancelled = open_and_cancelled(kestra_emulator)[1]
    kestra_emulator.fault(0x24, "silence")  # the end goes unanswered: left to end again
    with pytest.raises(tauravat.PrinterTimeout, match="21"):
        with printer.receipt() as receipt:
            receipt.item(*COFFEE)
    assert open_and_cancelled(kestra_emulator) == (True, cancelled)


def test_failures_carry_their_kind_code_and_both_messages(printer, kestra_emulator):
    with pytest.raises(tauravat.PreconditionError) as caught:
        printer.receipt_item("Chleb razowy krojony", 1, None, 1, "A")
    failure = caught.value
    assert (failure.code, failure.name, failure.message_pl) == (
        201, "TAURAVAT_E_RECEIPT_NOT_OPEN", "Paragon nierozpoczęty.")
    assert failure.message_en == tauravat.message(201, "en") != failure.message_pl
    # ctypes would keep the low bits (drawer 1).
    refused(kestra_emulator, lambda: printer.open_drawer(2**32 + 1),
            lambda: printer.write_line_feed(-1),
            lambda: printer.fill_lines(0, "Dziękujemy\0 za zakupy"))
    with pytest.raises(tauravat.ConnectionFailed, match="/dev/tauravat-no-such-port") as caught:
        tauravat.open("/dev/tauravat-no-such-port")
    assert caught.value.code == 90 and isinstance(caught.value, FileNotFoundError)
    # A refused item names its field and the character, as the driver's check finds them.
    with printer.receipt():
        for args, field, words in ((("Kawa ñ latte ziarnista", 1, None, 5, "A"), "name",
                                    ["'ñ' (U+00F1)", "character 5"]),
                                   (("Kawa ziarnista 1kg", 1, "kilo€", 5, "A"), "unit",
                                    ["U+20AC"])):
            before = kestra_emulator.state()["line"]["commands"]
            with pytest.raises(tauravat.BadInput) as caught:
                printer.receipt_item(*args)
            assert kestra_emulator.state()["line"]["commands"] == before
            assert caught.value.field == field
            assert all(word in str(caught.value) for word in words), str(caught.value)
        printer.receipt_item(*COFFEE)


def test_progress_and_closing(kestra_emulator):
    captions, refusals, opened = [], [], []

    def progress(caption):
        captions.append(caption)
        if opened and caption:  # the printer itself is refused from here, never waited for
            with pytest.raises(tauravat.PreconditionError, match="244"):
                opened[0].read_unique_number()
            with pytest.raises(RuntimeError):
                opened[0].close()
            refusals.append(caption)

    with tauravat.open(kestra_emulator.path, progress=progress) as printer:
        opened.append(printer)
        assert printer.read_unique_number() == "KES12345678"
    assert any(caption.endswith("...") for caption in captions), captions
    assert refusals and printer.closed
    with pytest.raises(ValueError, match="closed"):
        printer.device_name()
    with tauravat.open(kestra_emulator.path, timeout=0.2) as again:  # the port was let go
        assert again.read_unique_number() == "KES12345678"
        kestra_emulator.fault("any", "silence", times=-1)
        with pytest.raises(TimeoutError, match="21"):
            again.read_unique_number()


def test_the_factory_gives_two_printers_at_once_that_sell_without_being_set_up(
        kestra_emulator_factory):
    # No options: the defaults (rates programmed, paper loaded) are enough to sell.
    shop, pharmacy = kestra_emulator_factory(), kestra_emulator_factory("--model", "luno-f")
    assert shop.path != pharmacy.path
    with tauravat.open(shop.path) as first, tauravat.open(pharmacy.path) as second:
        assert first.read_vat()[:5] == [Decimal(23), Decimal(8), Decimal(5), Decimal(0), EXEMPT]
        for printer in (first, second):
            with printer.receipt() as receipt:
                assert receipt.item("Kawa ziarnista 1kg", 1, None, Decimal("54.90"), "A") == \
                    Decimal("54.90")
    assert [emulator.state()["counters"]["receiptsSinceDailyReport"]
            for emulator in (shop, pharmacy)] == [1, 1]


def test_step_identifiers_and_the_byte_trace_reach_python(kestra_emulator):
    steps, lines = [], []
    with tauravat.open(kestra_emulator.path, step=lambda *seen: steps.append(seen),
                       trace=lines.append, print_limit=30) as printer:
        assert printer.read_unique_number() == "KES12345678"
    assert ("read_device_type", "Odczyt typu urządzenia...") in steps, steps
    assert steps[-1] == ("read_unique_number", "Odczyt numeru unikatowego..."), steps
    # Each line reads "<microseconds> <direction> <command> <byte>", as the trace file does.
    sent = [line.split() for line in lines if line.split()[1:2] == [">"]]
    assert sent and all(len(fields) >= 4 for fields in sent), lines[:5]
    with pytest.raises(ValueError, match="print_limit"):
        tauravat.open(kestra_emulator.path, print_limit=0)


# The legacy binding (tauravat.legacy, re-exported by tauravat): integers and tuples.
@pytest.fixture
def legacy(kestra_emulator, monkeypatch):
    monkeypatch.setenv("TAURAVAT_COM201", kestra_emulator.path)
    tauravat.communication_init(201)
    yield kestra_emulator
    tauravat.communication_end(check=False)
    tauravat.set_callbacks()


@pytest.mark.kestra_emulator("--rates", "22,7,3,0,Z,R,R")
def test_legacy_rates_receipt_and_totals_as_integers(legacy):
    assert tauravat.read_vat() == (7, [2200, 700, 300, 0, EXEMPT, RESERVED, RESERVED])
    assert tauravat.set_vat([2300, 800, 500, 0, EXEMPT]) == 7
    assert legacy.state()["rates"] == [2300, 800, 500, 0, 10000, 25500, 25500]
    progress = []
    tauravat.set_callbacks(progress.append)
    tauravat.fill_payment(1, "Gotówka", 5000)
    assert tauravat.fill_lines(0, "Dziękujemy") == 5
    tauravat.receipt_begin()
    assert tauravat.receipt_item("Chleb razowy krojony", "A", 1500, 199, decimals=3) == 299
    assert tauravat.receipt_item("Ser żółty gouda", 2, 2, 1000) == 2000
    tauravat.package_item(0, 1, 50, 2)
    tauravat.receipt_end(10)
    assert legacy.state()["totals"]["day"][:2] == [269, 1800]
    assert (tauravat.read_total(), tauravat.read_sel_total("B")) == (2069, 1800)
    assert "Odczyt typu urządzenia..." in progress


@pytest.mark.kestra_emulator("--model", "luno", "--clock", "2024-05-31 23:59:07")
def test_legacy_identity_texts_and_failures_to_the_end_of_the_line(legacy):
    assert (tauravat.device_name(), tauravat.read_clock(), tauravat.dll_version()) == (
        "Nowa drukarka fiskalna", "24.05.31;23:59", "10.00")
    assert tauravat.rs_sequence(0xFF, reply_length=2)[0] == 0x2C
    assert tauravat.err_message(20).startswith("TIMEOUT NADAWANIA")
    with pytest.raises(tauravat.TauravatError) as caught:
        tauravat.receipt_item("Chleb razowy krojony", 1, 1, 100)
    assert (caught.value.code, caught.value.message) == (201, "Paragon nierozpoczęty.")
    assert tauravat.open_drawer(4, check=False) == (212, None)
    assert tauravat.daily_report(check=False)[0] == 211
    with pytest.raises(ValueError):
        tauravat.receipt_item("Chleb 日本 razowy", 1, 1, 100)
    tauravat.communication_end()
    legacy.fault("any", "silence", times=-1)
    assert tauravat.communication_init(201, timeout=1, check=False) == (21, None)
    with pytest.raises(tauravat.TauravatError) as caught:
        tauravat.communication_init(201, timeout=1)
    assert "TIMEOUT ODBIERANIA" in caught.value.message  # the legacy binding's Polish text


# The shared list of sales every program refuses the same way.
REFUSED = json.loads((HERE.parent / "data/refused_sales.json").read_text(encoding="utf-8"))


def _listed_model():
    model = _library.ModelInfo(size=ctypes.sizeof(_library.ModelInfo))
    assert _library.function("tauravat_model_by_type")(REFUSED["printer"]["type"],
                                                       ctypes.byref(model)) == 0
    return model.short_name.decode()


def _listed_rates():
    letters = {"exempt": "Z", "reserved": "R"}
    return ",".join(letters.get(rate, rate) for rate in REFUSED["printer"]["rates"])


@pytest.mark.kestra_emulator("--model", _listed_model(), "--rates", _listed_rates(),
                             "--line-ms", "1")
def test_print_receipt_refuses_the_listed_sales_before_a_receipt_begins(printer,
                                                                        kestra_emulator):
    def item(changes):
        fields = dict(REFUSED["good_item"], **changes)
        return Item(fields["name"], Decimal(fields["quantity"]), fields["unit"],
                    Decimal(fields["price"]), fields["rate"], message=fields.get("message", 0))

    before, paper = kestra_emulator.state(), kestra_emulator.paper()
    for sale in REFUSED["sales"]:
        with pytest.raises(errors.TauravatError) as caught:
            printer.print_receipt([item(sale["item"])])
        failure = caught.value
        assert (failure.name, failure.field) == (sale["code"], sale["field"]), sale["why"]
        if "offset" in sale:  # the list names the character where one is to blame
            assert (failure.offset, failure.code_point) == (sale["offset"], sale["code_point"])
        assert sale["field"] in str(failure)
    after = kestra_emulator.state()
    assert after["counters"] == before["counters"]
    assert not after["receipt"]["open"]
    assert kestra_emulator.paper() == paper
    assert printer.print_receipt([item({})]) == Decimal("4.99")


# The shared list of rate tables every program refuses the same way, each on its own model.
REFUSED_RATES = json.loads((HERE.parent / "data/refused_rates.json").read_text(encoding="utf-8"))


def _model_name(device_type):
    model = _library.ModelInfo(size=ctypes.sizeof(_library.ModelInfo))
    assert _library.function("tauravat_model_by_type")(device_type, ctypes.byref(model)) == 0
    return model.short_name.decode()


def test_write_rates_refuses_the_listed_tables_and_writes_nothing(kestra_emulator_factory):
    markers = {"exempt": EXEMPT, "reserved": RESERVED}
    letters = {"exempt": "Z", "reserved": "R"}
    for table in REFUSED_RATES["tables"]:
        emulator = kestra_emulator_factory(
            "--model", _model_name(table["type"]), "--line-ms", "1",
            "--rates", ",".join(letters.get(rate, rate) for rate in table["held"]))
        before, paper = emulator.state(), emulator.paper()
        with tauravat.open(emulator.path, timeout=2.0) as printer:
            with pytest.raises(errors.TauravatError) as caught:
                printer.write_rates([markers.get(rate, rate) for rate in table["rates"]])
        failure = caught.value
        assert (failure.name, failure.field) == (table["code"], table["field"]), table["why"]
        assert table["field"] in str(failure), table["why"]
        after = emulator.state()
        assert (after["rates"], after["counters"]) == (before["rates"], before["counters"])
        assert emulator.paper() == paper
