// tauravat_list_ports on a made-up sysfs and /dev: which ttys are ports, the USB device
// above each, the by-id names, and the COM numbers the driver's mapping gives them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <string>
#include <vector>

#include "tauravat.h"

namespace {
namespace fs = std::filesystem;

struct Listed {
  std::string path, byId;
  int usb = 0;
  uint16_t vendor = 0, product = 0;
  std::string serial, manufacturer;
  std::vector<int32_t> com;
  bool operator==(const Listed&) const = default;
};

// Prints a port in a failed comparison.
void PrintTo(const Listed& p, std::ostream* out) {
  *out << "{" << p.path << " by-id '" << p.byId << "' usb " << p.usb << " " << std::hex << p.vendor
       << ":" << p.product << std::dec << " '" << p.serial << "' '" << p.manufacturer << "' com";
  for (const int32_t n : p.com) *out << " " << n;
  *out << "}";
}

// Every port the library lists, read through tauravat_port_list_item.
std::vector<Listed> ListPorts() {
  tauravat_port_list* list = nullptr;
  size_t count = 99;
  EXPECT_EQ(tauravat_list_ports(&list, &count), TAURAVAT_OK);
  std::vector<Listed> ports;
  for (size_t i = 0; i < count; ++i) {
    tauravat_port_info info{};
    info.size = sizeof info;
    EXPECT_EQ(tauravat_port_list_item(list, i, &info), TAURAVAT_OK);
    ports.push_back({info.path, info.by_id, info.usb, info.usb_vendor_id, info.usb_product_id,
                     info.usb_serial, info.usb_manufacturer,
                     std::vector<int32_t>(info.com_numbers, info.com_numbers + info.com_count)});
  }
  tauravat_port_info past{};
  past.size = sizeof past;
  EXPECT_EQ(tauravat_port_list_item(list, count, &past), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_free_ports(list), TAURAVAT_OK);
  return ports;
}

class FakeTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tauravat-ports-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    roots_ = {root_ / "sys", root_ / "dev"};
    fs::create_directories(roots_.dev);
    ::setenv("TAURAVAT_SYSFS_ROOT", roots_.sysfs.c_str(), 1);
    ::setenv("TAURAVAT_DEV_ROOT", roots_.dev.c_str(), 1);
  }
  void TearDown() override {
    for (const char* variable : {"TAURAVAT_COM5", "TAURAVAT_COM6", "TAURAVAT_COM65",
                                 "TAURAVAT_SYSFS_ROOT", "TAURAVAT_DEV_ROOT"})
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

  struct Roots {
    fs::path sysfs, dev;
  };
  fs::path root_;
  Roots roots_;
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
  // By COM number, the ports without one last (ttyACM0's was lent away).
  const std::string dev = roots_.dev.string() + "/";
  EXPECT_EQ(ListPorts(),
            (std::vector<Listed>{
                {dev + "ttyS0", "", 0, 0, 0, "", "", {1}},
                {dev + "ttyUSB0", byId.string(), 1, 0x0403, 0x6001, "A1B2C3", "FTDI", {5, 33}},
                {dev + "pts/4", "", 0, 0, 0, "", "", {65}},
                {dev + "ttyACM0", "", 1, 0x2341, 0x0043, "", "", {}}}));
}

TEST_F(FakeTree, NoSysfsAtAllStillListsWhatTheComNumbersOpen) {
  Write(roots_.dev / "ttyS0", "");
  const auto ports = ListPorts();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].com, std::vector<int32_t>{1});
  fs::remove_all(roots_.dev);
  EXPECT_TRUE(ListPorts().empty());
}

TEST_F(FakeTree, NetworkPortsAreListedAsTheyAreNamedOncePerAddress) {
  ::setenv("TAURAVAT_COM5", "rfc2217://10.0.0.5:4001", 1);
  ::setenv("TAURAVAT_COM6", "rfc2217://10.0.0.5:4001", 1);
  ::setenv("TAURAVAT_COM65", "socket://printer.shop.lan:4002", 1);
  std::vector<std::pair<std::string, std::vector<int32_t>>> listed;
  for (const Listed& port : ListPorts()) listed.emplace_back(port.path, port.com);
  EXPECT_EQ(listed, (decltype(listed){{"rfc2217://10.0.0.5:4001", {5, 6}},
                                      {"socket://printer.shop.lan:4002", {65}}}));
}

TEST(PortList, NullArgumentsAndAStructFromAnOlderHeader) {
  EXPECT_EQ(tauravat_list_ports(nullptr, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  tauravat_port_list* list = nullptr;
  ASSERT_EQ(tauravat_list_ports(&list, nullptr), TAURAVAT_OK);
  ASSERT_NE(list, nullptr);
  tauravat_port_info info{};
  EXPECT_EQ(tauravat_port_list_item(list, 0, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_port_list_item(nullptr, 0, &info), TAURAVAT_E_NULL_ARGUMENT);
  info.size = offsetof(tauravat_port_info, com_numbers);
  EXPECT_EQ(tauravat_port_list_item(list, 0, &info), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_free_ports(list), TAURAVAT_OK);
  EXPECT_EQ(tauravat_free_ports(nullptr), TAURAVAT_OK);
}

}  // namespace
