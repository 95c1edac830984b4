// Which device path a COM port number stands for on this platform.
#pragma once

#include <optional>
#include <string>

namespace kestradr {

// The path for COM `port`, or nothing when the number maps to no device.
std::optional<std::string> PlatformPortPath(int port);

}  // namespace kestradr
