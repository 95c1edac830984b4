"""Finding and loading libtauravat, and the C signature of every export.

The signatures come from tauravat.h and the export list (_header.py, written by
python/generate.py): here each C type the header uses is given its ctypes type, so a new
export needs a line here only when it brings a new type.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from typing import Any, Dict, Optional, Set, Tuple

from . import _header
from ._values import check_c_int

__all__ = ["LibraryError", "load", "function", "has_function", "version", "message",
           "last_os_error"]

_stdcall = os.name == "nt" and ctypes.sizeof(ctypes.c_void_p) == 4
FUNCTYPE = getattr(ctypes, "WINFUNCTYPE") if _stdcall else ctypes.CFUNCTYPE

_i32, _u32, _u16, _u8 = ctypes.c_int32, ctypes.c_uint32, ctypes.c_uint16, ctypes.c_uint8
_i64, _size = ctypes.c_int64, ctypes.c_size_t
_p_i32, _p_u32, _p_u8 = (ctypes.POINTER(ctypes.c_int32), ctypes.POINTER(ctypes.c_uint32),
                         ctypes.POINTER(ctypes.c_uint8))
_p_i64, _p_size = ctypes.POINTER(ctypes.c_int64), ctypes.POINTER(ctypes.c_size_t)
_str = ctypes.c_char_p

# ---- The legacy interface: one connection per process, code page 1250 text ----

LEGACY_PROGRESS = FUNCTYPE(None, ctypes.c_char_p)
LEGACY_PUMP = FUNCTYPE(None)


# ---- The handle interface: one tauravat_printer per connection, UTF-8 text ----

HANDLE_PROGRESS = FUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p)
HANDLE_PUMP = FUNCTYPE(None, ctypes.c_void_p)
HANDLE_STEP = FUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p)
HANDLE_TRACE = FUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p)


class Options(ctypes.Structure):
    """struct tauravat_options."""

    _fields_ = [("size", ctypes.c_uint32), ("baud", ctypes.c_uint32),
                ("timeout_ms", ctypes.c_uint32), ("progress", HANDLE_PROGRESS),
                ("user", ctypes.c_void_p), ("print_limit_ms", ctypes.c_uint32),
                ("step", HANDLE_STEP), ("trace", HANDLE_TRACE)]


class Item(ctypes.Structure):
    """struct tauravat_item."""

    _fields_ = [("size", ctypes.c_uint32), ("kind", ctypes.c_int32), ("name", ctypes.c_char_p),
                ("rate", ctypes.c_int32), ("message", ctypes.c_int32),
                ("quantity", ctypes.c_int64), ("decimals", ctypes.c_int32),
                ("unit", ctypes.c_char_p), ("price", ctypes.c_int64), ("value", ctypes.c_int64)]


class ModelInfo(ctypes.Structure):
    """struct tauravat_model_info."""

    _fields_ = [("size", ctypes.c_uint32), ("type", ctypes.c_int32),
                ("short_name", ctypes.c_char_p), ("name", ctypes.c_char_p),
                ("fiscal", ctypes.c_int32), ("rate_count", ctypes.c_int32),
                ("rates_editable", ctypes.c_uint32), ("rates_exempt", ctypes.c_uint32),
                ("rates_reserved", ctypes.c_uint32), ("rates_ordered", ctypes.c_uint32),
                ("whole_percent_rates", ctypes.c_int32), ("highest_rate", ctypes.c_uint32),
                ("highest_item_rate", ctypes.c_int32), ("min_name_characters", ctypes.c_int32),
                ("highest_quantity", ctypes.c_int64), ("features", ctypes.c_uint32),
                ("reports", ctypes.c_uint32)]


class Rates(ctypes.Structure):
    """struct tauravat_rates."""

    _fields_ = [("size", ctypes.c_uint32), ("count", ctypes.c_int32),
                ("values", ctypes.c_uint32 * 7)]


class Problem(ctypes.Structure):
    """struct tauravat_problem."""

    _fields_ = [("size", ctypes.c_uint32), ("code", ctypes.c_int32), ("rule", ctypes.c_int32),
                ("offset", ctypes.c_int32), ("code_point", ctypes.c_uint32),
                ("limit", ctypes.c_int64), ("field", ctypes.c_char * 48)]


class Payment(ctypes.Structure):
    """struct tauravat_payment."""

    _fields_ = [("size", ctypes.c_uint32), ("slot", ctypes.c_int32), ("name", ctypes.c_char_p),
                ("first_amount", ctypes.c_int64), ("second_amount", ctypes.c_int64)]


class Line(ctypes.Structure):
    """struct tauravat_line."""

    _fields_ = [("size", ctypes.c_uint32), ("code", ctypes.c_int32), ("text", ctypes.c_char_p)]


class Sale(ctypes.Structure):
    """struct tauravat_sale."""

    _fields_ = [("size", ctypes.c_uint32), ("items", ctypes.POINTER(Item)),
                ("item_count", ctypes.c_size_t), ("discount_percent", ctypes.c_int32),
                ("payments", ctypes.POINTER(Payment)), ("payment_count", ctypes.c_size_t),
                ("lines", ctypes.POINTER(Line)), ("line_count", ctypes.c_size_t)]


class StepInfo(ctypes.Structure):
    """struct tauravat_step_info."""

    _fields_ = [("size", ctypes.c_uint32), ("step", ctypes.c_int32), ("counter", ctypes.c_int32),
                ("item", ctypes.c_int32), ("total", ctypes.c_int64)]


SALE_STEP = FUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.POINTER(StepInfo))


class SaleCode(ctypes.Structure):
    """struct tauravat_sale_code."""

    _fields_ = [("step", ctypes.c_int32), ("code", ctypes.c_int32)]


class SaleOutcome(ctypes.Structure):
    """struct tauravat_sale_outcome."""

    _fields_ = [("size", ctypes.c_uint32), ("state", ctypes.c_int32), ("code", ctypes.c_int32),
                ("receipt_number", ctypes.c_int32), ("total", ctypes.c_int64),
                ("stopped_at", ctypes.c_int32), ("code_count", ctypes.c_int32),
                ("codes", SaleCode * _header.SALE_CODES), ("problem", Problem)]


class PortInfo(ctypes.Structure):
    """struct tauravat_port_info."""

    _fields_ = [("size", ctypes.c_uint32), ("path", ctypes.c_char_p),
                ("by_id", ctypes.c_char_p), ("usb", ctypes.c_int32),
                ("usb_vendor_id", ctypes.c_uint16), ("usb_product_id", ctypes.c_uint16),
                ("usb_serial", ctypes.c_char_p), ("usb_manufacturer", ctypes.c_char_p),
                ("usb_product", ctypes.c_char_p), ("com_numbers", ctypes.POINTER(ctypes.c_int32)),
                ("com_count", ctypes.c_size_t)]


# The ctypes type of each C type of tauravat.h's declarations (const dropped).
_CTYPES: Dict[str, Any] = {
    "int32_t": _i32, "uint32_t": _u32, "uint16_t": _u16, "uint8_t": _u8, "int64_t": _i64,
    "size_t": _size, "char*": _str, "int32_t*": _p_i32, "uint32_t*": _p_u32,
    "uint8_t*": _p_u8, "int64_t*": _p_i64, "size_t*": _p_size,
    "tauravat_printer*": ctypes.c_void_p, "tauravat_printer**": ctypes.POINTER(ctypes.c_void_p),
    "tauravat_options*": ctypes.POINTER(Options), "tauravat_item*": ctypes.POINTER(Item),
    "tauravat_model_info*": ctypes.POINTER(ModelInfo), "tauravat_rates*": ctypes.POINTER(Rates),
    "tauravat_problem*": ctypes.POINTER(Problem), "tauravat_sale*": ctypes.POINTER(Sale),
    "void*": ctypes.c_void_p, "tauravat_sale_step_fn": SALE_STEP,
    "tauravat_sale_outcome*": ctypes.POINTER(SaleOutcome),
    "TauravatProgressCallback": LEGACY_PROGRESS, "TauravatMessagePumpCallback": LEGACY_PUMP,
    "tauravat_pump_fn": HANDLE_PUMP, "void*": ctypes.c_void_p,
    "tauravat_port_list*": ctypes.c_void_p,
    "tauravat_port_list**": ctypes.POINTER(ctypes.c_void_p),
    "tauravat_port_info*": ctypes.POINTER(PortInfo),
}

# Every C export: its argument types, and its result type where that is not a result code.
_SIGNATURES: Dict[str, Tuple[Any, ...]] = {
    name: tuple(_CTYPES[argument] for argument in arguments)
    for name, (_, arguments) in _header.FUNCTIONS.items()}
_RESULT_TYPES = {name: _CTYPES[result] for name, (result, _) in _header.FUNCTIONS.items()
                 if result != "int32_t"}

# Output sizes that always suffice (tauravat.h); a smaller answer is asked again.
MESSAGE_SIZE = _header.MESSAGE_SIZE

BUFFER_TOO_SMALL = {name: code for code, name in _header.RESULT_NAMES.items()}["TAURAVAT_E_BUFFER_TOO_SMALL"]


class LibraryError(OSError):
    """libtauravat could not be loaded, or lacks a function (a library older than this
    package)."""


_lock = threading.Lock()
_lib: Optional[ctypes.CDLL] = None
_missing: Set[str] = set()


def load(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library (once) and declares its functions.

    The library is `path`, else the TAURAVAT_LIBRARY environment variable (a path), else
    what the system's search finds for "tauravat", else libtauravat.so.10.
    """
    global _lib
    with _lock:
        if _lib is not None and path is None:
            return _lib
        path = (path or os.environ.get("TAURAVAT_LIBRARY") or ctypes.util.find_library("tauravat")
                or "libtauravat.so.10")
        loader = ctypes.WinDLL if _stdcall else ctypes.CDLL  # type: ignore[attr-defined]
        try:
            lib: ctypes.CDLL = loader(path)
        except OSError as error:
            raise LibraryError(f"libtauravat could not be loaded from {path}: {error}") from error
        missing = set()
        for name, arguments in _SIGNATURES.items():
            try:
                declared = getattr(lib, name)
            except AttributeError:
                missing.add(name)
                continue
            declared.argtypes = arguments
            declared.restype = _RESULT_TYPES.get(name, ctypes.c_int32)
        _lib = lib
        _missing.clear()
        _missing.update(missing)
        return lib


