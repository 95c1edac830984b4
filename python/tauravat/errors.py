"""The driver's result codes and the exceptions they raise.

Every code of tauravat.h's enum tauravat_result is named here once, with the kind of
failure it is; `error(code)` builds the exception, with the code's messages in Polish
and English. The kinds tell a till what to do:

    TauravatError                 any failure; .code, .name, .message_pl, .message_en
    +-- CommunicationError        the line failed: the printer's state is not known
    |   +-- PrinterTimeout        20, 21: no byte went out, or no answer came back
    |   +-- ConnectionFailed      5, 114, an OS error number: the port did not open
    +-- PrinterRefused            the printer said no, or reports a state that forbids it
    |   +-- PaperOut              109, 112: load paper, then print_control() or
    |                             print_resume()
    +-- ReceiptCancelled          210: the printer cancelled the receipt; the sale is gone
    +-- PreconditionError         the call does not fit the driver's or the printer's
    |                             state or model (a receipt open or not, no sales since
    |                             the daily report, a command the model lacks)
    +-- BadInput                  an argument is out of range (also a ValueError);
    |                             nothing was sent
    +-- InternalError             999: a fault inside the library

A code without a name (an operating system's error number from opening the port, or a
code this package does not know) raises ConnectionFailed from open() and TauravatError
elsewhere.
"""

from __future__ import annotations

from typing import Any, Dict, Optional, Tuple, Type

from . import _library

__all__ = [
    "TauravatError", "CommunicationError", "PrinterTimeout", "ConnectionFailed",
    "PrinterRefused", "PaperOut", "ReceiptCancelled", "PreconditionError", "BadInput",
    "InternalError", "CODES", "error",
]


class TauravatError(Exception):
    """A driver operation answered a result code other than 0.

    `code` is the driver's result code, `name` its TAURAVAT_E_... name (None for a code
    outside tauravat.h's enum, such as an OS error number), `message_pl` and `message_en`
    its texts (lines separated by "\\n"). `message` is the Polish text, as it always was.
    """

    def __init__(self, code: int, message_pl: str = "", message_en: str = "",
                 name: Optional[str] = None) -> None:
        self.code = code
        self.name = name if name is not None else _name_of(code)
        self.message_pl = message_pl
        self.message_en = message_en
        super().__init__(self._summary())

    def __reduce__(self) -> Any:  # pickled whole, e.g. back from a worker process
        return (type(self), (self.code, self.message_pl, self.message_en, self.name))

    @property
    def message(self) -> str:
        """The Polish text (the legacy binding's only one)."""
        return self.message_pl

    def _summary(self) -> str:
        text = (self.message_en or self.message_pl).strip().splitlines()
        first = text[0].strip() if text else ""
        label = f"{self.name} ({self.code})" if self.name else f"code {self.code}"
        return f"{label}: {first}" if first else label


class CommunicationError(TauravatError):
    """The exchange with the printer failed; whether the printer carried out the command
    is not known. 23 (an answer that makes no sense) is one directly."""


class PrinterTimeout(CommunicationError, TimeoutError):
    """20: a byte could not be written; 21: the printer's answer did not arrive."""


class ConnectionFailed(CommunicationError):
    """The port could not be opened: in use (5), not set (114), or the operating system's
    error number (2: no such device, 13: permission denied, ...)."""


class PrinterRefused(TauravatError):
    """The printer refused the command (24 NAK, 26) or reports a state that forbids it
    (100..113, 217 rates not kept, 228..241 service and fiscal memory states)."""


class PaperOut(PrinterRefused):
    """109: no paper or the head is up; 112: a printout stopped for paper. Load paper,
    then call print_control() (or print_resume()) to finish the printout."""


class ReceiptCancelled(TauravatError):
    """210: the printer cancelled the receipt by itself; nothing of it counts."""


class PreconditionError(TauravatError):
    """The call does not fit the state (a receipt open or not begun, no sales since the
    daily report, the receipt counter not zero, a month not finished, called from its own
    progress call-back) or the model (a command it lacks)."""


class BadInput(TauravatError, ValueError):
    """An argument the driver refused before anything was sent (202..209, 212, 214..216,
    219, 221, 223, 226, 227, ...)."""


class InternalError(TauravatError):
    """999: an unexpected fault inside the library."""


