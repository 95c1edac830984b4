"""Money, quantities and tax rates between Python's Decimal and the driver's integers.

Every conversion is exact or refused with ValueError (TypeError for a float, whose
binary value is rarely the amount meant) before anything reaches the driver: a price of
4.999 is a mistake to report, not a grosz to round away.
"""

from __future__ import annotations

import ctypes
import enum
from decimal import Decimal, InvalidOperation
from typing import Any, Tuple, Union

from . import _header

__all__ = ["RateMarker", "RESERVED", "EXEMPT", "Amount", "Rate", "to_grosz", "from_grosz",
           "to_quantity", "to_rate_hundredths", "from_rate_hundredths", "rate_slot",
           "check_c_int"]

MONEY_DECIMALS = 2
QUANTITY_DECIMALS = 4
RATE_DECIMALS = 2


class RateMarker(enum.IntEnum):
    """The two tax rates that are not a percentage. Their values are the driver's codes
    (hundredths of a percent), so they compare equal to the legacy binding's integers."""

    RESERVED = _header.RATE_RESERVED  # a rate not in use ("REZERWA")
    EXEMPT = _header.RATE_EXEMPT  # the exempt rate ("ZWOLNIONA")


RESERVED = RateMarker.RESERVED
EXEMPT = RateMarker.EXEMPT

Amount = Union[Decimal, int, str]
"""Money or a quantity: a Decimal, an int, or a str such as "4.99"."""

Rate = Union[Decimal, int, str, RateMarker]
"""A tax rate: a percentage (Decimal("23"), 8, "5.5") or RESERVED or EXEMPT."""


def _decimal(value: Any, what: str) -> Decimal:
    if isinstance(value, bool) or isinstance(value, float):
        raise TypeError(f"{what}: give a Decimal, an int or a str, not {type(value).__name__} "
                        f"({value!r}), whose binary value is not exact")
    if isinstance(value, Decimal):
        number = value
    elif isinstance(value, (int, str)):
        try:
            number = Decimal(value)
        except InvalidOperation:
            raise ValueError(f"{what}: {value!r} is not a number") from None
    else:
        raise TypeError(f"{what}: give a Decimal, an int or a str, not {type(value).__name__}")
    if not number.is_finite():
        raise ValueError(f"{what}: {value!r} is not a finite number")
    return number


def _scaled(number: Decimal, places: int, what: str, value: Any) -> int:
    """number x 10**places as an int; ValueError when that is not a whole number."""
    scaled = number.scaleb(places)
    if scaled != scaled.to_integral_value():
        raise ValueError(f"{what}: {value!r} has more than {places} decimal places")
    return int(scaled)


def to_grosz(amount: Amount, what: str = "amount") -> int:
    """Zloty (Decimal("4.99"), 5, "0.50") to grosz (499, 500, 50)."""
    return _scaled(_decimal(amount, what), MONEY_DECIMALS, what, amount)


def from_grosz(grosz: int) -> Decimal:
    """Grosz to zloty with two places: 499 -> Decimal("4.99"), 500 -> Decimal("5.00")."""
    return Decimal(grosz).scaleb(-MONEY_DECIMALS)


def to_quantity(quantity: Amount, what: str = "quantity") -> Tuple[int, int]:
    """A quantity to the driver's (count, decimals): Decimal("1.5") -> (15, 1),
    Decimal("0.350") -> (350, 3) (printed as written), 2 -> (2, 0). Trailing zeros beyond
    four places are dropped; other digits beyond four places are refused."""
    number = _decimal(quantity, what)
    exponent = number.as_tuple().exponent
    assert isinstance(exponent, int)  # finite
    places = min(max(-exponent, 0), QUANTITY_DECIMALS)
    return _scaled(number, places, what, quantity), places


def to_rate_hundredths(rate: Rate, what: str = "rate") -> int:
    """A rate to hundredths of a percent: Decimal("23") -> 2300, "5.5" -> 550,
    RESERVED -> 25500. A negative rate is refused."""
    if isinstance(rate, RateMarker):
        return int(rate)
    hundredths = _scaled(_decimal(rate, what), RATE_DECIMALS, what, rate)
    if hundredths < 0:
        raise ValueError(f"{what}: {rate!r} is negative")
    return hundredths


def from_rate_hundredths(hundredths: int) -> Union[Decimal, RateMarker]:
    """Hundredths of a percent to a rate: 2300 -> Decimal("23"), 750 -> Decimal("7.5"),
    25500 -> RESERVED. Without trailing zeros, as the CLI and the service write rates."""
    try:
        return RateMarker(hundredths)
    except ValueError:
        places = RATE_DECIMALS
        while places > 0 and hundredths % 10 == 0:
            hundredths //= 10
            places -= 1
        return Decimal(hundredths).scaleb(-places)


def rate_slot(rate: Union[int, str]) -> int:
    """An item's tax rate, "A".."G" or 1..7, as the driver's number 1..7. Other numbers are
    passed on for the driver to refuse (TAURAVAT_E_RATE_RANGE)."""
    if isinstance(rate, str):
        letters = "ABCDEFG"
        if len(rate) != 1 or rate.upper() not in letters:
            raise ValueError(f"rate: {rate!r} is not one of A..G")
        return letters.index(rate.upper()) + 1
    if isinstance(rate, bool) or not isinstance(rate, int):
        raise TypeError(f"rate: give a letter A..G or a number 1..7, not {rate!r} (the "
                        f"percentages are the printer's, see read_vat)")
    return rate


def check_c_int(value: int, c_type: Any, what: str) -> int:
    """`value` unchanged if the C integer type holds it; ValueError otherwise, since ctypes
    would silently keep only its low bits (drawer 2**32 + 1 would open drawer 1)."""
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what}: an int is needed, not {type(value).__name__}")
    bits = 8 * ctypes.sizeof(c_type)
    signed = c_type(-1).value == -1
    low, high = (-(1 << (bits - 1)), (1 << (bits - 1)) - 1) if signed else (0, (1 << bits) - 1)
    if not low <= value <= high:
        raise ValueError(f"{what}: {value} is out of range ({low}..{high})")
    return value
