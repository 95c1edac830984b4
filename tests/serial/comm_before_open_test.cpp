// What the port layer does before any port was ever opened in the process; a suite of
// its own, since every other suite opens ports.
#include <gtest/gtest.h>

#include "comm.hpp"
#include "printer.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

// The serial link behind OpenPort and ClosePort.
SerialLink& Link() {
  return DefaultPrinter().Link;
}

TEST(CommBeforeAnyOpen, CloseSucceedsAndTransfersFailWithTheInvalidHandle) {
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_EQ(ClosePort(), 0);
  Link().PurgePort();  // nothing to purge, and no crash

  // No hand-over events exist yet: the failed wait is recorded with the invalid
  // handle, so the exchange above ends with a send failure.
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_EQ(Link().CommErrorCode(), kErrorInvalidHandle);
  EXPECT_FALSE(Link().CommErrorText().empty());
  EXPECT_TRUE(Link().TransferFailed());

  uint8_t byte = 0x33;
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(byte, 0x33);
  EXPECT_EQ(ClosePort(), 0);
}

}  // namespace
}  // namespace kestradr