def has_function(name: str) -> bool:
    """Whether the loaded library exports `name` (the handle interface came with 10.1)."""
    load()
    return name not in _missing


def function(name: str) -> Any:
    """The declared foreign function `name`; LibraryError when the library lacks it."""
    lib = load()
    if name in _missing:
        raise LibraryError(f"{lib._name} has no {name}: the library is older than this package")
    return getattr(lib, name)


def version() -> str:
    """The loaded library's version, "MAJOR.MINOR.PATCH"."""
    return str(function("tauravat_version")().decode("ascii"))


def message(code: int, language: str = "en") -> str:
    """The text of result code `code` in `language`, "en" (English) or "pl" (Polish); lines
    are separated by "\\n", 0 has an empty text. ValueError for another language."""
    check_c_int(code, ctypes.c_int32, "code")
    if language not in ("en", "pl"):
        raise ValueError(f"language must be 'en' or 'pl', not {language!r}")
    if not has_function("tauravat_message") and language == "pl":
        return _legacy_message(code)
    tauravat_message = function("tauravat_message")
    size = MESSAGE_SIZE
    while True:
        buffer = ctypes.create_string_buffer(size)
        needed = ctypes.c_size_t(0)
        result = tauravat_message(code, language.encode("ascii"), buffer, size,
                                  ctypes.byref(needed))
        if result == BUFFER_TOO_SMALL and needed.value > size:
            size = needed.value
            continue
        if result != 0:
            raise LibraryError(f"tauravat_message({code}) answered {result}")
        return buffer.value.decode("utf-8", errors="replace")


def last_os_error() -> Tuple[int, str]:
    """The system's error number and text behind the last port code the driver answered on
    this thread; (0, "") when there is none, or the library is older than port codes."""
    if not has_function("tauravat_last_os_error"):
        return 0, ""
    number = ctypes.c_int32(0)
    buffer = ctypes.create_string_buffer(MESSAGE_SIZE)
    needed = ctypes.c_size_t(0)
    if function("tauravat_last_os_error")(ctypes.byref(number), buffer, MESSAGE_SIZE,
                                          ctypes.byref(needed)) != 0:
        return number.value, ""
    return number.value, buffer.value.decode("utf-8", errors="replace")


def _legacy_message(code: int) -> str:
    """The Polish text through pErrMessage, for a library without tauravat_message."""
    buffer = ctypes.create_string_buffer(MESSAGE_SIZE)
    function("pErrMessage")(code, buffer)
    return buffer.value.decode("cp1250", errors="replace").replace("\r", "\n")
