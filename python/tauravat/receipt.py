"""A receipt from begin to end or cancel, as Printer.receipt() and Printer.print_receipt()
give it.

The one rule a till must keep: a receipt whose end failed may have printed. It is
cancelled only when the failure came before the end; a failure of the end itself is
raised as it is, for the till to end it again or look at the printer (see
Printer.receipt_end).
"""

from __future__ import annotations

from dataclasses import dataclass
from decimal import Decimal
from typing import TYPE_CHECKING, Any, Callable, Iterable, List, NamedTuple, Optional, Tuple, Union

import ctypes

from . import _header, _library, errors
from ._values import Amount, check_c_int, from_grosz, to_grosz

if TYPE_CHECKING:
    from ._library import Item as ItemStruct
    from .printer import Printer

__all__ = ["Item", "Payment", "Receipt", "SaleStep", "SaleStepCallback", "print_receipt"]

@dataclass(frozen=True)
class Item:
    """An item line, as Printer.receipt_item() takes it."""

    name: str
    quantity: Amount
    unit: Optional[str]
    price: Amount
    rate: Union[int, str]
    message: int = 0
    value: Optional[Amount] = None
    cancel: bool = False


@dataclass(frozen=True)
class Payment:
    """A form of payment printed at the end: its name and amounts in zloty."""

    name: str
    amount: Amount
    second_amount: Amount = 0


class SaleStep(NamedTuple):
    """A step of Printer.print_receipt(), told to its `on_step` before it happens.

    `step` is "begin" (the receipt is about to begin), "item" (item number `item` of the
    sale, from 0, is about to go out) or "end" (the end is about to go out: from here the
    receipt may print). `counter` is the receipt counter read before the begin, None when
    the printer cannot tell; `total` the receipt's total after the discount, as the
    printer sums it, for "end" and None before."""

    step: str
    counter: Optional[int]
    item: Optional[int]
    total: Optional[Decimal]


SaleStepCallback = Callable[[SaleStep], Optional[bool]]
"""Told of each SaleStep; returning False stops the sale (None or True go on)."""

_STEPS = {_header.STEP_PREPARE: "prepare", _header.STEP_BEGIN: "begin",
          _header.STEP_ITEM: "item", _header.STEP_END: "end", _header.STEP_CANCEL: "cancel"}


def check_discount(percent: Any) -> int:
    if isinstance(percent, bool) or not isinstance(percent, int):
        raise TypeError("discount_percent: a whole number of percent is needed")
    if not 0 <= percent <= 99:
        # The driver reads any other number as no discount: a till meaning 100 % must not
        # print a receipt at full price.
        raise ValueError(f"discount_percent: {percent} is not 0..99")
    return percent


class Receipt:
    """An open receipt: begun on entering the `with` block, ended on leaving it, cancelled
    when the block raises (unless the printer cancelled it already, ReceiptCancelled).
    `total` is the sum of the lines sent (sales less cancellations) before the discount.
    The block must not end or cancel the receipt itself."""

    def __init__(self, printer: "Printer", discount_percent: int = 0) -> None:
        self.printer = printer
        self.discount_percent = discount_percent
        self.total = from_grosz(0)
        self._ending = False

    @property
    def discount_percent(self) -> int:
        """The discount given at the end, 0..99 whole percent."""
        return self._discount_percent

    @discount_percent.setter
    def discount_percent(self, percent: int) -> None:
        self._discount_percent = check_discount(percent)

    @property
    def ending(self) -> bool:
        """Whether the end was sent: from then on a failure is not cancelled."""
        return self._ending

    def item(self, name: str, quantity: Amount, unit: Optional[str], price: Amount,
             rate: Union[int, str], *, message: int = 0, value: Optional[Amount] = None,
             cancel: bool = False) -> Decimal:
        """Sends an item line (see Printer.receipt_item); returns its value."""
        return self._send(self.printer._item_struct(name, quantity, unit, price, rate,
                                                   message=message, value=value,
                                                   cancel=cancel))

    def add(self, item: Item) -> Decimal:
        """Sends an Item; returns its value."""
        return self._send(_struct(self.printer, item))

    def _send(self, item: "ItemStruct") -> Decimal:
        value = self.printer._send_item(item)
        self.total += -value if item.kind == 0 else value
        return value

    def package(self, kind: Union[int, str], first: int, second: int, amount: Amount) -> None:
        """A returnable-package line (see Printer.package_item)."""
        self.printer.package_item(kind, first, second, amount)

    def subtotal(self) -> None:
        self.printer.print_subtotal()

    def __enter__(self) -> "Receipt":
        self.printer.receipt_begin()
        return self

    def __exit__(self, exc_type: Any, exc: Any, traceback: Any) -> None:
        if exc_type is None:
            self._ending = True
            self.printer.receipt_end(self.discount_percent)
            return
        if isinstance(exc, errors.ReceiptCancelled):
            return
        try:
            self.printer.receipt_cancel()
        except Exception as failure:  # the block's failure is the one to report
            _note(exc, f"cancelling the receipt failed too: {failure}")


def _struct(printer: "Printer", item: Item) -> "ItemStruct":
    return printer._item_struct(item.name, item.quantity, item.unit, item.price, item.rate,
                                message=item.message, value=item.value, cancel=item.cancel)


def _note(exception: BaseException, note: str) -> None:
    if hasattr(exception, "add_note"):  # Python 3.11
        exception.add_note(note)


