// Line speeds that termios has no constant for (28800 b/s), set through the kernel's
// termios2 interface. Kept apart because <asm/termbits.h> cannot share a file with
// <termios.h>.
#pragma once

#include <cstdint>

namespace kestradr {

// Sets both speeds of the open terminal `fd` to `baud`; 0 or errno.
int SetArbitraryBaud(int fd, uint32_t baud);
// Reads back the output speed in bits per second; 0 on failure.
uint32_t ReadArbitraryBaud(int fd);

}  // namespace kestradr
