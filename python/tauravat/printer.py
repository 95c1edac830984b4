"""One printer on one port: tauravat_open's handle as a Python object.

    import tauravat
    from decimal import Decimal

    with tauravat.open("/dev/ttyUSB0", baud=9600) as printer:
        print(printer.device_name())                     # 'KESTRA LUNO'
        with printer.receipt() as receipt:
            receipt.item("Chleb razowy", Decimal("1.5"), "szt", Decimal("4.99"), "A")

Each Printer owns its port, its receipt and its settings: two printers work at once from
two threads. One Printer may be shared by threads; its calls are taken one at a time.
"""

from __future__ import annotations

import ctypes
import datetime
import enum
import os
import threading
import weakref
from decimal import Decimal
from typing import Any, Callable, Iterable, List, NamedTuple, Optional, Sequence, Tuple, Union

from . import _header, _library, errors
from .receipt import (Item, Payment, Receipt, SaleStepCallback, check_discount,
                      print_receipt)
from ._values import (Amount, Rate, RateMarker, check_c_int, from_grosz, from_rate_hundredths,
                      rate_slot, to_grosz, to_quantity, to_rate_hundredths)

__all__ = ["open", "chars_in_article_name", "Printer", "DeviceType", "PrinterNumber", "PrintMode", "ProgressCallback",
           "StepCallback", "TraceCallback"]

ProgressCallback = Callable[[str], None]
# (step, caption): the caption's stable identifier ("read_device_type", ...) beside it.
StepCallback = Callable[[str, str], None]
# One traced byte, as one line of the TAURAVAT_TRACE file.
TraceCallback = Callable[[str], None]
"""Called with each operation's caption ("Raport dobowy..."); "" clears it."""

# Output sizes that always suffice (tauravat.h); a longer answer is asked again.
_DEVICE_NAME_SIZE = _header.DEVICE_NAME_SIZE
_CLOCK_SIZE = _header.CLOCK_SIZE
_UNIQUE_NUMBER_SIZE = _header.UNIQUE_NUMBER_SIZE
_PRINTER_CODE_SIZE = _header.PRINTER_CODE_SIZE
_RATE_SLOTS = 7
_PARAMETER_RANGE = next(code for code, name in _header.RESULT_NAMES.items()
                        if name == "TAURAVAT_E_PARAMETER_RANGE")

_PACKAGE_KINDS = {" S": 0, "S": 0, " Z": 1, "Z": 1, "-S": 2, "-Z": 3}
_INTEGER_TYPES = (ctypes.c_int32, ctypes.c_uint32, ctypes.c_uint16, ctypes.c_uint8,
                  ctypes.c_int64, ctypes.c_size_t)


class DeviceType(NamedTuple):
    """What the printer says it is: the device type code (0..10, 11 for another device)
    and its program version (0 when the model reports none)."""

    type: int
    version: int


class PrinterNumber(NamedTuple):
    """The printer's number (two digits) and its two-character code."""

    number: int
    code: str


class PrintMode(enum.IntEnum):
    """What print_control() does."""

    FOLLOW = 0  # follow a printout until it has ended
    BEFORE = 1  # check before a printout, resuming a stopped one


def open(device: Union[str, "os.PathLike[str]"], *, baud: int = 9600, timeout: float = 5.0,
         progress: Optional[ProgressCallback] = None, step: Optional[StepCallback] = None,
         trace: Optional[TraceCallback] = None,
         print_limit: Optional[float] = None) -> "Printer":
    """Opens the printer on `device` and identifies it; see Printer."""
    return Printer(device, baud=baud, timeout=timeout, progress=progress, step=step,
                   trace=trace, print_limit=print_limit)


def chars_in_article_name(name: str) -> int:
    """How many of the first 28 characters of an article name are significant (letters,
    digits, "%", ",", ".", "/", "\\"): a name needs 10, or 5 on TAURA II, LUNO and
    LUNO F. No printer is needed."""
    count = ctypes.c_int32(0)
    code = _library.function("tauravat_chars_in_article_name")(_utf8(name, "name"),
                                                               ctypes.byref(count))
    if code != 0:
        raise errors.error(code)
    return count.value


