// `tauravat ports` on a made-up sysfs and /dev: which ttys are ports, the USB device above
// each, the by-id names, and the COM numbers the driver's mapping gives them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "handle_text.hpp"
#include "port_list.hpp"

namespace tauravat::cli {
namespace {
namespace fs = std::filesystem;

class FakeTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tauravat-ports-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    roots_ = {root_ / "sys", root_ / "dev"};
    fs::create_directories(roots_.dev);
  }
  void TearDown() override {
    for (const char* variable : {"TAURAVAT_COM5", "TAURAVAT_COM6", "TAURAVAT_COM65"})
      ::unsetenv(variable);
    fs::remove_all(root_);
  }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
  }

  // A tty whose device is sys/devices/`device`, with its /dev node and a UART's `type`.
  void Tty(const std::string& name, const std::string& device, const char* type = nullptr) {
    const fs::path entry = roots_.sysfs / "class" / "tty" / name;
    fs::create_directories(roots_.sysfs / "devices" / device);
    fs::create_directories(entry);
    fs::create_directory_symlink(roots_.sysfs / "devices" / device, entry / "device");
    if (type != nullptr) Write(entry / "type", type);
    Write(roots_.dev / name, "");
  }

  fs::path root_;
  SystemRoots roots_;
};

TEST_F(FakeTree, PortsWithTheirUsbDevicesByIdNamesAndComNumbers) {
  // An FTDI adapter: the port sits under the interface, the ids on the device above.
  const std::string ftdi = "pci0000:00/0000:00:14.0/usb1/1-2";
  const fs::path adapter = roots_.sysfs / "devices" / ftdi;
  Write(adapter / "idVendor", "0403"), Write(adapter / "idProduct", "6001");
  Write(adapter / "serial", "A1B2C3"), Write(adapter / "manufacturer", "FTDI");
  Write(adapter / "1-2:1.0" / "bInterfaceClass", "ff");
  Tty("ttyUSB0", ftdi + "/1-2:1.0/ttyUSB0");
  const fs::path byId = roots_.dev / "serial" / "by-id" / "usb-FTDI_A1B2C3-if00-port0";
  fs::create_directories(byId.parent_path());
  fs::create_symlink("../../ttyUSB0", byId);
  // A CDC-ACM modem without a serial number: its device is the interface itself.
  Write(roots_.sysfs / "devices/usb1/1-3/idVendor", "2341"),
      Write(roots_.sysfs / "devices/usb1/1-3/idProduct", "0043");
  Tty("ttyACM0", "usb1/1-3/1-3:1.0");
  // An on-board UART, and a slot the 8250 driver keeps with no chip behind it.
  Tty("ttyS0", "pnp0/00:05", "4");
  Tty("ttyS1", "platform/serial8250", "0");
  // A virtual terminal (no device), and a port whose node this /dev lacks.
  fs::create_directories(roots_.sysfs / "class" / "tty" / "tty0");
  Write(roots_.dev / "tty0", "");
  Tty("ttyUSB1", ftdi + "/1-2:1.1/ttyUSB1");
  fs::remove(roots_.dev / "ttyUSB1");
  // A second number for ttyUSB0 through a link, ttyACM0's COM65 lent to a pty, and a
  // number pointed at the empty UART slot.
  Write(roots_.dev / "pts" / "4", "");
  fs::create_symlink("ttyUSB0", roots_.dev / "printer");
  ::setenv("TAURAVAT_COM5", "/dev/printer", 1);
  ::setenv("TAURAVAT_COM65", "/dev/pts/4", 1);
  ::setenv("TAURAVAT_COM6", "/dev/ttyS1", 1);
  // By COM number, the ports without one last (ttyACM0's was lent away); "-": no USB device.
  using Listed = std::vector<std::string>;
  std::vector<std::pair<Listed, std::vector<int>>> listed;
  for (const auto& port : ListSerialPorts(roots_, PortPath)) {
    const UsbDevice usb = port.usb.value_or(UsbDevice{"-", "-", "-", "-", "-"});
    listed.push_back(
        {{port.path, port.byId, usb.vendorId, usb.productId, usb.serial, usb.manufacturer},
         port.comNumbers});
  }
  const std::string dev = roots_.dev.string() + "/";
  EXPECT_EQ(listed,
            (decltype(listed){
                {{dev + "ttyS0", "", "-", "-", "-", "-"}, {1}},
                {{dev + "ttyUSB0", byId.string(), "0403", "6001", "A1B2C3", "FTDI"}, {5, 33}},
                {{dev + "pts/4", "", "-", "-", "-", "-"}, {65}},
                {{dev + "ttyACM0", "", "2341", "0043", "", ""}, {}}}));
}

TEST_F(FakeTree, NoSysfsAtAllStillListsWhatTheComNumbersOpen) {
  Write(roots_.dev / "ttyS0", "");
  const auto ports = ListSerialPorts(roots_, PortPath);
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].comNumbers, std::vector<int>{1});
  fs::remove_all(roots_.dev);
  EXPECT_TRUE(ListSerialPorts(roots_, PortPath).empty());
}

TEST_F(FakeTree, NetworkPortsAreListedAsTheyAreNamedOncePerAddress) {
  ::setenv("TAURAVAT_COM5", "rfc2217://10.0.0.5:4001", 1);
  ::setenv("TAURAVAT_COM6", "rfc2217://10.0.0.5:4001", 1);
  ::setenv("TAURAVAT_COM65", "socket://printer.shop.lan:4002", 1);
  std::vector<std::pair<std::string, std::vector<int>>> listed;
  for (const auto& port : ListSerialPorts(roots_, PortPath))
    listed.emplace_back(port.path, port.comNumbers);
  EXPECT_EQ(listed, (decltype(listed){{"rfc2217://10.0.0.5:4001", {5, 6}},
                                      {"socket://printer.shop.lan:4002", {65}}}));
}

}  // namespace
}  // namespace tauravat::cli
