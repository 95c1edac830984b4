"""Python binding of libtauravat, the driver for KESTRA fiscal printers.

Pure Python over ctypes. One Printer per printer, opened by its device:

    import tauravat
    from decimal import Decimal

    with tauravat.open("/dev/ttyUSB0", baud=9600, timeout=5.0) as printer:
        print(printer.device_name(), printer.read_vat())   # KESTRA LUNO [Decimal('23'), ...]
        with printer.receipt() as receipt:
            receipt.item("Ser żółty gouda", Decimal("0.350"), "kg", Decimal("29.99"), "B")
        print(printer.read_clock())                         # a datetime

Money is Decimal zloty, quantities Decimal, tax rates Decimal percent or RESERVED or
EXEMPT, the clock a datetime, text str. Failures raise TauravatError subclasses by kind
(tauravat.errors), with the code and its Polish and English messages.

The library is `TAURAVAT_LIBRARY` (a path) if set, else what the system's search finds
(libtauravat.so.10). The package also holds:
  tauravat.legacy         the legacy interface (one connection per process, code page
                          1250), its functions also importable from tauravat as before;
  tauravat.ports          list_ports(): the serial ports, their USB devices and COM numbers;
  tauravat.emulator       kestra-emu, the printer emulator, started and steered while it
                          runs (paper out, faults, status bytes, its state and paper);
  tauravat.pytest_plugin  the pytest fixture `kestra_emulator` for a till's own tests
                          (registered with pytest when the package is installed).
"""

import importlib
import re
from pathlib import Path

from . import errors, legacy
from ._library import _SIGNATURES, LibraryError, load, message, version
from ._values import EXEMPT, RESERVED, Amount, Rate, RateMarker
from .errors import (BadInput, CommunicationError, ConnectionFailed, InternalError,
                     NotASerialPort, PaperOut, PortBusy, PortError, PortNotFound,
                     PortPermissionError, PortVanished, PreconditionError, PrinterRefused,
                     PrinterTimeout, ReceiptCancelled, SaleStopped, TauravatError)
from .legacy import (close_port, communication_end, communication_init, daily_report,
                     daily_report_number, device_name, dll_author, dll_version, erase_lines,
                     erase_payments, err_message, fill_lines, fill_payment,
                     locked_articles_report, monthly_report, number_report, open_drawer,
                     open_port, package_item, period_report, print_control, print_resume,
                     print_subtotal, printer_status_report, read_clock, read_sel_total,
                     read_total, read_unique_number, read_vat, receipt_begin, receipt_cancel,
                     receipt_conditions, receipt_end, receipt_item, receipt_number, rs_sequence,
                     set_callbacks, set_vat, write_line_feed)
from .ports import PortInfo, list_ports
from .printer import (DeviceType, Printer, PrinterNumber, PrintMode, ProgressCallback,
                      chars_in_article_name, open)
from .receipt import Item, Payment, Receipt, SaleStep, SaleStepCallback



def _package_version() -> str:
    # An installed package carries the version its build wrote; a source checkout takes
    # the project's, from the CMakeLists.txt next to python/.
    try:
        return str(importlib.import_module("._version", __name__).version)
    except ModuleNotFoundError:
        pass
    cmake = Path(__file__).resolve().parent.parent.parent / "CMakeLists.txt"
    found = re.search(r"\bproject\(\s*\w+\s+VERSION\s+([0-9][0-9.]*)",
                      cmake.read_text(encoding="utf-8") if cmake.is_file() else "")
    return found.group(1) if found else "0+unknown"


__version__ = _package_version()
"""The package's version, the project's (tauravat.version() is the loaded library's)."""

__all__ = [
    "__version__",
    # The handle interface
    "open", "Printer", "Receipt", "Item", "Payment", "SaleStep", "SaleStepCallback",
    "DeviceType", "PrinterNumber",
    "PrintMode", "ProgressCallback", "RateMarker", "RESERVED", "EXEMPT", "Amount", "Rate",
    "version", "message", "chars_in_article_name", "list_ports", "PortInfo", "load",
    "LibraryError",
    "TauravatError", "CommunicationError", "PrinterTimeout", "ConnectionFailed",
    "PortError", "PortNotFound", "PortPermissionError", "PortBusy", "NotASerialPort",
    "PortVanished",
    "PrinterRefused", "PaperOut", "ReceiptCancelled", "SaleStopped", "PreconditionError",
    "BadInput", "InternalError", "errors", "legacy",
    # The legacy interface, as it was importable from here
    "err_message", "open_port", "close_port", "rs_sequence", "communication_init",
    "communication_end", "device_name", "receipt_conditions", "print_resume",
    "print_control", "set_callbacks", "receipt_begin", "receipt_item", "package_item",
    "print_subtotal", "receipt_end", "receipt_cancel", "fill_payment", "fill_lines",
    "erase_payments", "erase_lines", "read_total", "read_sel_total", "read_vat", "set_vat",
    "daily_report", "locked_articles_report", "period_report", "monthly_report",
    "number_report", "printer_status_report", "read_clock", "receipt_number",
    "daily_report_number", "read_unique_number", "open_drawer", "write_line_feed",
    "dll_version", "dll_author",
]
