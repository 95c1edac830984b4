// COM port numbers on POSIX. The environment variable TAURAVAT_COM<n> names the device
// for COM<n> when set (e.g. TAURAVAT_COM3=/dev/pts/7); otherwise:
//
//   COM1  .. COM32  ->  /dev/ttyS0   .. /dev/ttyS31    on-board UARTs
//   COM33 .. COM64  ->  /dev/ttyUSB0 .. /dev/ttyUSB31  USB-serial adapters (FTDI, PL2303, ...)
//   COM65 .. COM96  ->  /dev/ttyACM0 .. /dev/ttyACM31  USB CDC-ACM modems/adapters
//   COM0, COM97 .. COM255: no default device (opening reports "not found").
#include <cstdlib>
#include <string>

#include "port_names.hpp"

namespace kestradr {

std::optional<std::string> PlatformPortPath(int port) {
  const std::string variable = "TAURAVAT_COM" + std::to_string(port);
  if (const char* path = std::getenv(variable.c_str()); path != nullptr) return std::string(path);

  struct Range {
    int first;
    const char* prefix;
  };
  static constexpr Range kRanges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
  for (const Range& range : kRanges) {
    if (port >= range.first && port < range.first + 32) {
      return range.prefix + std::to_string(port - range.first);
    }
  }
  return std::nullopt;
}

}  // namespace kestradr
