// `tauravat ports` on a made-up sysfs and /dev: which ttys are ports, the USB device
// above each, the by-id names, and the COM numbers the driver's mapping gives them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "port_list.hpp"
#include "port_names.hpp"

namespace tauravat::cli {
namespace {
namespace fs = std::filesystem;

class FakeTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tauravat-ports-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    roots_ = {root_ / "sys", root_ / "dev"};
    fs::create_directories(roots_.sysfs / "class" / "tty");
    fs::create_directories(roots_.dev);
  }
  void TearDown() override {
    for (const std::string& variable : variables_) ::unsetenv(variable.c_str());
    fs::remove_all(root_);
  }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
  }

  // A tty in sysfs whose device is `device` (under sys/devices), with its /dev node.
  void Tty(const std::string& name, const std::string& device, bool node = true) {
    const fs::path devicePath = roots_.sysfs / "devices" / device;
    fs::create_directories(devicePath);
    const fs::path classEntry = roots_.sysfs / "class" / "tty" / name;
    fs::create_directories(classEntry);
    fs::create_directory_symlink(devicePath, classEntry / "device");
    if (node) Write(roots_.dev / name, "");
  }

  void UsbDevice(const std::string& device, std::map<std::string, std::string> attributes) {
    for (const auto& [name, value] : attributes)
      Write(roots_.sysfs / "devices" / device / name, value);
  }

  void Env(const std::string& variable, const std::string& value) {
    ::setenv(variable.c_str(), value.c_str(), 1);
    variables_.push_back(variable);
  }

  std::vector<SerialPortInfo> List() const {
    return ListSerialPorts(roots_, kestradr::PlatformPortPath);
  }

  fs::path root_;
  SystemRoots roots_;
  std::vector<std::string> variables_;
};

const SerialPortInfo* Find(const std::vector<SerialPortInfo>& ports, const fs::path& path) {
  for (const SerialPortInfo& port : ports) {
    if (port.path == path.string()) return &port;
  }
  return nullptr;
}

TEST_F(FakeTree, KernelPortsWithTheirUsbDevicesByIdNamesAndComNumbers) {
  // An FTDI adapter: the port sits under the interface, the ids on the device above.
  const std::string ftdi = "pci0000:00/0000:00:14.0/usb1/1-2";
  UsbDevice(ftdi, {{"idVendor", "0403"},
                   {"idProduct", "6001"},
                   {"serial", "A1B2C3"},
                   {"manufacturer", "FTDI"},
                   {"product", "FT232R USB UART"}});
  Write(roots_.sysfs / "devices" / ftdi / "1-2:1.0" / "bInterfaceClass", "ff");
  Tty("ttyUSB0", ftdi + "/1-2:1.0/ttyUSB0");
  fs::create_directories(roots_.dev / "serial" / "by-id");
  fs::create_symlink("../../ttyUSB0", roots_.dev / "serial" / "by-id" /
                                          "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");
  // A CDC-ACM modem without a serial number: its device is the interface itself.
  UsbDevice("pci0000:00/0000:00:14.0/usb1/1-3", {{"idVendor", "2341"}, {"idProduct", "0043"}});
  Tty("ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0");
  // An on-board UART, and a slot the 8250 driver keeps with no chip behind it.
  Tty("ttyS0", "pnp0/00:05");
  Write(roots_.sysfs / "class" / "tty" / "ttyS0" / "type", "4");
  Tty("ttyS1", "platform/serial8250");
  Write(roots_.sysfs / "class" / "tty" / "ttyS1" / "type", "0");
  // A virtual terminal (no device), and a port whose node this /dev lacks.
  fs::create_directories(roots_.sysfs / "class" / "tty" / "tty0");
  Write(roots_.dev / "tty0", "");
  Tty("ttyUSB1", ftdi + "/1-2:1.1/ttyUSB1", false);

  const auto ports = List();
  ASSERT_EQ(ports.size(), 3u);
  // By COM number: ttyS0 is COM1, ttyUSB0 COM33, ttyACM0 COM65.
  EXPECT_EQ(ports[0].path, (roots_.dev / "ttyS0").string());
  EXPECT_EQ(ports[0].comNumbers, std::vector<int>{1});
  EXPECT_FALSE(ports[0].usb);
  EXPECT_EQ(ports[0].byId, "");

  const SerialPortInfo& usb = ports[1];
  EXPECT_EQ(usb.path, (roots_.dev / "ttyUSB0").string());
  EXPECT_EQ(usb.comNumbers, std::vector<int>{33});
  ASSERT_TRUE(usb.usb);
  EXPECT_EQ(usb.usb->vendorId, "0403");
  EXPECT_EQ(usb.usb->productId, "6001");
  EXPECT_EQ(usb.usb->serial, "A1B2C3");
  EXPECT_EQ(usb.usb->manufacturer, "FTDI");
  EXPECT_EQ(usb.usb->product, "FT232R USB UART");
  EXPECT_EQ(
      usb.byId,
      (roots_.dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0").string());

  const SerialPortInfo& acm = ports[2];
  EXPECT_EQ(acm.comNumbers, std::vector<int>{65});
  ASSERT_TRUE(acm.usb);
  EXPECT_EQ(acm.usb->vendorId, "2341");
  EXPECT_EQ(acm.usb->serial, "");
}

TEST_F(FakeTree, ComVariablesAddNumbersTakeThemAwayAndNameDevicesSysfsDoesNotKnow) {
  Tty("ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0");
  Tty("ttyUSB1", "usb1/1-3/1-3:1.0/ttyUSB1");
  Tty("ttyS1", "platform/serial8250");
  Write(roots_.sysfs / "class" / "tty" / "ttyS1" / "type", "0");
  Write(roots_.dev / "pts" / "4", "");
  // A second number for ttyUSB0, through a link; COM34 taken from ttyUSB1 for a
  // pseudo-terminal; a number pointed at the empty UART slot; one at nothing.
  fs::create_symlink("ttyUSB0", roots_.dev / "printer");
  Env("TAURAVAT_COM5", "/dev/printer");
  Env("TAURAVAT_COM34", "/dev/pts/4");
  Env("TAURAVAT_COM6", "/dev/ttyS1");
  Env("TAURAVAT_COM7", "/dev/ttyUSB9");

  const auto ports = List();
  ASSERT_EQ(ports.size(), 3u);
  const auto* usb0 = Find(ports, roots_.dev / "ttyUSB0");
  const auto* usb1 = Find(ports, roots_.dev / "ttyUSB1");
  const auto* pty = Find(ports, roots_.dev / "pts" / "4");
  ASSERT_TRUE(usb0 && usb1 && pty);
  EXPECT_EQ(usb0->comNumbers, (std::vector<int>{5, 33}));
  EXPECT_EQ(pty->comNumbers, std::vector<int>{34});
  EXPECT_FALSE(pty->usb);
  // Without a number the port comes last.
  EXPECT_TRUE(usb1->comNumbers.empty());
  EXPECT_EQ(&ports.back(), usb1);
  // No USB device above these (no idVendor on the way up): nothing made up.
  EXPECT_FALSE(usb0->usb);
}

TEST_F(FakeTree, NoSysfsAtAllStillListsWhatTheComNumbersOpen) {
  fs::remove_all(roots_.sysfs);
  Write(roots_.dev / "ttyS0", "");
  const auto ports = List();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].comNumbers, std::vector<int>{1});
  fs::remove_all(roots_.dev);
  EXPECT_TRUE(List().empty());
}

}  // namespace
}  // namespace tauravat::cli
