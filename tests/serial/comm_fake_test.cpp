// The port object over a scripted device: opening and its failures, time-outs, the
// single-byte hand-over and what each outcome records, abort, and line errors handed
// from the event thread to the caller.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "comm.hpp"
#include "comm_port.hpp"
#include "fake_device.hpp"
#include "main_thread_queue.hpp"
#include "printer.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

// The serial link behind OpenPort and ClosePort.
SerialLink& Link() {
  return DefaultPrinter().Link;
}

using std::chrono::milliseconds;
using testing::FakeLine;
using Clock = std::chrono::steady_clock;

// Texts expected in code page 1250, written out byte by byte.
const std::string kAlreadyOpen = "Ten port jest ju\xBF zainicjowany";
const std::string kNotFound =
    "System nie potrafi znale\xBF\xE6 danego urz\xB9"
    "dzenia.";
const std::string kDenied =
    "Zabroniony dost\xEAp do urz\xB9"
    "dzenia.";
const std::string kBadHandle =
    "Niepoprawny uchwyt do urz\xB9"
    "dzenia, proces przerwany.";
const std::string kOtherDevice =
    "B\xB3\xEA"
    "dnie okre\x9Clone urz\xB9"
    "dzenie.";
const std::string kLineSettings =
    "B\xB3\xB9"
    "d podczas aktualizacji bloku kontroli danych.";
const std::string kReadTimeouts =
    " B\xB3\xB9"
    "d odczytu aktualnych czas\xF3w.";

class CommOnFakeDevice : public ::testing::Test {
 protected:
  void SetUp() override { testing::InstallFakeLine(line); }
  void TearDown() override {
    ClosePort();
    SetDeviceOpener({});
  }
  int32_t Open(uint16_t writeSeconds = 3, uint16_t readSeconds = 5) {
    return OpenPort(7, 19200, writeSeconds, readSeconds);
  }

  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
};

TEST_F(CommOnFakeDevice, OpenConfiguresTheLineAndTheWorkingTimeouts) {
  ASSERT_EQ(Open(3, 5), 0);
  EXPECT_TRUE(Link().PortIsOpen());
  EXPECT_EQ(Link().CommErrorCode(), 0u);
  EXPECT_EQ(Link().Comm->PortName(), "Com7");
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->appliedBaud, 19200u);
  EXPECT_EQ(line->timeouts.readInterval, 5000u);
  EXPECT_EQ(line->timeouts.readTotalMultiplier, 0u);
  EXPECT_EQ(line->timeouts.readTotalConstant, 5000u);
  EXPECT_EQ(line->timeouts.writeTotalMultiplier, 0u);
  EXPECT_EQ(line->timeouts.writeTotalConstant, 3000u);
}

TEST_F(CommOnFakeDevice, ZeroReadTimeoutMeansReturnAtOnce) {
  ASSERT_EQ(Open(0, 0), 0);
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->timeouts.readInterval, kMaxTimeout);
  EXPECT_EQ(line->timeouts.readTotalConstant, 0u);
  EXPECT_EQ(line->timeouts.writeTotalConstant, 0u);
}

TEST_F(CommOnFakeDevice, CloseRestoresTheTimeoutsInForceBeforeTheLastChange) {
  ASSERT_EQ(Open(3, 5), 0);
  ASSERT_TRUE(Link().SetPortTimeouts(1000, 90000));
  EXPECT_EQ(Link().Comm->WorkingTimeouts().readTotalConstant, 90000u);
  ASSERT_EQ(ClosePort(), 0);
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->timeouts.readTotalConstant, 5000u) << "Stop restores what the last call saved";
  EXPECT_EQ(line->timeouts.writeTotalConstant, 3000u);
  EXPECT_EQ(line->devicesAlive, 0);
}

TEST_F(CommOnFakeDevice, TimeoutsOfAClosedPortCannotBeRead) {
  ASSERT_EQ(Open(), 0);
  ASSERT_EQ(ClosePort(), 0);
  EXPECT_FALSE(Link().SetPortTimeouts(3000, 5000));
  EXPECT_EQ(Link().CommErrorText(), kReadTimeouts);
  EXPECT_EQ(Link().CommErrorCode(), kErrorInvalidHandle);
}

