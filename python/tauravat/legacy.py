"""The legacy interface of libtauravat: one connection per process, code page 1250.

Kept for programs written against it; new programs use tauravat.open() and its Printer
(UTF-8 text, Decimal money, several printers at once). Every function of this module is
also importable from tauravat itself, as it always was.

Every driver export is a function here; out-parameters come back as return values, text
goes in and out as str (code page 1250 on the wire). A failing operation raises
tauravat.TauravatError (the subclass of its kind, see tauravat.errors), which carries the
driver's result code and its Polish message. A caller that prefers the codes passes
check=False: the function then returns (code, value) instead of raising. The driver keeps
one connection per process and must be called from one thread at a time.

    from tauravat import legacy
    legacy.communication_init(1)            # COM1, 9600 b/s
    print(legacy.device_name())
    count, rates = legacy.read_vat()
    legacy.communication_end()
"""

import ctypes
import datetime
from typing import Any, Callable, Iterable, Optional, Sequence, Tuple, Union

from . import errors
from ._library import LEGACY_PROGRESS as _PROGRESS
from ._library import LEGACY_PUMP as _PUMP
from ._library import load
from ._values import EXEMPT, RESERVED
from .errors import TauravatError

__all__ = [
    "TauravatError", "load", "err_message",
    "open_port", "close_port", "rs_sequence",
    "communication_init", "communication_end", "device_name", "receipt_conditions",
    "print_resume", "print_control", "chars_in_article_name", "set_callbacks",
    "receipt_begin", "receipt_item", "package_item", "print_subtotal", "receipt_end",
    "receipt_cancel", "fill_payment", "fill_lines", "erase_payments", "erase_lines",
    "read_total", "read_sel_total",
    "read_vat", "set_vat", "RESERVED", "EXEMPT",
    "daily_report", "locked_articles_report", "period_report", "monthly_report",
    "number_report", "printer_status_report",
    "read_clock", "receipt_number", "daily_report_number", "read_unique_number",
    "open_drawer", "write_line_feed", "dll_version", "dll_author",
]

ENCODING = "cp1250"

_TEXT_BUFFER = 1024  # room for the longest text any export writes (622 bytes)

# What a function returns: its value, or (code, value) when called with check=False.
Outcome = Any

_callbacks: Tuple[Any, ...] = ()  # the installed call-backs, kept alive while the driver may call them


def _encode(text: str, what: str) -> bytes:
    try:
        return text.encode(ENCODING)
    except UnicodeEncodeError as error:
        raise ValueError(f"{what}: {text!r} cannot be written in code page 1250") from error


def _decode(raw: Optional[bytes]) -> str:
    return (raw or b"").decode(ENCODING, errors="replace")


def err_message(code: int) -> str:
    """The Polish message of a result code ("" for 0)."""
    buffer = ctypes.create_string_buffer(_TEXT_BUFFER)
    load().pErrMessage(code, buffer)
    return _decode(buffer.value).replace("\r", "\n")


def _done(code: int, value: Any, check: bool) -> Outcome:
    if check:
        if code != 0:
            raise errors.error(code)
        return value
    return code, value


def _text_out(function: Any, *arguments: Any, check: bool = True) -> Outcome:
    buffer = ctypes.create_string_buffer(_TEXT_BUFFER)
    code = function(*arguments, buffer)
    return _done(code, _decode(buffer.value) if code == 0 else None, check)


# ---- Port and raw sequences ------------------------------------------------------

def open_port(port: int, baud: int = 9600, write_timeout: int = 3, read_timeout: int = 5, *,
              check: bool = True) -> Outcome:
    """Opens COM `port` (on Linux the path in TAURAVAT_COM<port>) without any traffic."""
    return _done(load().OpenPort(port, baud, write_timeout, read_timeout), None, check)


def close_port(*, check: bool = True) -> Outcome:
    return _done(load().ClosePort(), None, check)


def rs_sequence(command: int, parameters: Union[bytes, Sequence[int]] = b"", reply_length: int = 1,
                *, check: bool = True) -> Outcome:
    """Sends ESC, `command` and `parameters`; returns the 256-byte reply buffer as bytes.

    `reply_length` counts the first reply's bytes with the ACK: data byte k of the reply
    is at index k-1. Bytes past the reply keep what earlier sequences left there.
    """
    raw = bytes(parameters)
    if len(raw) > 255:
        raise ValueError("at most 255 parameter bytes")
    params = (ctypes.c_uint8 * 256).from_buffer_copy(raw.ljust(256, b"\0"))
    reply = (ctypes.c_uint8 * 256)()
    code = load().RSSequence(command, reply_length, len(raw), reply, params)
    return _done(code, bytes(reply), check)


