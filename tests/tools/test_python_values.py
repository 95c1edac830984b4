"""The Python binding's own decisions, no printer needed: money, quantities and tax rates
converted exactly or refused, and every result code of tauravat.h raising its kind of
exception with both of its messages."""

import os
import pickle
import re
from decimal import Decimal

import pytest

import tauravat
from tauravat import errors
from tauravat._values import (from_grosz, from_rate_hundredths, to_grosz, to_quantity,
                              to_rate_hundredths)

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "driver",
                      "include", "tauravat.h")


@pytest.mark.parametrize("given, grosz", [
    (Decimal("4.99"), 499), (5, 500), ("0.5", 50), (Decimal("4.990"), 499),
    (Decimal("-1.25"), -125), ("1E+2", 10000), (Decimal("9999999.99"), 999999999)])
def test_money_becomes_grosz_exactly(given, grosz):
    assert to_grosz(given) == grosz


@pytest.mark.parametrize("given, refusal", [
    (Decimal("4.999"), ValueError), ("0.001", ValueError), ("4,99", ValueError),
    (Decimal("NaN"), ValueError), ("Infinity", ValueError),
    (4.99, TypeError), (True, TypeError), (None, TypeError)])
def test_money_that_is_not_whole_grosz_is_refused(given, refusal):
    with pytest.raises(refusal):
        to_grosz(given)


def test_money_comes_back_with_two_places():
    assert str(from_grosz(200)) == "2.00"
    assert from_grosz(749) == Decimal("7.49")
    assert str(from_grosz(-5)) == "-0.05"


@pytest.mark.parametrize("given, quantity", [
    (Decimal("1.5"), (15, 1)), ("0.350", (350, 3)), (2, (2, 0)),
    (Decimal("1.50000"), (15000, 4)), ("1E+1", (10, 0)), (Decimal("0.0001"), (1, 4))])
def test_quantities_keep_their_decimals(given, quantity):
    assert to_quantity(given) == quantity


def test_quantities_beyond_four_places_are_refused():
    with pytest.raises(ValueError, match="more than 4 decimal places"):
        to_quantity(Decimal("1.00001"))
    with pytest.raises(TypeError):
        to_quantity(1.5)


def test_rates_are_percent_or_a_marker_both_ways():
    assert to_rate_hundredths(Decimal("23")) == 2300
    assert to_rate_hundredths("5.5") == 550
    assert to_rate_hundredths(tauravat.RESERVED) == 25500
    assert to_rate_hundredths(tauravat.EXEMPT) == 10000
    assert from_rate_hundredths(2300) == Decimal("23") and str(from_rate_hundredths(550)) == "5.50"
    assert from_rate_hundredths(25500) is tauravat.RESERVED
    assert from_rate_hundredths(10000) is tauravat.EXEMPT
    # The legacy binding's integers still compare equal.
    assert tauravat.RESERVED == 25500 and tauravat.legacy.EXEMPT == 10000
    for refused in ("-1", "7.125"):
        with pytest.raises(ValueError):
            to_rate_hundredths(refused)


def header_codes():
    with open(HEADER, encoding="utf-8") as header:
        text = header.read()
    enum = text[text.index("enum tauravat_result {"):]
    enum = enum[:enum.index("};")]
    return {int(number): name for name, number in re.findall(r"(TAURAVAT_E_\w+) = (\d+)", enum)}


def test_every_result_code_of_the_header_raises_its_kind_with_both_messages():
    codes = header_codes()
    assert len(codes) > 60
    assert {code: name for code, (name, _) in errors.CODES.items()} == codes
    for code, name in codes.items():
        failure = errors.error(code)
        assert type(failure) is errors.CODES[code][1], name
        assert failure.code == code and failure.name == name
        assert failure.message_pl and failure.message_en, name
        assert failure.message_pl != failure.message_en, name
        assert name in str(failure)


def test_the_kinds_a_till_catches():
    assert isinstance(errors.error(21), TimeoutError)
    assert isinstance(errors.error(20), tauravat.CommunicationError)
    assert isinstance(errors.error(23), tauravat.CommunicationError)
    assert isinstance(errors.error(109), tauravat.PrinterRefused)
    assert isinstance(errors.error(112), tauravat.PaperOut)
    assert isinstance(errors.error(215), ValueError)
    assert type(errors.error(210)) is tauravat.ReceiptCancelled
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


def test_messages_in_both_languages():
    assert tauravat.message(201, "pl") == "Paragon nierozpoczęty."
    assert tauravat.message(20, "pl").count("\n") == 12
    assert tauravat.message(0, "en") == ""
    with pytest.raises(ValueError):
        tauravat.message(201, "de")
    with pytest.raises(ValueError):
        tauravat.message(2**32 + 201)  # not silently code 201