TEST_F(CommOnFakeDevice, OpenFailuresReturnTheOsErrorWithItsText) {
  struct Case {
    uint32_t osError;
    bool notCharacterDevice;
    int32_t expected;
    std::string text;
  };
  const Case cases[] = {
      {2, false, 2, kNotFound},        {5, false, 5, kDenied},   {6, false, 6, kBadHandle},
      {110, false, 110, kOtherDevice}, {0, true, 6, kBadHandle},  // never "0" without a port
  };
  for (const Case& c : cases) {
    SetDeviceOpener([c](const PortAddress&) {
      DeviceOpenResult result;
      result.osError = c.osError;
      result.notCharacterDevice = c.notCharacterDevice;
      return result;
    });
    EXPECT_EQ(Open(), c.expected) << "os error " << c.osError;
    EXPECT_EQ(Link().CommErrorText(), c.text) << "os error " << c.osError;
    EXPECT_EQ(Link().CommErrorCode(), static_cast<uint32_t>(c.expected));
    EXPECT_FALSE(Link().PortIsOpen());
  }
}

TEST_F(CommOnFakeDevice, FailedLineSettingsAreReportedAndTheDeviceReleased) {
  line->lineSettingsResult = kErrorInvalidParameter;
  EXPECT_EQ(Open(), static_cast<int32_t>(kErrorInvalidParameter));
  EXPECT_EQ(Link().CommErrorText(), kLineSettings);
  EXPECT_EQ(Link().CommErrorCode(), kErrorInvalidParameter);
  EXPECT_FALSE(Link().PortIsOpen()) << "a failed open must not keep the port held";
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->devicesAlive, 0);
}

TEST_F(CommOnFakeDevice, SecondOpenIsRefusedAndTheFirstKeepsWorking) {
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Open(), 5);
  EXPECT_EQ(Link().CommErrorText(), kAlreadyOpen);
  EXPECT_EQ(Link().CommErrorCode(), 0u) << "the refusal must not fail the open port's exchanges";
  EXPECT_TRUE(Link().WriteByte(0x1B));
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->opens, 1);
  EXPECT_EQ(line->written, std::vector<uint8_t>{0x1B});
}

TEST_F(CommOnFakeDevice, ReopenAfterCloseClearsTheRecordAndCloseTwiceIsHarmless) {
  ASSERT_EQ(Open(), 0);
  Link().SetCommError("x", 42);
  EXPECT_EQ(ClosePort(), 0);
  EXPECT_EQ(ClosePort(), 0);
  EXPECT_FALSE(Link().PortIsOpen());
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Link().CommErrorCode(), 0u);
  EXPECT_EQ(Link().CommErrorText(), "");
}

TEST_F(CommOnFakeDevice, TransfersRecordTheirOutcome) {
  ASSERT_EQ(Open(), 0);
  {
    std::lock_guard lock(line->mutex);
    line->writes = {
        {TransferStatus::Done, 1, 0}, {TransferStatus::Done, 0, 0}, {TransferStatus::Failed, 0, 5}};
    line->reads = {{{TransferStatus::Done, 1, 0}, 0xA5},
                   {{TransferStatus::Done, 0, 0}, 0},
                   {{TransferStatus::Failed, 0, 6}, 0}};
  }
  EXPECT_TRUE(Link().WriteByte(0x10));
  EXPECT_FALSE(Link().TransferFailed());
  EXPECT_EQ(Link().CommErrorCode(), 0u);

  EXPECT_FALSE(Link().WriteByte(0x11));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(Link().CommErrorText(), "Timeout zapisu.");

  EXPECT_FALSE(Link().WriteByte(0x12));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(Link().CommErrorText(), "Niepoprawny zapis do portu.");
  EXPECT_EQ(Link().CommErrorCode(), 5u);

  uint8_t byte = 0;
  EXPECT_TRUE(Link().ReadByte(byte));
  EXPECT_FALSE(Link().TransferFailed());
  EXPECT_EQ(byte, 0xA5);

  byte = 0x77;
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(byte, 0x77) << "a failed read leaves the caller's byte alone";
  EXPECT_EQ(Link().CommErrorText(), "Timeout odczytu.");

  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_EQ(Link().CommErrorText(), "Niepoprawny odczyt.");
  EXPECT_EQ(Link().CommErrorCode(), 6u);

  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->written, std::vector<uint8_t>{0x10});
}

