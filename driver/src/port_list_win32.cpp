// Serial ports on Windows: the "COM<n>" names of the device namespace, each with the Win32
// path the driver opens for it. Windows keeps no by-id names; the USB ids would need the
// setup API, which the driver does not link, so they are left out.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "port_list.hpp"
#include "port_names.hpp"

namespace kestradr {
namespace {

// Every name of the device namespace, NUL-separated; the buffer grows until it fits.
std::vector<char> DosDeviceNames() {
  std::vector<char> names(16 * 1024);
  while (names.size() <= 4 * 1024 * 1024) {
    const DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    if (length != 0) {
      names.resize(length);
      return names;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    names.resize(names.size() * 2);
  }
  return {};
}

// n for "COM<n>" (any case) with n in 1..255, else 0.
int ComNumberOf(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  std::string prefix = name.substr(0, 3);
  std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (prefix != "COM" || name[3] == '0') return 0;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number <= 255 ? number : 0;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<int> numbers;
  const std::vector<char> names = DosDeviceNames();
  for (size_t at = 0; at < names.size() && names[at] != '\0';) {
    const std::string name(&names[at]);
    if (const int number = ComNumberOf(name); number != 0) numbers.push_back(number);
    at += name.size() + 1;
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::vector<SerialPortInfo> ports;
  for (const int number : numbers) {
    if (auto path = PlatformPortPath(number)) ports.push_back({*path, {}, std::nullopt, {number}});
  }
  return ports;
}

}  // namespace kestradr
