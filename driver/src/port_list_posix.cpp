// Serial ports on Linux. The kernel's ports are found in sysfs (/sys/class/tty/<name>/device,
// as libserialport and pyserial find them); the USB ids come from the USB device above the
// port in the device tree. Devices that only a COM number names (a pseudo-terminal or a
// network port in TAURAVAT_COM<n>) are listed as well. TAURAVAT_SYSFS_ROOT and
// TAURAVAT_DEV_ROOT move /sys and /dev, so tests run on a made-up tree.
#include "port_list.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "port_names.hpp"

namespace kestradr {
namespace fs = std::filesystem;

namespace {

struct SystemRoots {
  fs::path sysfs = "/sys";
  fs::path dev = "/dev";  // stands for /dev in COM paths too
};

SystemRoots RootsFromEnvironment() {
  SystemRoots roots;
  if (const char* sysfs = std::getenv("TAURAVAT_SYSFS_ROOT"); sysfs != nullptr && *sysfs) {
    roots.sysfs = sysfs;
  }
  if (const char* dev = std::getenv("TAURAVAT_DEV_ROOT"); dev != nullptr && *dev) {
    roots.dev = dev;
  }
  return roots;
}

// The first line of a sysfs attribute without its blanks; empty when there is none.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!line.empty() && blank(static_cast<unsigned char>(line.back()))) line.pop_back();
  while (!line.empty() && blank(static_cast<unsigned char>(line.front()))) line.erase(0, 1);
  return line;
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

std::optional<fs::path> Canonical(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  if (error) return std::nullopt;
  return resolved;
}

// The USB device a port hangs from: the nearest directory above the port's device that
// has idVendor and idProduct (for a USB-serial adapter the port sits under an interface,
// for a CDC-ACM modem the port's device is the interface itself).
std::optional<UsbDevice> UsbDeviceAbove(fs::path device, const fs::path& sysfs) {
  // Only inside sysfs; the bound is deeper than any hub chain.
  const std::string inside = sysfs.string() + "/";
  for (int depth = 0; depth < 32 && device.string().starts_with(inside);
       ++depth, device = device.parent_path()) {
    if (Exists(device / "idVendor") && Exists(device / "idProduct")) {
      return UsbDevice{Attribute(device / "idVendor"), Attribute(device / "idProduct"),
                       Attribute(device / "serial"), Attribute(device / "manufacturer"),
                       Attribute(device / "product")};
    }
  }
  return std::nullopt;
}

// The device node of a sysfs tty name: "!" stands for "/" in names of nodes in
// subdirectories.
fs::path NodeOf(const std::string& name, const fs::path& dev) {
  std::string relative = name;
  std::replace(relative.begin(), relative.end(), '!', '/');
  return dev / relative;
}

struct Found {
  SerialPortInfo info;
  fs::path key;  // the node with every link resolved: one device, one key
};

// The ports the kernel lists; `ttyNames` collects every tty name sysfs knows, ports or
// not, so a COM number's path to one of them is not taken for a port of its own.
std::vector<Found> KernelPorts(const SystemRoots& roots, std::set<std::string>& ttyNames) {
  std::vector<Found> ports;
  const fs::path sysfs = Canonical(roots.sysfs).value_or(roots.sysfs);
  std::error_code error;
  for (fs::directory_iterator it(sysfs / "class" / "tty", error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    ttyNames.insert(name);
    // Virtual terminals, the console and ptmx have no device behind them.
    const auto device = Canonical(it->path() / "device");
    if (!device) continue;
    // A UART slot the 8250 driver reserves whether or not a chip answers there: its type
    // is 0 (unknown). libserialport asks TIOCGSERIAL for the same number.
    if (Exists(it->path() / "type") && Attribute(it->path() / "type") == "0") continue;
    const fs::path node = NodeOf(name, roots.dev);
    const auto key = Canonical(node);
    if (!key) continue;
    ports.push_back({{node.string(), {}, UsbDeviceAbove(*device, sysfs), {}}, *key});
  }
  return ports;
}

void AddByIdNames(const SystemRoots& roots, std::vector<Found>& ports) {
  std::vector<fs::path> links;
  std::error_code error;
  for (fs::directory_iterator it(roots.dev / "serial" / "by-id", error), end; !error && it != end;
       it.increment(error)) {
    links.push_back(it->path());
  }
  // Sorted, so a port with two names always shows the same one.
  std::sort(links.begin(), links.end());
  for (const fs::path& link : links) {
    const auto target = Canonical(link);
    if (!target) continue;
    for (Found& port : ports) {
      if (port.key == *target && port.info.byId.empty()) port.info.byId = link.string();
    }
  }
}

fs::path UnderDevRoot(const std::string& path, const SystemRoots& roots) {
  constexpr std::string_view kDev = "/dev/";
  if (roots.dev == "/dev" || !path.starts_with(kDev)) return path;
  return roots.dev / path.substr(kDev.size());
}

void AddComNumbers(const SystemRoots& roots, const std::set<std::string>& ttyNames,
                   std::vector<Found>& ports) {
  for (int n = 1; n <= 255; ++n) {
    const auto path = PlatformPortPath(n);
    if (!path) continue;
    // A network port (socket://HOST:PORT, rfc2217://HOST:PORT) is listed as it is named:
    // nothing on disk stands for it, and nothing is opened to list it.
    const bool network = path->find("://") != std::string::npos;
    const fs::path node = network ? fs::path(*path) : UnderDevRoot(*path, roots);
    const auto key = network ? std::optional(node) : Canonical(node);
    if (!key) continue;
    const auto known =
        std::find_if(ports.begin(), ports.end(), [&](const Found& p) { return p.key == *key; });
    if (known != ports.end()) {
      known->info.comNumbers.push_back(n);
    } else if (!ttyNames.contains(key->filename().string())) {
      // Not a kernel serial port, yet a COM number opens it: a pseudo-terminal, or a
      // device in a tree without sysfs. A tty sysfs left out above stays out.
      ports.push_back({{node.string(), {}, std::nullopt, {n}}, *key});
    }
  }
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  const SystemRoots roots = RootsFromEnvironment();
  std::set<std::string> ttyNames;
  std::vector<Found> found = KernelPorts(roots, ttyNames);
  AddByIdNames(roots, found);
  AddComNumbers(roots, ttyNames, found);

  std::vector<SerialPortInfo> ports;
  for (Found& port : found) ports.push_back(std::move(port.info));
  const auto order = [](const SerialPortInfo& p) {
    return std::make_tuple(p.comNumbers.empty(), p.comNumbers.empty() ? 0 : p.comNumbers.front(),
                           p.path);
  };
  std::sort(ports.begin(), ports.end(),
            [&](const SerialPortInfo& a, const SerialPortInfo& b) { return order(a) < order(b); });
  return ports;
}

}  // namespace kestradr
