// The serial ports of this computer, for `tauravat ports`: each device with its
// /dev/serial/by-id name, the USB device behind it and the COM numbers that open it.
//
// The kernel's ports are found in sysfs (/sys/class/tty/<name>/device, as libserialport
// and pyserial find them); the USB ids come from the USB device above the port in the
// device tree. Devices that only a COM number names (a pseudo-terminal in
// TAURAVAT_COM<n>) are listed as well. Both roots can be moved, so tests run on a
// made-up tree.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tauravat::cli {

struct UsbDevice {
  std::string vendorId;   // "0403", four hex digits as sysfs and udev rules write them
  std::string productId;  // "6001"
  std::string serial;     // empty when the device has none
  std::string manufacturer;
  std::string product;
};

struct SerialPortInfo {
  std::string path;              // "/dev/ttyUSB0"
  std::string byId;              // "/dev/serial/by-id/usb-FTDI_...", empty when none
  std::optional<UsbDevice> usb;  // nothing for a port that is not on USB
  std::vector<int> comNumbers;   // ascending; empty when no COM number opens it
};

struct SystemRoots {
  std::filesystem::path sysfs = "/sys";
  std::filesystem::path dev = "/dev";  // stands for /dev in COM paths too
};

// /sys and /dev, or TAURAVAT_SYSFS_ROOT and TAURAVAT_DEV_ROOT when set (a testing aid).
SystemRoots RootsFromEnvironment();

// The device path COM n stands for, or nothing.
using ComPathFunction = std::function<std::optional<std::string>(int)>;

// Every port found, those with a COM number first (by their lowest), then by path.
std::vector<SerialPortInfo> ListSerialPorts(const SystemRoots& roots,
                                            const ComPathFunction& comPath);

}  // namespace tauravat::cli
