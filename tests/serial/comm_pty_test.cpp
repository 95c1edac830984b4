// The POSIX device under the port object, over real pseudo-terminals with the test
// playing the far end: which OS error each refused open gives (their texts are the port
// object's, tested over the scripted device), exclusive access, line settings, bytes
// both ways, read time-outs, output that must not be discarded, and a vanishing peer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "comm.hpp"
#include "printer.hpp"
#include "pty_pair.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

SerialLink& Link() {
  return DefaultPrinter().Link;
}

constexpr uint8_t kPort = 201;

class CommOnPty : public ::testing::Test {
 protected:
  void TearDown() override { ClosePort(); }
  testing::PtyPair pty;
  testing::PortPathVariable path{kPort, pty.SlavePath()};
};

// Port 0 tries its own name like any other; a path that is no terminal is an invalid
// handle; a port another opener holds is refused, and the probe itself holds nothing.
TEST_F(CommOnPty, MissingPortsPlainFilesAndHeldPortsAreRefusedWithTheirOsError) {
  char name[] = "/tmp/tauravat-not-a-tty-XXXXXX";
  close(mkstemp(name));
  testing::PortPathVariable nowhere(0, "/nonexistent/tauravat-com0");
  testing::PortPathVariable file(202, name);
  EXPECT_EQ(OpenPort(0, 9600, 3, 5), 2);
  EXPECT_EQ(OpenPort(202, 9600, 3, 5), 6);
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_FALSE(PortAvailable(202));
  std::remove(name);

  const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);  // held the way this driver holds it
  EXPECT_FALSE(PortAvailable(kPort));
  EXPECT_EQ(OpenPort(kPort, 9600, 3, 5), 5);
  close(other);
  EXPECT_TRUE(PortAvailable(kPort)) << "the probe itself must not keep the port";
  ASSERT_EQ(OpenPort(kPort, 9600, 3, 5), 0);
  EXPECT_FALSE(PortAvailable(kPort)) << "a port this process holds is not available either";
  const int late = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (late >= 0) {  // root passes TIOCEXCL; the lock still refuses
    EXPECT_NE(flock(late, LOCK_EX | LOCK_NB), 0);
    close(late);
  }
  ASSERT_EQ(ClosePort(), 0);
  EXPECT_TRUE(PortAvailable(kPort));
}

TEST_F(CommOnPty, LineIsRawEightBitsWithCtsFlowControlAtTheAskedSpeed) {
  const std::pair<uint32_t, speed_t> speeds[] = {{9600, B9600}, {19200, B19200}, {28800, 0}};
  for (const auto& [baud, speed] : speeds) {
    ASSERT_EQ(OpenPort(kPort, baud, 3, 5), 0) << baud << ": " << Link().CommErrorText();
    termios held{};
    ASSERT_EQ(tcgetattr(pty.HeldSlave(), &held), 0);
    EXPECT_EQ(held.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(held.c_cflag & CRTSCTS);
    EXPECT_TRUE(held.c_cflag & CREAD);
    EXPECT_FALSE(held.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(held.c_iflag & (IXON | ICRNL | ISTRIP));
    EXPECT_FALSE(held.c_oflag & OPOST);
    EXPECT_TRUE(speed == 0 || cfgetospeed(&held) == speed) << baud;  // 28800 has no B constant
    ASSERT_EQ(ClosePort(), 0);  // the same pty configured again next round
  }
}

TEST_F(CommOnPty, EveryByteValueTravelsBothWays) {
  ASSERT_EQ(OpenPort(kPort, 28800, 3, 2), 0) << Link().CommErrorText();
  std::vector<uint8_t> all(256);
  for (int value = 0; value < 256; ++value) {
    all[value] = static_cast<uint8_t>(value);
    ASSERT_TRUE(Link().WriteByte(all[value])) << Link().CommErrorText();
    ASSERT_EQ(pty.Receive(), all[value]);
  }
  pty.Send(all);
  for (const uint8_t value : all) {
    uint8_t byte = 0;
    ASSERT_TRUE(Link().ReadByte(byte)) << int(value) << ": " << Link().CommErrorText();
    ASSERT_EQ(byte, value);
  }
  EXPECT_EQ(Link().CommErrorCode(), 0u);
}

TEST_F(CommOnPty, ReadTimeoutOfOneSecondAndOfZero) {
  ASSERT_EQ(OpenPort(kPort, 9600, 3, 1), 0);
  uint8_t byte = 0;
  auto start = Clock::now();
  EXPECT_FALSE(Link().ReadByte(byte));
  auto waited = Clock::now() - start;
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(Link().CommErrorText(), "Timeout odczytu.");
  EXPECT_GE(waited, milliseconds(900));
  EXPECT_LT(waited, milliseconds(3000));
  ASSERT_EQ(ClosePort(), 0);

  ASSERT_EQ(OpenPort(kPort, 9600, 3, 0), 0);
  start = Clock::now();
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_LT(Clock::now() - start, milliseconds(500));
  pty.Send({0x42});
  ASSERT_TRUE(pty.AwaitInput());
  EXPECT_TRUE(Link().ReadByte(byte)) << "a buffered byte is returned at once";
  EXPECT_EQ(byte, 0x42);
}

// Neither a purge nor closing at once may drop a byte reported written; a purge does
// discard input not yet read.
TEST_F(CommOnPty, PurgeAndCloseKeepWrittenOutputAndPurgeDiscardsUnreadInput) {
  ASSERT_EQ(OpenPort(kPort, 9600, 3, 0), 0);
  pty.Send({0x01, 0x02});
  ASSERT_TRUE(pty.AwaitInput());
  const std::vector<uint8_t> sent = {0x1B, 0x30, 0x31, 0x32};
  for (const uint8_t byte : sent) ASSERT_TRUE(Link().WriteByte(byte));
  Link().PurgePort();
  for (const uint8_t expected : sent) EXPECT_EQ(pty.Receive(), expected) << "purged output";
  uint8_t byte = 0;
  EXPECT_FALSE(Link().ReadByte(byte)) << "input pending before the purge is gone";

  for (const uint8_t value : sent) ASSERT_TRUE(Link().WriteByte(value));
  ASSERT_EQ(ClosePort(), 0);  // at once, before the peer has read anything
  for (const uint8_t expected : sent) EXPECT_EQ(pty.Receive(), expected) << "closing dropped it";
}

TEST_F(CommOnPty, PeerVanishingMidTransferEndsInFailureNotAHang) {
  ASSERT_EQ(OpenPort(kPort, 9600, 3, 10), 0);
  auto vanish = std::async(std::launch::async, [this] {
    std::this_thread::sleep_for(milliseconds(200));
    pty.CloseMaster();
  });
  uint8_t byte = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_LT(Clock::now() - start, milliseconds(5000)) << "waited for the 10 s time-out";
  vanish.get();
  EXPECT_EQ(Link().CommErrorText(), "Niepoprawny odczyt.");
  EXPECT_NE(Link().CommErrorCode(), 0u);
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_EQ(ClosePort(), 0);
}

}  // namespace
}  // namespace kestradr
