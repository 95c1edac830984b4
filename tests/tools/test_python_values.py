"""The Python binding's own decisions, no printer needed: values converted exactly or refused,
every result code of tauravat.h raised as its kind with both of its messages."""

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


@pytest.mark.parametrize("convert, given, expected", [
    (to_grosz, Decimal("4.99"), 499), (to_grosz, 5, 500), (to_grosz, "0.5", 50),
    (to_grosz, Decimal("4.990"), 499), (to_grosz, Decimal("-1.25"), -125),
    (to_grosz, "1E+2", 10000), (to_grosz, Decimal("9999999.99"), 999999999),
    (to_quantity, Decimal("1.5"), (15, 1)), (to_quantity, "0.350", (350, 3)),
    (to_quantity, 2, (2, 0)), (to_quantity, Decimal("1.50000"), (15000, 4)),
    (to_quantity, "1E+1", (10, 0)), (to_quantity, Decimal("0.0001"), (1, 4)),
    (to_rate_hundredths, Decimal("23"), 2300), (to_rate_hundredths, "5.5", 550),
    (to_rate_hundredths, tauravat.RESERVED, 25500), (to_rate_hundredths, tauravat.EXEMPT, 10000)])
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
    assert [str(from_grosz(200)), str(from_grosz(-5)), str(from_rate_hundredths(550))] == [
        "2.00", "-0.05", "5.50"]
    assert from_rate_hundredths(2300) == Decimal("23")
    assert from_rate_hundredths(25500) is tauravat.RESERVED
    assert from_rate_hundredths(10000) is tauravat.EXEMPT
    # The legacy binding's integers still compare equal.
    assert tauravat.RESERVED == 25500 and tauravat.legacy.EXEMPT == 10000


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
