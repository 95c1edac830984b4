// What the port layer does before any port was ever opened in the process; a suite of
// its own, since every other suite opens ports.
#include <gtest/gtest.h>

#include "comm.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

TEST(CommBeforeAnyOpen, CloseSucceedsAndTransfersFailWithTheInvalidHandle) {
  EXPECT_FALSE(PortIsOpen());
  EXPECT_EQ(ClosePort(), 0);
  PurgePort();  // nothing to purge, and no crash

  // No hand-over events exist yet: the failed wait is recorded with the invalid
  // handle, so the exchange above ends with a send failure.
  EXPECT_FALSE(WriteByte(0x1B));
  EXPECT_EQ(CommErrorCode(), kErrorInvalidHandle);
  EXPECT_FALSE(CommErrorText().empty());
  EXPECT_TRUE(TransferFailed());

  uint8_t byte = 0x33;
  EXPECT_FALSE(ReadByte(byte));
  EXPECT_TRUE(TransferFailed());
  EXPECT_EQ(byte, 0x33);
  EXPECT_EQ(ClosePort(), 0);
}

}  // namespace
}  // namespace kestradr
