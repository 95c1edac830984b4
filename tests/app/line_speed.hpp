// The line speed of a terminal as its last owner set it, read from outside. Kept apart
// because <asm/termbits.h>, which reads speeds termios has no constant for, cannot share
// a file with <termios.h>.
#pragma once

#include <cstdint>

namespace taurasw::testing {

// The output speed of the terminal open at `descriptor` in bits per second; 0 when it
// cannot be read.
uint32_t LineSpeed(int descriptor);

}  // namespace taurasw::testing
