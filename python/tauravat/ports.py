"""The serial ports of this computer, as libtauravat lists them (tauravat_list_ports).

    import tauravat
    for port in tauravat.list_ports():
        print(port.device, port.com_numbers, port.by_id, port.vid, port.pid)

Like pyserial's serial.tools.list_ports: `device` is what tauravat.open takes, and `vid`,
`pid` and `serial_number` are those of the USB device behind the port (None when it is not
on USB). Nothing is opened.
"""

from __future__ import annotations

import ctypes
from typing import List, NamedTuple, Optional, Tuple

from . import _library, errors

__all__ = ["PortInfo", "list_ports"]


class PortInfo(NamedTuple):
    """One port: its device, stable name, USB device and the COM numbers that open it."""

    device: str                    # "/dev/ttyUSB0", "rfc2217://10.0.0.5:4001"
    by_id: Optional[str]           # "/dev/serial/by-id/usb-FTDI_...", None when none
    vid: Optional[int]             # USB vendor id (0x0403), None when not on USB
    pid: Optional[int]             # USB product id (0x6001)
    serial_number: Optional[str]   # the USB device's serial number, None when it has none
    manufacturer: Optional[str]
    product: Optional[str]
    com_numbers: Tuple[int, ...]   # ascending; empty when no COM number opens it


def _text(value: Optional[bytes]) -> Optional[str]:
    return value.decode("utf-8", errors="replace") if value else None


def list_ports() -> List[PortInfo]:
    """Every serial port, those with a COM number first (by their lowest), then by path."""
    listed = ctypes.c_void_p()
    count = ctypes.c_size_t(0)
    code = _library.function("tauravat_list_ports")(ctypes.byref(listed), ctypes.byref(count))
    if code != 0:
        raise errors.error(code)
    try:
        ports = []
        for index in range(count.value):
            info = _library.PortInfo(size=ctypes.sizeof(_library.PortInfo))
            code = _library.function("tauravat_port_list_item")(listed, index, ctypes.byref(info))
            if code != 0:
                raise errors.error(code)
            usb = info.usb != 0
            ports.append(PortInfo(
                device=_text(info.path) or "", by_id=_text(info.by_id),
                vid=info.usb_vendor_id if usb else None,
                pid=info.usb_product_id if usb else None,
                serial_number=_text(info.usb_serial), manufacturer=_text(info.usb_manufacturer),
                product=_text(info.usb_product),
                com_numbers=tuple(info.com_numbers[i] for i in range(info.com_count))))
        return ports
    finally:
        _library.function("tauravat_free_ports")(listed)
