// The serial ports of this computer, for tauravat_list_ports: each device with its stable
// name, the USB device behind it and the COM numbers that open it. Each platform finds
// them in its own file (port_list_posix.cpp, port_list_win32.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestradr {

struct UsbDevice {
  std::string vendorId;   // "0403", four hex digits as sysfs and udev rules write them
  std::string productId;  // "6001"
  std::string serial;     // empty when the device has none
  std::string manufacturer;
  std::string product;
};

struct SerialPortInfo {
  std::string path;              // "/dev/ttyUSB0", "\\.\Com3", "rfc2217://10.0.0.5:4001"
  std::string byId;              // "/dev/serial/by-id/usb-FTDI_...", empty when none
  std::optional<UsbDevice> usb;  // nothing for a port that is not on USB
  std::vector<int> comNumbers;   // ascending; empty when no COM number opens it
};

// Every port found, those with a COM number first (by their lowest), then by path. Nothing
// is opened.
std::vector<SerialPortInfo> ListSerialPorts();

}  // namespace kestradr
