"""The driver's result codes and the exceptions they raise.

Every code of tauravat.h's enum tauravat_result is named here once, with the kind of
failure it is; `error(code)` builds the exception, with the code's messages in Polish
and English. The kinds tell a till what to do:

    TauravatError                 any failure; .code, .name, .message_pl, .message_en
    +-- CommunicationError        the line failed: the printer's state is not known
    |   +-- PrinterTimeout        20, 21: no byte went out, or no answer came back
    |   +-- ConnectionFailed      5, 114, an OS error number: the port did not open
    |       +-- PortError         90..95, also an OSError with the system's errno and
    |           |                 strerror; filename is the device
    |           +-- PortNotFound          90, also a FileNotFoundError
    |           +-- PortPermissionError   91, also a PermissionError
    |           +-- PortBusy              92: another program holds the port
    |           +-- NotASerialPort        93
    |           +-- PortVanished          94: adapter unplugged, server gone
    +-- PrinterRefused            the printer said no, or reports a state that forbids it
    |   +-- PaperOut              109, 112: load paper, then print_control() or
    |                             print_resume()
    +-- ReceiptCancelled          210: the printer cancelled the receipt; the sale is gone
    +-- SaleStopped               245: print_receipt's on_step stopped the sale
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

import errno as _errno
import sys
from typing import Any, Dict, List, Optional, Tuple, Type

from . import _header, _library

__all__ = [
    "TauravatError", "CommunicationError", "PrinterTimeout", "ConnectionFailed",
    "PortError", "PortNotFound", "PortPermissionError", "PortBusy", "NotASerialPort",
    "PortVanished",
    "PrinterRefused", "PaperOut", "ReceiptCancelled", "SaleStopped", "PreconditionError",
    "BadInput", "InternalError", "CODES", "error",
]


class TauravatError(Exception):
    """A driver operation answered a result code other than 0.

    `code` is the driver's result code, `name` its TAURAVAT_E_... name (None for a code
    outside tauravat.h's enum, such as an OS error number), `message_pl` and `message_en`
    its texts (lines separated by "\\n"). `message` is the Polish text, as it always was.
    For a refused item `field` names the part ("name", "unit", "price") and `detail` says
    what is wrong, the character included.
    """

    def __init__(self, code: int, message_pl: str = "", message_en: str = "",
                 name: Optional[str] = None) -> None:
        self.code = code
        self.name = name if name is not None else _name_of(code)
        self.message_pl = message_pl
        self.message_en = message_en
        # A refused argument: the field and what is wrong with it, where the driver says.
        self.field: Optional[str] = None
        self.detail: Optional[str] = None
        # Where in a text field the problem is (a refused sale), else None.
        self.offset: Optional[int] = None
        self.code_point: Optional[int] = None
        # A sale that did not print: how it ended and the codes of its steps (step, code).
        self.sale_state: Optional[str] = None
        self.codes: List[Tuple[int, int]] = []
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


# Windows' numbers for the port failures a program tells apart by errno.
_WINDOWS_ERRNO = {2: _errno.ENOENT, 3: _errno.ENOENT, 5: _errno.EACCES, 32: _errno.EBUSY}


class PortError(ConnectionFailed, OSError):
    """90..95: the port would not open or set up. Also an OSError, as pyserial's failures
    are: `errno` and `strerror` are the operating system's (on Windows `winerror` is its
    number, `errno` the nearest POSIX one), `filename` the device when known."""

    def __init__(self, code: int, message_pl: str = "", message_en: str = "",
                 name: Optional[str] = None, os_errno: int = 0, os_text: str = "",
                 filename: Optional[str] = None) -> None:
        super().__init__(code, message_pl, message_en, name)
        if sys.platform == "win32":
            self.winerror = os_errno
            os_errno = _WINDOWS_ERRNO.get(os_errno, os_errno)
        # None when the system gave none, as OSError() has.
        self.errno = os_errno or None  # type: ignore[assignment]
        self.strerror = os_text or None  # type: ignore[assignment]
        self.filename = filename
        self.args = (self._summary(),)

    def __reduce__(self) -> Any:
        return (type(self), (self.code, self.message_pl, self.message_en, self.name,
                             getattr(self, "winerror", None) or self.errno or 0,
                             self.strerror or "", self.filename))

    def __str__(self) -> str:  # OSError's own would drop the code and its hint
        return str(self.args[0]) if self.args else ""

    def _summary(self) -> str:
        text = super()._summary()
        if getattr(self, "filename", None):
            text = f"{self.filename}: {text}"
        if getattr(self, "strerror", None):
            text += f" [Errno {self.errno}] {self.strerror}"
        return text


class PortNotFound(PortError, FileNotFoundError):
    """90: no device at that path, or none stands for the COM number."""


class PortPermissionError(PortError, PermissionError):
    """91: this user may not open the port (on Linux: not in the group owning it, usually
    dialout)."""


class PortBusy(PortError):
    """92: another program, or another Printer of this one, holds the port."""


class NotASerialPort(PortError):
    """93: the path is a directory, a file or a device that is no serial port."""


class PortVanished(PortError):
    """94: the port a Printer had open is gone (a USB adapter unplugged, or a network
    device server that dropped the connection)."""


class PrinterRefused(TauravatError):
    """The printer refused the command (24 NAK, 26) or reports a state that forbids it
    (100..113, 217 rates not kept, 228..241 service and fiscal memory states)."""


class PaperOut(PrinterRefused):
    """109: no paper or the head is up; 112: a printout stopped for paper. Load paper,
    then call print_control() (or print_resume()) to finish the printout."""


class ReceiptCancelled(TauravatError):
    """210: the printer cancelled the receipt by itself; nothing of it counts."""


class SaleStopped(TauravatError):
    """245: print_receipt's on_step returned False. Nothing is sold: `sale_state` is
    "failed" when it stopped before the begin, "cancelled" after it."""


class PreconditionError(TauravatError):
    """The call does not fit the state (a receipt open or not begun, no sales since the
    daily report, the receipt counter not zero, a month not finished, called from its own
    progress call-back) or the model (a command it lacks)."""


class BadInput(TauravatError, ValueError):
    """An argument the driver refused before anything was sent (202..209, 212, 214..216,
    219, 221, 223, 226, 227, ...)."""


class InternalError(TauravatError):
    """999: an unexpected fault inside the library."""


# The kind of failure of each code that is not a refusal by the printer, by its name in
# tauravat.h. Every other code is a state the printer reports (PrinterRefused): the codes
# a new printer brings are of that kind.
_KINDS: Dict[str, Type[TauravatError]] = {
    "PORT_IN_USE": ConnectionFailed, "NO_PORT": ConnectionFailed,
    "PORT_NOT_FOUND": PortNotFound, "PORT_PERMISSION": PortPermissionError,
    "PORT_BUSY": PortBusy, "NOT_A_SERIAL_PORT": NotASerialPort,
    "PORT_VANISHED": PortVanished, "PORT_FAILED": PortError,
    "SEND_TIMEOUT": PrinterTimeout, "RECEIVE_TIMEOUT": PrinterTimeout,
    "BAD_REPLY": CommunicationError,
    "PAPER_OUT": PaperOut, "STOPPED_FOR_PAPER": PaperOut,
    "RECEIPT_CANCELLED": ReceiptCancelled, "STOPPED": SaleStopped,
    "NOT_INITIALISED": PreconditionError, "RECEIPT_OPEN": PreconditionError,
    "RECEIPT_NOT_OPEN": PreconditionError, "NO_SALES_SINCE_REPORT": PreconditionError,
    "COMMAND_UNAVAILABLE": PreconditionError, "RECEIPT_COUNTER_NOT_ZERO": PreconditionError,
    "NO_REPORTS_IN_PERIOD": PreconditionError, "MONTH_NOT_FINISHED": PreconditionError,
    "UNSUPPORTED_COMMAND": PreconditionError, "REENTERED": PreconditionError,
    "NAME_TOO_SHORT": BadInput, "RATE_RANGE": BadInput, "MESSAGE_RANGE": BadInput,
    "QUANTITY_RANGE": BadInput, "DECIMALS_RANGE": BadInput, "UNIT_RANGE": BadInput,
    "PRICE_RANGE": BadInput, "VALUE_MISMATCH": BadInput, "DRAWER_RANGE": BadInput,
    "PACKAGE_KIND_RANGE": BadInput, "PARAMETER_RANGE": BadInput, "NO_FREE_LINES": BadInput,
    "BAD_REPORT_DATES": BadInput, "BAD_REPORT_NUMBERS": BadInput,
    "PARAMETER_N_RANGE": BadInput, "EMPTY_BUFFER": BadInput, "RATE_UNDEFINED": BadInput,
    "LINE_VALUE_TOO_LARGE": BadInput, "BUFFER_TOO_SMALL": BadInput,
    "NULL_ARGUMENT": BadInput,
    "INTERNAL": InternalError,
}

# Every error code of enum tauravat_result (_header.py): its name and the kind of failure.
CODES: Dict[int, Tuple[str, Type[TauravatError]]] = {
    code: (name, _KINDS.get(name[len("TAURAVAT_E_"):], PrinterRefused))
    for code, name in _header.RESULT_NAMES.items() if code != 0}


# What each rule of tauravat_problem says, with the bound it names (enum tauravat_rule).
_RULES = {
    1: "missing", 2: "a size below {limit}", 3: "not UTF-8 from character {offset}",
    4: "the printer cannot print {character} (character {offset})",
    5: "longer than {limit} characters as printed, from {character} (character {offset})",
    6: "fewer than {limit}", 7: "more than {limit}", 8: "below {limit}", 9: "above {limit}",
    10: "not taken by this model", 11: "a rate the printer holds reserved",
    12: "whole percents only", 13: "above the rate before it ({limit})",
}


def describe_problem(field: str, rule: int, offset: int, code_point: int, limit: int) -> str:
    """What one check of the driver (a tauravat_problem) found, for a person: the field
    and, for text, the character: "name: the printer cannot print 'ñ' (U+00F1) (character
    5)"."""
    character = (f"{chr(code_point)!r} (U+{code_point:04X})"
                 if 0 < code_point <= 0x10FFFF else "?")
    text = _RULES.get(rule, "out of range").format(limit=limit, offset=offset,
                                                   character=character)
    return f"{field}: {text}" if field else text


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


def error(code: int, *, unnamed: Type[TauravatError] = TauravatError,
          device: Optional[str] = None) -> TauravatError:
    """The exception for result code `code` (not 0), with both texts. `unnamed` is the
    class for a code outside the enum (ConnectionFailed where an OS error number is
    expected). A port code takes the system's error the driver kept for this thread, so
    build it right after the call that answered it; `device` is its filename."""
    name, kind = CODES.get(code, (None, unnamed))
    message_pl, message_en = _texts(code)
    if issubclass(kind, PortError):
        os_errno, os_text = _library.last_os_error()
        return kind(code, message_pl, message_en, name, os_errno, os_text, device)
    return kind(code, message_pl, message_en, name)
