#include "line_speed.hpp"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace taurasw::testing {

uint32_t LineSpeed(int descriptor) {
  termios2 settings{};
  return ioctl(descriptor, TCGETS2, &settings) == 0 ? settings.c_ospeed : 0;
}

}  // namespace taurasw::testing
