#include "serial_baud_posix.hpp"

#include <cerrno>

#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

namespace kestradr {

#if defined(__linux__)

int SetArbitraryBaud(int fd, uint32_t baud) {
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = baud;
  settings.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
  return 0;
}

uint32_t ReadArbitraryBaud(int fd) {
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

#else

int SetArbitraryBaud(int, uint32_t) {
  return EINVAL;
}
uint32_t ReadArbitraryBaud(int) {
  return 0;
}

#endif

}  // namespace kestradr