def _table_rate(rate: Rate, index: int) -> int:
    """One rate of a table to write, in hundredths. A negative rate or one that is no number
    is refused as the driver refuses a rate it cannot take (BadInput at "rates[n]"), so
    every program names the same rate the same way."""
    letter = "ABCDEFG"[index]
    try:
        return check_c_int(to_rate_hundredths(rate, f"rate {letter}"), ctypes.c_uint32,
                           f"rate {letter}")
    except ValueError as refused:
        failure = errors.error(_PARAMETER_RANGE)
        failure.field = f"rates[{index}]"
        failure.detail = str(refused)
        failure.args = (f"{failure.args[0]}: {failure.field}: {refused}",)
        raise failure from None


def _text(value: Optional[bytes]) -> str:
    return value.decode("utf-8", errors="replace") if value else ""


def _utf8(text: str, what: str) -> bytes:
    if not isinstance(text, str):
        raise TypeError(f"{what}: a str is needed, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{what}: {text!r} holds a NUL character")
    try:
        return text.encode("utf-8")
    except UnicodeEncodeError as error:
        raise ValueError(f"{what}: {text!r} is not valid text") from error


def _close_handle(handle: int, keepalive: Any) -> None:
    """Finalizer of a Printer never closed: frees the port with the object."""
    del keepalive  # the progress call-back lives as long as the handle
    _library.function("tauravat_close")(handle)