# Every code of enum tauravat_result: its name and the kind of failure it is.
CODES: Dict[int, Tuple[str, Type[TauravatError]]] = {
    5: ("TAURAVAT_E_PORT_IN_USE", ConnectionFailed),
    20: ("TAURAVAT_E_SEND_TIMEOUT", PrinterTimeout),
    21: ("TAURAVAT_E_RECEIVE_TIMEOUT", PrinterTimeout),
    23: ("TAURAVAT_E_BAD_REPLY", CommunicationError),
    24: ("TAURAVAT_E_NAK", PrinterRefused),
    26: ("TAURAVAT_E_REFUSED", PrinterRefused),
    99: ("TAURAVAT_E_NOT_INITIALISED", PreconditionError),
    100: ("TAURAVAT_E_NO_MAKER_DATA", PrinterRefused),
    101: ("TAURAVAT_E_SERVICE_JUMPER", PrinterRefused),
    102: ("TAURAVAT_E_NO_CONTROLLER_LINK", PrinterRefused),
    103: ("TAURAVAT_E_PRINTER_FAILURE", PrinterRefused),
    104: ("TAURAVAT_E_NO_USER_DATA", PrinterRefused),
    105: ("TAURAVAT_E_FISCAL_READ_ONLY", PrinterRefused),
    106: ("TAURAVAT_E_NO_CUSTOMER_DISPLAY", PrinterRefused),
    107: ("TAURAVAT_E_CMOS_ERASED", PrinterRefused),
    108: ("TAURAVAT_E_DAILY_REPORT_DUE", PrinterRefused),
    109: ("TAURAVAT_E_PAPER_OUT", PaperOut),
    110: ("TAURAVAT_E_DOCUMENT_IN_MEMORY", PrinterRefused),
    111: ("TAURAVAT_E_CHARS_IN_PRINT_BUFFER", PrinterRefused),
    112: ("TAURAVAT_E_STOPPED_FOR_PAPER", PaperOut),
    113: ("TAURAVAT_E_NO_TAX_RATES", PrinterRefused),
    114: ("TAURAVAT_E_NO_PORT", ConnectionFailed),
    200: ("TAURAVAT_E_RECEIPT_OPEN", PreconditionError),
    201: ("TAURAVAT_E_RECEIPT_NOT_OPEN", PreconditionError),
    202: ("TAURAVAT_E_NAME_TOO_SHORT", BadInput),
    203: ("TAURAVAT_E_RATE_RANGE", BadInput),
    204: ("TAURAVAT_E_MESSAGE_RANGE", BadInput),
    205: ("TAURAVAT_E_QUANTITY_RANGE", BadInput),
    206: ("TAURAVAT_E_DECIMALS_RANGE", BadInput),
    207: ("TAURAVAT_E_UNIT_RANGE", BadInput),
    208: ("TAURAVAT_E_PRICE_RANGE", BadInput),
    209: ("TAURAVAT_E_VALUE_MISMATCH", BadInput),
    210: ("TAURAVAT_E_RECEIPT_CANCELLED", ReceiptCancelled),
    211: ("TAURAVAT_E_NO_SALES_SINCE_REPORT", PreconditionError),
    212: ("TAURAVAT_E_DRAWER_RANGE", BadInput),
    213: ("TAURAVAT_E_COMMAND_UNAVAILABLE", PreconditionError),
    214: ("TAURAVAT_E_PACKAGE_KIND_RANGE", BadInput),
    215: ("TAURAVAT_E_PARAMETER_RANGE", BadInput),
    216: ("TAURAVAT_E_NO_FREE_LINES", BadInput),
    217: ("TAURAVAT_E_RATES_NOT_WRITTEN", PrinterRefused),
    218: ("TAURAVAT_E_RECEIPT_COUNTER_NOT_ZERO", PreconditionError),
    219: ("TAURAVAT_E_BAD_REPORT_DATES", BadInput),
    220: ("TAURAVAT_E_NO_REPORTS_IN_PERIOD", PreconditionError),
    221: ("TAURAVAT_E_BAD_REPORT_NUMBERS", BadInput),
    222: ("TAURAVAT_E_MONTH_NOT_FINISHED", PreconditionError),
    223: ("TAURAVAT_E_PARAMETER_N_RANGE", BadInput),
    224: ("TAURAVAT_E_UNSUPPORTED_COMMAND", PreconditionError),
    225: ("TAURAVAT_E_EMPTY_BUFFER", BadInput),
    226: ("TAURAVAT_E_RATE_UNDEFINED", BadInput),
    227: ("TAURAVAT_E_LINE_VALUE_TOO_LARGE", BadInput),
    228: ("TAURAVAT_E_TRAINING_MODE", PrinterRefused),
    229: ("TAURAVAT_E_USER_DATA_NOT_SAVED", PrinterRefused),
    230: ("TAURAVAT_E_CMOS_NOT_ERASED", PrinterRefused),
    231: ("TAURAVAT_E_SERVICE_JUMPER_NORMAL", PrinterRefused),
    232: ("TAURAVAT_E_CRC", PrinterRefused),
    233: ("TAURAVAT_E_DATA_ORDER", PrinterRefused),
    234: ("TAURAVAT_E_DATA_REPEATED", PrinterRefused),
    235: ("TAURAVAT_E_DATA_NOT_REPORTED", PrinterRefused),
    236: ("TAURAVAT_E_CONTROLLER_UNIDENTIFIED", PrinterRefused),
    237: ("TAURAVAT_E_EURO_CHANGEOVER_DUE", PrinterRefused),
    238: ("TAURAVAT_E_NO_DISPLAY_DATA", PrinterRefused),
    239: ("TAURAVAT_E_CLOCK_ALREADY_SET", PrinterRefused),
    240: ("TAURAVAT_E_BAD_SIGNATURE", PrinterRefused),
    241: ("TAURAVAT_E_FISCAL_MEMORY_MISMATCH", PrinterRefused),
    242: ("TAURAVAT_E_BUFFER_TOO_SMALL", BadInput),
    243: ("TAURAVAT_E_NULL_ARGUMENT", BadInput),
    244: ("TAURAVAT_E_REENTERED", PreconditionError),
    999: ("TAURAVAT_E_INTERNAL", InternalError),
}


def _name_of(code: int) -> Optional[str]:
    entry = CODES.get(code)
    return entry[0] if entry else None


def _texts(code: int) -> Tuple[str, str]:
    """Both texts of `code`; a library without them (or failing to give them) must not
    hide the failure being reported, so that yields empty texts."""
    texts = []
    for language in ("pl", "en"):
        try:
            texts.append(_library.message(code, language))
        except (OSError, ValueError):
            texts.append("")
    return texts[0], texts[1]


def error(code: int, *, unnamed: Type[TauravatError] = TauravatError) -> TauravatError:
    """The exception for result code `code` (not 0), with both texts. `unnamed` is the
    class for a code outside the enum (ConnectionFailed where an OS error number is
    expected)."""
    name, kind = CODES.get(code, (None, unnamed))
    message_pl, message_en = _texts(code)
    return kind(code, message_pl, message_en, name)