def print_receipt(printer: "Printer", items: Iterable[Item], payments: Iterable[Payment],
                  lines: Iterable[Tuple[int, str]], discount_percent: int,
                  on_step: Optional[SaleStepCallback] = None) -> Decimal:
    """Printer.print_receipt."""
    if isinstance(discount_percent, bool) or not isinstance(discount_percent, int):
        raise TypeError("discount_percent: a whole number of percent is needed")
    if on_step is not None and not callable(on_step):
        raise TypeError(f"on_step: a callable is needed, not {type(on_step).__name__}")
    kept: List[Any] = []  # what the sale's pointers point into, alive until the call returns
    item_structs = [_struct(printer, item) for item in items]
    payment_structs = [
        _library.Payment(size=ctypes.sizeof(_library.Payment), slot=0,
                         name=_encoded(payment.name, "name", kept),
                         first_amount=to_grosz(payment.amount, "amount"),
                         second_amount=to_grosz(payment.second_amount, "second_amount"))
        for payment in payments]
    line_structs = [
        _library.Line(size=ctypes.sizeof(_library.Line),
                      code=check_c_int(code, ctypes.c_int32, "code"),
                      text=_encoded(text, "text", kept))
        for code, text in lines]
    sale = _library.Sale(
        size=ctypes.sizeof(_library.Sale), items=_array(_library.Item, item_structs, kept),
        item_count=len(item_structs),
        discount_percent=check_c_int(discount_percent, ctypes.c_int32, "discount_percent"),
        payments=_array(_library.Payment, payment_structs, kept),
        payment_count=len(payment_structs), lines=_array(_library.Line, line_structs, kept),
        line_count=len(line_structs))
    # The model alone decides all but the printer's rate table: checked without a byte
    # sent; the whole-sale call checks again with the table read from the printer.
    model = _library.ModelInfo(size=ctypes.sizeof(_library.ModelInfo))
    printer._call("tauravat_printer_model", ctypes.byref(model))
    problem = _library.Problem(size=ctypes.sizeof(_library.Problem))
    code = _library.function("tauravat_check_sale")(ctypes.byref(model), None,
                                                    ctypes.byref(sale), ctypes.byref(problem))
    if code != 0:
        raise refusal(code, problem)
    # An exception must not unwind through the driver: it is kept, the sale stopped, and
    # raised here once the driver has cancelled what it began.
    raised: List[BaseException] = []
    step = _library.SALE_STEP() if on_step is None else _library.SALE_STEP(
        lambda user, info: _tell(on_step, info.contents, raised))
    outcome = _library.SaleOutcome(size=ctypes.sizeof(_library.SaleOutcome))
    try:
        printer._call("tauravat_print_sale", ctypes.byref(sale), step, None,
                      ctypes.byref(outcome))
    except errors.TauravatError as failure:
        if outcome.problem.code != 0:
            raise refusal(outcome.problem.code, outcome.problem) from None
        if not raised:
            _describe_outcome(failure, outcome)
            raise
    else:
        return from_grosz(outcome.total)
    stopped = raised[0]
    _note(stopped, "print_receipt stopped the sale before its "
                   f"{_STEPS.get(outcome.stopped_at, 'step')}: "
                   + ("nothing was printed" if outcome.state == _header.SALE_FAILED
                      else "the receipt begun was cancelled"))
    raise stopped


def _tell(on_step: SaleStepCallback, info: Any, raised: List[BaseException]) -> int:
    """The driver's step call-back: 0 goes on, 1 stops the sale."""
    told = SaleStep(_STEPS.get(info.step, "other"), info.counter if info.counter >= 0 else None,
                    info.item if info.item >= 0 else None,
                    from_grosz(info.total) if info.step == _header.STEP_END else None)
    try:
        go_on = on_step(told)
    except BaseException as failure:  # KeyboardInterrupt too: it must reach the caller
        raised.append(failure)
        return 1
    return 1 if go_on is not None and not go_on else 0


def _describe_outcome(failure: errors.TauravatError, outcome: Any) -> None:
    failure.sale_state = _STATES.get(outcome.state, "unknown")
    failure.codes = [(code.step, code.code) for code in outcome.codes[:outcome.code_count]]
    if outcome.state == _header.SALE_UNKNOWN:
        _note(failure, "the end went out and nothing could tell whether the receipt "
                       "printed: look at the paper or receipt_counter() before ringing "
                       "the sale again")


_STATES = {_header.SALE_PRINTED: "printed", _header.SALE_CANCELLED: "cancelled",
           _header.SALE_FAILED: "failed", _header.SALE_UNKNOWN: "unknown"}


def refusal(code: int, problem: Any) -> errors.TauravatError:
    """The exception for a sale the check refused: the code's, with where the problem is
    (`field`, `offset` and `code_point`, None where they do not apply) in its text too."""
    failure = errors.error(code)
    failure.field = where = problem.field.decode("utf-8", errors="replace")
    failure.offset = problem.offset if problem.offset >= 0 else None
    failure.code_point = problem.code_point if problem.offset >= 0 else None
    if failure.offset is not None and failure.code_point is not None:
        where += f" at character {failure.offset} (U+{failure.code_point:04X})"
    failure.args = (f"{where}: {failure.args[0]}",)
    return failure


def _encoded(text: str, what: str, kept: List[Any]) -> bytes:
    if not isinstance(text, str):
        raise TypeError(f"{what}: a str is needed, not {type(text).__name__}")
    encoded = text.encode("utf-8")
    kept.append(encoded)
    return encoded


def _array(kind: Any, elements: List[Any], kept: List[Any]) -> Any:
    if not elements:
        return None
    array = (kind * len(elements))(*elements)
    kept.append(array)
    return ctypes.cast(array, ctypes.POINTER(kind))