class Printer:
    """A printer on one serial port (tauravat_printer).

    Opening it opens `device`, cancels a receipt the printer may hold open, follows any
    printout to its end and identifies the printer. `device` is a path (/dev/ttyUSB0,
    /dev/serial/by-id/..., a pseudo-terminal; on Windows \\\\.\\COM12) or COM1..COM255.
    `baud` is 9600, 19200 or 28800; `timeout` the seconds allowed for each byte; `progress`
    is called with each operation's caption (inside the call, on its thread; it must not
    use this printer, and an exception in it is printed and ignored). `step` is called
    likewise with the caption's stable identifier and the caption ("read_device_type",
    "Odczyt typu urządzenia..."; "", "" when it is cleared), `trace` with each byte sent
    or received as one line of the TAURAVAT_TRACE file. `print_limit` is the longest, in
    seconds, one call follows a printout that does not end (None: until it ends).

    Money is Decimal zloty (Decimal("4.99")), quantities are Decimal with up to four places
    (Decimal("0.350") kg), tax rates Decimal percent or RESERVED or EXEMPT, the clock a
    datetime. A failure raises a tauravat.TauravatError subclass (see tauravat.errors);
    arguments that cannot be converted exactly raise ValueError (TypeError for a float)
    before anything is sent. Use it as a context manager, or call close().
    """

    def __init__(self, device: Union[str, "os.PathLike[str]"], *, baud: int = 9600,
                 timeout: float = 5.0, progress: Optional[ProgressCallback] = None,
                 step: Optional[StepCallback] = None, trace: Optional[TraceCallback] = None,
                 print_limit: Optional[float] = None) -> None:
        self.device = os.fspath(device)
        # Reentrant: a progress call-back calling this printer must reach the driver, which
        # refuses it (TAURAVAT_E_REENTERED), instead of waiting for itself.
        self._lock = threading.RLock()
        self._calls = 0  # calls under way, held by the lock's owner
        self._handle: Optional[int] = None
        timeout_ms = round(timeout * 1000)
        if timeout_ms <= 0:
            raise ValueError(f"timeout: {timeout!r} s is not a positive time")
        options = _library.Options(size=ctypes.sizeof(_library.Options),
                                   baud=check_c_int(baud, ctypes.c_uint32, "baud"),
                                   timeout_ms=check_c_int(timeout_ms, ctypes.c_uint32, "timeout"))
        if print_limit is not None:
            limit_ms = round(print_limit * 1000)
            if limit_ms <= 0:
                raise ValueError(f"print_limit: {print_limit!r} s is not a positive time")
            options.print_limit_ms = check_c_int(limit_ms, ctypes.c_uint32, "print_limit")
        if progress is not None:
            options.progress = _library.HANDLE_PROGRESS(
                lambda user, text: progress(_text(text)))
        if step is not None:
            options.step = _library.HANDLE_STEP(
                lambda user, name, text: step(_text(name), _text(text)))
        if trace is not None:
            options.trace = _library.HANDLE_TRACE(lambda user, line: trace(_text(line)))
        # The call-backs stay alive as long as the handle.
        self._progress = (options.progress, options.step, options.trace)
        handle = ctypes.c_void_p()
        code = _library.function("tauravat_open")(_utf8(self.device, "device"),
                                                  ctypes.byref(options), ctypes.byref(handle))
        if code != 0:
            failure = errors.error(code, unnamed=errors.ConnectionFailed, device=self.device)
            if not isinstance(failure, errors.PortError):  # which names its device itself
                failure.args = (f"{self.device}: {failure.args[0]}",)
            raise failure
        assert handle.value is not None  # a handle is given with success
        self._handle = handle.value
        self._finalizer = weakref.finalize(self, _close_handle, handle.value, self._progress)

    # ---- Life ------------------------------------------------------------------------

    @property
    def closed(self) -> bool:
        return self._handle is None

    def close(self) -> None:
        """Closes the port; the printer cannot be used any more. A receipt left open stays
        open in the printer. Waits for a call another thread is making; harmless when
        already closed."""
        with self._lock:
            if self._handle is None:
                return
            if self._calls:
                raise RuntimeError("a printer cannot be closed from its own progress call-back")
            handle, self._handle = self._handle, None
            self._finalizer.detach()
            code = _library.function("tauravat_close")(handle)
        if code != 0:
            raise errors.error(code, unnamed=errors.ConnectionFailed)

    def __enter__(self) -> "Printer":
        return self

    def __exit__(self, exc_type: Any, exc: Any, traceback: Any) -> None:
        try:
            self.close()
        except errors.TauravatError:
            if exc_type is None:
                raise

    def __repr__(self) -> str:
        return f"<tauravat.Printer {self.device} {'closed' if self.closed else 'open'}>"

    # ---- Calls -----------------------------------------------------------------------

    def _call(self, name: str, *arguments: Any) -> None:
        """Calls tauravat_`name` with the handle first; raises the code's exception."""
        function = _library.function(name)
        for argument, c_type in zip(arguments, function.argtypes[1:]):
            if isinstance(argument, int) and c_type in _INTEGER_TYPES:
                check_c_int(argument, c_type, name)
        with self._lock:
            if self._handle is None:
                raise ValueError(f"{self.device}: the printer is closed")
            self._calls += 1
            try:
                code = function(self._handle, *arguments)
            finally:
                self._calls -= 1
        if code != 0:
            raise errors.error(code, device=self.device)

    def _text(self, name: str, size: int, *arguments: Any) -> str:
        """A text answer: asked with `size` bytes, again with more if the driver needs
        them."""
        while True:
            buffer = ctypes.create_string_buffer(size)
            needed = ctypes.c_size_t(0)
            try:
                self._call(name, *arguments, buffer, size, ctypes.byref(needed))
            except errors.BadInput as failure:
                if failure.code == _library.BUFFER_TOO_SMALL and needed.value > size:
                    size = needed.value
                    continue
                raise
            return buffer.value.decode("utf-8", errors="replace")

    def _int32(self, name: str) -> int:
        number = ctypes.c_int32(0)
        self._call(name, ctypes.byref(number))
        return number.value

    def _money(self, name: str, *arguments: Any) -> Decimal:
        total = ctypes.c_int64(0)
        self._call(name, *arguments, ctypes.byref(total))
        return from_grosz(total.value)

    # ---- Identification, conditions, print supervision --------------------------------

    def device_type(self) -> DeviceType:
        """Asks the printer what it is."""
        type_, version = ctypes.c_int32(0), ctypes.c_int32(0)
        self._call("tauravat_device_type", ctypes.byref(type_), ctypes.byref(version))
        return DeviceType(type_.value, version.value)

    def device_name(self) -> str:
        """The model's name ("KESTRA LUNO", "TAURA II generacji", ...)."""
        return self._text("tauravat_device_name", _DEVICE_NAME_SIZE)

    def receipt_conditions(self) -> None:
        """Checks that a receipt may begin now; raises the first condition that fails."""
        self._call("tauravat_receipt_conditions")

    def print_control(self, mode: PrintMode = PrintMode.FOLLOW) -> None:
        """Follows a printout to its end (FOLLOW) or checks before one (BEFORE). PaperOut:
        load paper and call it again."""
        self._call("tauravat_print_control", int(mode))

    def print_resume(self) -> None:
        """Restarts a printout stopped for paper and follows it to its end."""
        self._call("tauravat_print_resume")

    def rs_sequence(self, command: int, parameters: bytes = b"", reply_length: int = 1) -> bytes:
        """Sends ESC, `command` and `parameters` as given (no receipt check, no
        reconnection) and reads `reply_length` answer bytes, the ACK included. Returns
        `reply_length` bytes: data byte k at index k-1, a status command's byte at 0 (after
        an ACK and n data bytes, the last of the n + 1 is not part of the answer)."""
        parameters = bytes(parameters)
        sent = (ctypes.c_uint8 * len(parameters)).from_buffer_copy(parameters) \
            if parameters else None
        check_c_int(reply_length, ctypes.c_uint8, "reply_length")
        reply = (ctypes.c_uint8 * max(reply_length, 1))()
        needed = ctypes.c_size_t(0)
        self._call("tauravat_rs_sequence", command, sent, len(parameters), reply_length,
                   reply if reply_length else None, reply_length, ctypes.byref(needed))
        return bytes(reply)[:reply_length]

    # ---- Receipt -----------------------------------------------------------------------

    def receipt_begin(self) -> None:
        """Begins a receipt. Prefer receipt() or print_receipt(), which end or cancel it."""
        self._call("tauravat_receipt_begin")

    def _item_struct(self, name: str, quantity: Amount, unit: Optional[str], price: Amount,
                    rate: Union[int, str], *, message: int = 0, value: Optional[Amount] = None,
                    cancel: bool = False) -> _library.Item:
        """An item line converted for the driver, refused with ValueError if it cannot be
        exactly; nothing is sent."""
        count, decimals = to_quantity(quantity)
        item = _library.Item(
            size=ctypes.sizeof(_library.Item), kind=0 if cancel else 1,
            name=_utf8(name, "name"), rate=check_c_int(rate_slot(rate), ctypes.c_int32, "rate"),
            message=check_c_int(message, ctypes.c_int32, "message"),
            quantity=check_c_int(count, ctypes.c_int64, "quantity"), decimals=decimals,
            unit=_utf8(unit, "unit") if unit else None,
            price=check_c_int(to_grosz(price, "price"), ctypes.c_int64, "price"),
            value=check_c_int(to_grosz(value, "value"), ctypes.c_int64, "value")
            if value is not None else 0)
        return item

    def _send_item(self, item: _library.Item) -> Decimal:
        """Sends an item made by _item_struct(); returns the line's value."""
        value = ctypes.c_int64(0)
        try:
            self._call("tauravat_receipt_item", ctypes.byref(item), ctypes.byref(value))
        except errors.BadInput as failure:
            self._explain_item(item, failure)
            raise
        return from_grosz(value.value)

    def _explain_item(self, item: _library.Item, failure: errors.TauravatError) -> None:
        """Names the field and the character of a refused item in `failure`, as the one
        check the driver applies (tauravat_check_item) finds them."""
        model = _library.ModelInfo(size=ctypes.sizeof(_library.ModelInfo))
        problem = _library.Problem(size=ctypes.sizeof(_library.Problem))
        with self._lock:
            if self._handle is None or _library.function("tauravat_printer_model")(
                    self._handle, ctypes.byref(model)) != 0:
                return
        if _library.function("tauravat_check_item")(ctypes.byref(model), None,
                                                    ctypes.byref(item),
                                                    ctypes.byref(problem)) != failure.code:
            return  # a refusal the model alone does not explain (a reserved rate)
        failure.field = field = problem.field.decode("ascii", errors="replace")
        failure.detail = errors.describe_problem(field, problem.rule, problem.offset,
                                                 problem.code_point, problem.limit)
        failure.args = (f"{failure.args[0]}: {failure.detail}",)

    def receipt_item(self, name: str, quantity: Amount, unit: Optional[str], price: Amount,
                     rate: Union[int, str], *, message: int = 0, value: Optional[Amount] = None,
                     cancel: bool = False) -> Decimal:
        """Sends one item line; returns its value in zloty.

        `quantity` with up to four places (printed as written: Decimal("0.350")), `unit`
        up to 4 characters ("" or None for none), `price` the unit price, `rate` the tax
        rate "A".."G" or 1..7, `message` 0..7, `value` the line's value when it must differ
        from quantity x price (None: computed, a half grosz rounded up), `cancel` True to
        cancel an earlier line. Everything is checked before the line goes out, since a
        line the printer refuses cancels the whole receipt.
        """
        return self._send_item(self._item_struct(name, quantity, unit, price, rate,
                                               message=message, value=value, cancel=cancel))

    def package_item(self, kind: Union[int, str], first: int, second: int,
                     amount: Amount) -> None:
        """A returnable-package line: `kind` "S" (sold), "Z" (returned), "-S", "-Z" or
        0..3; the two 16-bit values and the amount go to the printer unchanged."""
        if isinstance(kind, str):
            if kind not in _PACKAGE_KINDS:
                raise ValueError(f"kind: {kind!r} is not one of S, Z, -S, -Z")
            kind = _PACKAGE_KINDS[kind]
        self._call("tauravat_package_item", kind, first, second, to_grosz(amount, "amount"))

    def print_subtotal(self) -> None:
        """Prints the subtotal (TAURA II, LUNO, LUNO F)."""
        self._call("tauravat_print_subtotal")

    def receipt_end(self, discount_percent: int = 0) -> None:
        """Ends the receipt with a discount of 0..99 whole percent, the payments and the
        extra lines, and follows the printout.

        Returning means printed, once. ReceiptCancelled: the printer cancelled it,
        nothing counts. PrinterRefused with NAK: the printer refused the end and still
        holds the receipt (end it again or cancel it). Any other failure (a
        CommunicationError above all) leaves the outcome to be found: call receipt_end()
        again, which goes on from the last step the printer has and, when the answer to
        the end was lost, first asks the printer whether it printed; it never prints a
        receipt twice. receipt_cancel() after such a failure never reports a printed sale
        cancelled: it raises PreconditionError with code 201 (no receipt open), and
        receipt_end() then returns.
        """
        self._call("tauravat_receipt_end", check_discount(discount_percent))

    def receipt_cancel(self) -> None:
        """Cancels the open receipt and follows the printout."""
        self._call("tauravat_receipt_cancel")

    def fill_payment(self, number: int, name: str, first_amount: Amount,
                     second_amount: Amount = 0) -> None:
        """Fills payment slot `number` (1..4), printed by receipt_end(): `name` cut or
        padded to 13 characters, the amounts in zloty."""
        self._call("tauravat_fill_payment", number, _utf8(name, "name"),
                   to_grosz(first_amount, "first_amount"), to_grosz(second_amount, "second_amount"))

    def fill_lines(self, code: int, text: str) -> int:
        """Stores a line (code 0..15, at most 253 characters) printed after the receipt;
        returns the slots still free."""
        free = ctypes.c_int32(0)
        self._call("tauravat_fill_lines", code, _utf8(text, "text"), ctypes.byref(free))
        return free.value

    def erase_payments(self) -> None:
        self._call("tauravat_erase_payments")

    def erase_lines(self) -> None:
        self._call("tauravat_erase_lines")

    def read_total(self) -> Decimal:
        """The running total of all tax rates since the daily report."""
        return self._money("tauravat_read_total")

    def read_sel_total(self, selector: str) -> Decimal:
        """The running total of one rate ("A".."G"), or of all ("+")."""
        return self._money("tauravat_read_sel_total", _utf8(selector, "selector"))

    def receipt(self, discount_percent: int = 0) -> "Receipt":
        """A receipt as a context manager: begun on entry, ended on leaving (with
        `discount_percent`, which may be changed inside), cancelled on an exception
        (unless the printer cancelled it already). A failure of the end is raised without
        cancelling: see receipt_end() for what it means.

            with printer.receipt() as receipt:
                receipt.item("Chleb razowy", 1, "szt", Decimal("4.99"), "A")
        """
        return Receipt(self, discount_percent)

    def print_receipt(self, items: Iterable[Item], payments: Iterable[Payment] = (),
                      lines: Iterable[Tuple[int, str]] = (), discount_percent: int = 0, *,
                      on_step: Optional[SaleStepCallback] = None) -> Decimal:
        """Prints a whole sale in one driver call (tauravat_print_sale), which keeps the
        recovery rules of every answer; returns the receipt's total after the discount.
        The sale is checked first, so a mistake is raised (BadInput, with `field`,
        `offset` and `code_point`) before a receipt begins. A sale that did not print
        raises the code that decided it, with `sale_state` ("cancelled", "failed" or
        "unknown": the end went out and nothing could tell) and `codes` (step, code).

        `on_step` is called with a SaleStep before the begin, before each item and before
        the end, on this thread, so that a till can record the sale durably first (the
        counter before the begin, the end about to go out). Returning None or True goes
        on. Returning False stops the sale and raises SaleStopped; an exception raised in
        it stops the sale too and is raised from here as it is. Either way nothing is
        sold: stopped before the begin nothing is printed, after it the receipt is
        cancelled (the end is never sent). It must not use this printer (that raises
        PreconditionError, 244, and stops the sale).

            def journal(step: tauravat.SaleStep) -> None:
                log.write(f"{step.step} {step.counter} {step.total}\n")
                log.flush()
                os.fsync(log.fileno())

            printer.print_receipt(items, payments, on_step=journal)
        """
        return print_receipt(self, items, payments, lines, discount_percent, on_step)

    # ---- Tax rates ---------------------------------------------------------------------

    def read_vat(self) -> List[Union[Decimal, RateMarker]]:
        """The printer's tax rates from A: 4, 6 or 7 of them, each a Decimal percent
        (Decimal("23"), Decimal("7.5")) or RESERVED or EXEMPT."""
        count = ctypes.c_int32(0)
        rates = (ctypes.c_uint32 * _RATE_SLOTS)()
        self._call("tauravat_read_vat", ctypes.byref(count), rates)
        return [from_rate_hundredths(rate) for rate in rates[:count.value]]

    def set_vat(self, rates: Sequence[Rate]) -> int:
        """Writes tax rates from A (up to seven; those left out are RESERVED) into fiscal
        memory, which takes a limited number of changes, and reads them back, even when the
        printer already holds them: write_rates() writes only a change. Returns how many
        rates the model keeps (4, 6 or 7). Only right after a daily report."""
        if len(rates) > _RATE_SLOTS:
            raise ValueError(f"rates: at most {_RATE_SLOTS}, not {len(rates)}")
        given = [to_rate_hundredths(rate, f"rate {letter}") for letter, rate in zip("ABCDEFG", rates)]
        padded = given + [int(RateMarker.RESERVED)] * (_RATE_SLOTS - len(given))
        for letter, rate in zip("ABCDEFG", padded):
            check_c_int(rate, ctypes.c_uint32, f"rate {letter}")
        count = ctypes.c_int32(0)  # stays 0 when the driver writes nothing
        self._call("tauravat_set_vat", ctypes.byref(count), (ctypes.c_uint32 * _RATE_SLOTS)(*padded))
        return count.value

    def write_rates(self, rates: Sequence[Rate], *, force: bool = False) -> bool:
        """Writes tax rates from A (up to seven; those left out stay as the printer holds
        them) into fiscal memory, only when they change what the printer holds: each write
        takes an entry of fiscal memory for good. Returns True when they were written and
        read back, False when the printer already held them and nothing was sent; `force`
        writes them anyway. A table the model cannot take, or a rate that is negative or no
        number, raises BadInput naming the rate (`field` "rates[n]"). Only right after a daily report."""
        if len(rates) > _RATE_SLOTS:
            raise ValueError(f"rates: at most {_RATE_SLOTS}, not {len(rates)}")
        given = [_table_rate(rate, index) for index, rate in enumerate(rates)]
        table = _library.Rates(size=ctypes.sizeof(_library.Rates), count=len(given))
        for index, rate in enumerate(given):
            table.values[index] = rate
        written = ctypes.c_int32(0)
        try:
            self._call("tauravat_write_rates", ctypes.byref(table), _header.FORCE if force else 0,
                       ctypes.byref(written))
        except errors.BadInput as failure:
            self._explain_rates(table, failure)
            raise
        return written.value != 0

    def _explain_rates(self, table: _library.Rates, failure: errors.TauravatError) -> None:
        """Names the rate of a refused table in `failure`, as the driver's one rate check
        (tauravat_check_rates) finds it in the table the printer would have held."""
        model = _library.ModelInfo(size=ctypes.sizeof(_library.ModelInfo))
        problem = _library.Problem(size=ctypes.sizeof(_library.Problem))
        count = ctypes.c_int32(0)
        held = (ctypes.c_uint32 * _RATE_SLOTS)()
        with self._lock:
            if self._handle is None or _library.function("tauravat_printer_model")(
                    self._handle, ctypes.byref(model)) != 0 or _library.function(
                    "tauravat_read_vat")(self._handle, ctypes.byref(count), held) != 0:
                return
        whole = _library.Rates(size=ctypes.sizeof(_library.Rates),
                               count=max(table.count, count.value, model.rate_count))
        for index in range(_RATE_SLOTS):
            whole.values[index] = table.values[index] if index < table.count else held[index]
        if _library.function("tauravat_check_rates")(ctypes.byref(model), ctypes.byref(whole),
                                                     ctypes.byref(problem)) != failure.code:
            return
        failure.field = field = problem.field.decode("ascii", errors="replace")
        failure.detail = errors.describe_problem(field, problem.rule, problem.offset,
                                                 problem.code_point, problem.limit)
        failure.args = (f"{failure.args[0]}: {failure.detail}",)

    # ---- Reports -----------------------------------------------------------------------

    def daily_report(self, force: bool = False) -> None:
        """The daily report. Without a sale since the last one: PreconditionError, unless
        `force` and the model prints empty daily reports."""
        self._call("tauravat_daily_report", 1 if force else 0)

    def locked_articles_report(self) -> None:
        self._call("tauravat_locked_articles_report")

    def printer_status_report(self) -> None:
        self._call("tauravat_printer_status_report")

    def period_report(self, first: datetime.date, last: datetime.date, *,
                      detailed: bool = True) -> None:
        """The periodic report from `first` to `last` (dates 2000..2099)."""
        self._call("tauravat_period_report", 1 if detailed else 0, first.year, first.month,
                   first.day, last.year, last.month, last.day)

    def monthly_report(self, year: int, month: int, *, detailed: bool = True) -> None:
        """The report of one finished month."""
        self._call("tauravat_monthly_report", 1 if detailed else 0, year, month)

    def number_report(self, first: int, last: int, *, detailed: bool = True) -> None:
        """The report of daily reports number `first` to `last` (0..65535)."""
        self._call("tauravat_number_report", 1 if detailed else 0, first, last)

    # ---- Clock, counters, identity, drawer --------------------------------------------------

    def read_clock(self) -> datetime.datetime:
        """The printer's clock (its own local time; seconds are 0 on models whose clock
        gives none: RX820, TAURA I, LUNO E and EFV)."""
        text = self._text("tauravat_read_clock", _CLOCK_SIZE)
        for layout in ("%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M"):
            try:
                return datetime.datetime.strptime(text, layout)
            except ValueError:
                pass
        raise errors.InternalError(999, message_en=f"the clock reads {text!r}")

    def receipt_number(self) -> int:
        """The number of the last receipt."""
        return self._int32("tauravat_receipt_number")

    def receipt_counter(self) -> Optional[int]:
        """The receipt counter alone (the number at the foot of the last receipt), or None
        where it cannot tell: a 0 on LUNO and LUNO F, which may keep it at 0."""
        number, known = ctypes.c_int32(0), ctypes.c_int32(0)
        self._call("tauravat_receipt_counter", ctypes.byref(number), ctypes.byref(known))
        return number.value if known.value else None

    def daily_report_number(self) -> int:
        """The number of the last daily report."""
        return self._int32("tauravat_daily_report_number")

    def printer_number(self) -> PrinterNumber:
        number = ctypes.c_int32(0)
        code = self._text("tauravat_printer_number", _PRINTER_CODE_SIZE, ctypes.byref(number))
        return PrinterNumber(number.value, code)

    def read_unique_number(self) -> str:
        """The fiscal module's unique number (11 characters)."""
        return self._text("tauravat_read_unique_number", _UNIQUE_NUMBER_SIZE)

    def open_drawer(self, drawer: int = 1) -> None:
        """Opens cash drawer 1..3; works during a receipt."""
        self._call("tauravat_open_drawer", drawer)

    def write_line_feed(self, lines: int) -> None:
        """Sets how many lines (0..255) the printer feeds after a printout."""
        self._call("tauravat_write_line_feed", lines)

