// The line speed of a terminal as its last owner set it, read from outside. Kept apart
// because <asm/termbits.h>, which reads speeds termios has no constant for, cannot share
// a file with <termios.h>.
#pragma once

#include <cstdint>
#include <string>

namespace taurasw::testing {

// The output speed of the terminal at `path` in bits per second; 0 when it cannot be read
// (while the driver holds a port only root may open it: the driver makes it exclusive).
uint32_t LineSpeed(const std::string& path);

}  // namespace taurasw::testing
