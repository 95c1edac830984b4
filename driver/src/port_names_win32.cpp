// COM port numbers on Windows: "Com<n>" under the device namespace, or under the
// remote-desktop client's share when the port is redirected from there.
#include <windows.h>

#include <array>
#include <string>

#include "port_names.hpp"
#include "serial_win32.hpp"

namespace kestradr {

std::string DevicePathFor(const std::string& portName, const std::string& dosMapping) {
  const bool redirected = dosMapping.find("tsclient") != std::string::npos;
  return (redirected ? "\\\\tsclient\\" : "\\\\.\\") + portName;
}

std::optional<std::string> PlatformPortPath(int port) {
  const std::string name = "Com" + std::to_string(port);
  // Several targets come back NUL-separated; the first is the one in force, and an
  // unmapped name leaves the buffer empty.
  std::array<char, 256> mapping{};
  if (QueryDosDeviceA(name.c_str(), mapping.data(), 255) == 0) mapping[0] = '\0';
  return DevicePathFor(name, std::string(mapping.data()));
}

}  // namespace kestradr