TEST_F(CommOnFakeDevice, TransferOnAClosedPortFailsAtOnce) {
  ASSERT_EQ(Open(), 0);
  ASSERT_EQ(ClosePort(), 0);
  const auto start = Clock::now();
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_TRUE(Link().TransferFailed());
  uint8_t byte = 0;
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
}

TEST_F(CommOnFakeDevice, CloseFromAnotherThreadReleasesAWaitingCaller) {
  ASSERT_EQ(Open(0, 0), 0);  // no write time-out: only the abort can end this write
  {
    std::lock_guard lock(line->mutex);
    line->writesBlockUntilAbort = true;
  }
  auto closer = std::async(std::launch::async, [] {
    std::this_thread::sleep_for(milliseconds(100));
    return ClosePort();
  });
  const auto start = Clock::now();
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
  EXPECT_EQ(closer.get(), 0);
  EXPECT_FALSE(Link().PortIsOpen());
}

TEST_F(CommOnFakeDevice, PurgeDiscardsInputOnlyWhenOutputHasDrained) {
  ASSERT_EQ(Open(), 0);
  Link().PurgePort();
  line->purgeOutputResult = 110;
  Link().PurgePort();
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->purges, (std::vector<const char*>{"output", "input", "output"}));
}

// Waits until the event thread has handed an event over to the main thread.
bool HandOverPending() {
  const auto deadline = Clock::now() + milliseconds(5000);
  while (Clock::now() < deadline) {
    if (Link().Queue().Pending().IsSet()) return true;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return false;
}

TEST_F(CommOnFakeDevice, LineErrorIsRecordedByTheCallerAndSurvivesUntilReopen) {
  struct Case {
    uint32_t errors;
    uint32_t code;
    std::string text;
  };
  const Case cases[] = {
      {kLineFraming, kLineFraming,
       "Urz\xB9"
       "dzenie wykry\xB3o b\xB3\xB9"
       "d ramki (CE_FRAME)."},
      {kLineBreak | kLineOverrun, kLineOverrun, "Zgubiono znaki (CE_OVERRUN)."},
      {kLineInputOverflow, kLineInputOverflow,
       "Zape\xB3niony bufor wej\x9C"
       "ciowy (CE_RXOVER)."},
      {kLineFraming | kLineParity, kLineParity,
       "Urz\xB9"
       "dzenie wykry\xB3o b\xB3\xB9"
       "d parzysto\x9C"
       "ci (CE_RXPARITY)."},
      {kLineBreak, kLineBreak,
       "Urz\xB9"
       "dzenie wykry\xB3o stan BREAK (CE_BREAK)."},
      {kLineParity | kLineOutputFull, kLineOutputFull,
       "Zape\xB3niony bufor wyj\x9C"
       "ciowy (CE_TXFULL)."},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Open(), 0);
    line->RaiseLineErrors(c.errors);
    ASSERT_TRUE(HandOverPending());
    EXPECT_EQ(Link().CommErrorCode(), 0u) << "recorded only when the caller serves the hand-over";
    EXPECT_TRUE(Link().WriteByte(0x1B)) << "the byte itself still moves";
    EXPECT_EQ(Link().CommErrorCode(), c.code);
    EXPECT_EQ(Link().CommErrorText(), c.text);
    EXPECT_TRUE(Link().WriteByte(0x1B));
    EXPECT_EQ(Link().CommErrorCode(), c.code)
        << "a line error stays recorded while the port is open";
    ASSERT_EQ(ClosePort(), 0);
  }
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Link().CommErrorCode(), 0u);
}

TEST_F(CommOnFakeDevice, CloseNeverWaitsForAnUnservedHandOver) {
  ASSERT_EQ(Open(), 0);
  line->RaiseLineErrors(kLineFraming);
  ASSERT_TRUE(HandOverPending());
  const auto start = Clock::now();
  EXPECT_EQ(ClosePort(), 0);
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
  EXPECT_FALSE(Link().Queue().Pending().IsSet());
}

TEST_F(CommOnFakeDevice, PortAvailableAsksTheInstalledProbe) {
  SetPortProbe([](int port) { return port == 3; });
  EXPECT_TRUE(PortAvailable(3));
  EXPECT_FALSE(PortAvailable(4));
  SetPortProbe({});
}

}  // namespace
}  // namespace kestradr