# ---- Connection, identification, supervision ------------------------------------

def communication_init(port: int, baud: int = 9600, timeout: int = 5, *,
                       check: bool = True) -> Outcome:
    """Opens COM `port`, ends any open receipt, identifies the printer."""
    return _done(load().CommunicationInit(port, baud, timeout), None, check)


def communication_end(*, check: bool = True) -> Outcome:
    return _done(load().CommunicationEnd(), None, check)


def device_name(*, check: bool = True) -> Outcome:
    """The model's name, as the C interface gives it (pDeviceName)."""
    return _text_out(load().pDeviceName, check=check)


def receipt_conditions(*, check: bool = True) -> Outcome:
    return _done(load().ReceiptConditions(), None, check)


def print_resume(*, check: bool = True) -> Outcome:
    return _done(load().PrintResume(), None, check)


def print_control(mode: int, device_type: int, *, check: bool = True) -> Outcome:
    """Mode 1 checks before a printout, 0 follows one to its end."""
    return _done(load().PrintControl(mode, device_type), None, check)


def chars_in_article_name(name: str) -> int:
    """Significant characters among the first 28 of an article name."""
    return int(load().pCharsInArticleName(_encode(name, "name")))


def set_callbacks(progress: Optional[Callable[[str], None]] = None,
                  message_pump: Optional[Callable[[], None]] = None) -> None:
    """Installs progress(text: str) and message_pump() call-backs; None removes them.

    They run on the calling thread, inside driver operations, and must not call the
    driver. An exception inside one is printed and otherwise ignored.
    """
    global _callbacks
    progress_c = _PROGRESS(lambda raw: progress(_decode(raw or b""))) if progress else _PROGRESS()
    pump_c = _PUMP(message_pump) if message_pump else _PUMP()
    load().SetCallbacks(progress_c, pump_c)
    _callbacks = (progress_c, pump_c)


# ---- Receipt ---------------------------------------------------------------------

def receipt_begin(*, check: bool = True) -> Outcome:
    return _done(load().ReceiptBegin(), None, check)


def receipt_item(name: str, rate: Union[int, str], quantity: int, price: int, decimals: int = 0,
                 unit: str = "", message: int = 0, value: int = 0, cancel: bool = False, *,
                 check: bool = True) -> Outcome:
    """One article line; returns its value in grosz.

    rate 1..7 (A..G); quantity in units of 10**-decimals; price in grosz; value 0 lets
    the driver compute quantity x price; cancel=True cancels an earlier line.
    """
    if isinstance(rate, str):
        rate = "ABCDEFG".index(rate.upper()) + 1
    out = ctypes.c_int32(value)
    code = load().pReceiptItem(0 if cancel else 1, _encode(name, "name"), rate, message,
                               quantity, decimals, _encode(unit, "unit"), price,
                               ctypes.byref(out))
    return _done(code, out.value, check)


def package_item(kind: int, first: int, second: int, amount: int, *,
                 check: bool = True) -> Outcome:
    """A returnable-package line; kind 0 " S", 1 " Z", 2 "-S", 3 "-Z"."""
    return _done(load().PackageItem(kind, first, second, amount), None, check)


def print_subtotal(*, check: bool = True) -> Outcome:
    return _done(load().PrintSubtotal(), None, check)


def receipt_end(discount: int = 0, *, check: bool = True) -> Outcome:
    """Ends the receipt; discount in whole percent 1..99, 0 for none."""
    return _done(load().ReceiptEnd(discount), None, check)


def receipt_cancel(*, check: bool = True) -> Outcome:
    return _done(load().ReceiptCancel(), None, check)


def fill_payment(number: int, name: str, first_amount: int, second_amount: int = 0, *,
                 check: bool = True) -> Outcome:
    return _done(load().pFillPayment(number, _encode(name, "name"), first_amount,
                                     second_amount), None, check)


def fill_lines(line_code: int, text: str, *, check: bool = True) -> Outcome:
    """Stores an extra line printed after the receipt; returns the free slots left."""
    free = ctypes.c_int32(0)
    code = load().pFillLines(line_code, _encode(text, "text"), ctypes.byref(free))
    return _done(code, free.value, check)


