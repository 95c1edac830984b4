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
from typing import TYPE_CHECKING, Any, Iterable, List, Optional, Tuple, Union

from . import errors
from ._values import Amount, from_grosz

if TYPE_CHECKING:
    from ._library import Item as ItemStruct
    from .printer import Printer

__all__ = ["Item", "Payment", "Receipt", "print_receipt"]

_PAYMENT_SLOTS = 4


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
                  lines: Iterable[Tuple[int, str]], discount_percent: int) -> Decimal:
    """Printer.print_receipt."""
    check_discount(discount_percent)
    prepared: List["ItemStruct"] = [_struct(printer, item) for item in items]
    payments = list(payments)
    if len(payments) > _PAYMENT_SLOTS:
        raise ValueError(f"payments: at most {_PAYMENT_SLOTS}, not {len(payments)}")
    printer.erase_payments()
    printer.erase_lines()
    receipt = Receipt(printer, discount_percent)
    try:
        for slot, payment in enumerate(payments, 1):
            printer.fill_payment(slot, payment.name, payment.amount, payment.second_amount)
        for code, text in lines:
            printer.fill_lines(code, text)
        with receipt:
            for item in prepared:
                receipt._send(item)
    except BaseException:
        # An end that failed may be tried again and needs what is left of both tables.
        if not receipt.ending:
            try:
                printer.erase_payments()
                printer.erase_lines()
            except Exception:
                pass
        raise
    return receipt.total