def erase_payments() -> None:
    load().ErasePayments()


def erase_lines() -> None:
    load().EraseLines()


def read_total(*, check: bool = True) -> Outcome:
    """The day's total of all rates in grosz."""
    result = _text_out(load().pReadTotal, check=check)
    return _as_int(result, check)


def read_sel_total(selector: str, *, check: bool = True) -> Outcome:
    """One rate's total ("A".."G") or the sum ("+"), in grosz."""
    result = _text_out(load().pReadSelTotal, _encode(selector, "selector"), check=check)
    return _as_int(result, check)


def _as_int(result: Outcome, check: bool) -> Outcome:
    if check:
        return int(result)
    code, text = result
    return code, int(text) if text else None


# ---- Tax rates -------------------------------------------------------------------

def read_vat(*, check: bool = True) -> Outcome:
    """(count, rates): the 4, 6 or 7 rates in hundredths of a percent."""
    count = ctypes.c_int32(0)
    rates = [ctypes.c_uint32(0) for _ in range(7)]
    code = load().ReadVAT(ctypes.byref(count), *(ctypes.byref(r) for r in rates))
    value = (count.value, [r.value for r in rates[:count.value]]) if code == 0 else None
    return _done(code, value, check)


def set_vat(rates: Iterable[int], *, check: bool = True) -> Outcome:
    """Writes up to seven rates (hundredths of a percent, RESERVED, EXEMPT); the rest are
    reserved. Returns how many rates the model keeps."""
    given = list(rates)
    table = given + [RESERVED] * (7 - len(given))
    if len(table) != 7:
        raise ValueError("at most seven rates")
    count = ctypes.c_int32(0)
    code = load().SetVAT(ctypes.byref(count), *table)
    return _done(code, count.value, check)


# ---- Reports ---------------------------------------------------------------------

def daily_report(force: bool = False, *, check: bool = True) -> Outcome:
    return _done(load().DailyReport(1 if force else 0), None, check)


def locked_articles_report(*, check: bool = True) -> Outcome:
    return _done(load().LockedArticlesReport(), None, check)


def printer_status_report(*, check: bool = True) -> Outcome:
    return _done(load().PrinterStatusReport(), None, check)


def _ymd(date: Union[datetime.date, Tuple[int, int, int]]) -> Tuple[int, int, int]:
    if isinstance(date, datetime.date):
        return date.year % 100, date.month, date.day
    year, month, day = date
    return year % 100, month, day


def period_report(detailed: bool, first: Union[datetime.date, Tuple[int, int, int]],
                  last: Union[datetime.date, Tuple[int, int, int]], *,
                  check: bool = True) -> Outcome:
    """Periodic report between two dates (datetime.date or (year, month, day))."""
    return _done(load().PeriodReport(1 if detailed else 0, *_ymd(first), *_ymd(last)), None,
                 check)


def monthly_report(detailed: bool, year: int, month: int, *, check: bool = True) -> Outcome:
    return _done(load().MonthlyReport(1 if detailed else 0, year % 100, month), None, check)


def number_report(detailed: bool, first: int, last: int, *, check: bool = True) -> Outcome:
    return _done(load().NumberReport(1 if detailed else 0, first, last), None, check)


# ---- Clock, counters, identification -----------------------------------------------

def read_clock(*, check: bool = True) -> Outcome:
    """The printer's clock as "YY.MM.DD;HH:MM"."""
    return _text_out(load().pReadClock, check=check)


def _number_out(function: Any, check: bool) -> Outcome:
    number = ctypes.c_int32(0)
    code = function(ctypes.byref(number))
    return _done(code, number.value, check)


def receipt_number(*, check: bool = True) -> Outcome:
    return _number_out(load().ReceiptNumber, check)


def daily_report_number(*, check: bool = True) -> Outcome:
    return _number_out(load().DailyReportNumber, check)


def read_unique_number(*, check: bool = True) -> Outcome:
    return _text_out(load().pReadUniqueNumber, check=check)


def open_drawer(number: int, *, check: bool = True) -> Outcome:
    return _done(load().OpenDrawer(number), None, check)


def write_line_feed(count: int, *, check: bool = True) -> Outcome:
    return _done(load().WriteLineFeed(count), None, check)


def dll_version() -> str:
    return str(_text_out(load().pDllVersion))


def dll_author() -> str:
    return str(_text_out(load().pDllAuthor))
