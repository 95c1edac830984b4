// The port object over a scripted device: opening and its failures, time-outs, the
// single-byte hand-over and what each outcome records, abort, and line errors handed
// from the event thread to the caller.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "comm.hpp"
#include "comm_port.hpp"
#include "cp1250.hpp"
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
  // The event thread has handed an event over to the caller's thread.
  bool HandOverPending() { return WaitForAny({&Link().Queue().Pending()}, 5000) == 0; }

  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
};

TEST_F(CommOnFakeDevice, OpenSetsTheLineAndTheTimeoutsAndCloseRestoresThem) {
  const struct {
    uint16_t write, read;
    uint32_t interval, readConstant, writeConstant;
  } cases[] = {{3, 5, 5000, 5000, 3000}, {0, 0, kMaxTimeout, 0, 0}};  // 0: return at once
  for (const auto& c : cases) {
    ASSERT_EQ(Open(c.write, c.read), 0);
    EXPECT_TRUE(Link().PortIsOpen());
    EXPECT_EQ(Link().CommErrorCode(), 0u);
    EXPECT_EQ(Link().Comm->PortName(), "Com7");
    {
      std::lock_guard lock(line->mutex);
      EXPECT_EQ(line->appliedBaud, 19200u);
      EXPECT_EQ(line->timeouts.readInterval, c.interval);
      EXPECT_EQ(line->timeouts.readTotalMultiplier, 0u);
      EXPECT_EQ(line->timeouts.readTotalConstant, c.readConstant);
      EXPECT_EQ(line->timeouts.writeTotalMultiplier, 0u);
      EXPECT_EQ(line->timeouts.writeTotalConstant, c.writeConstant);
    }
    ASSERT_EQ(ClosePort(), 0);
  }

  ASSERT_EQ(Open(3, 5), 0);
  ASSERT_TRUE(Link().SetPortTimeouts(1000, 90000));
  EXPECT_EQ(Link().Comm->WorkingTimeouts().readTotalConstant, 90000u);
  ASSERT_EQ(ClosePort(), 0);
  {
    std::lock_guard lock(line->mutex);
    EXPECT_EQ(line->timeouts.readTotalConstant, 5000u) << "Stop restores what the last call saved";
    EXPECT_EQ(line->timeouts.writeTotalConstant, 3000u);
    EXPECT_EQ(line->devicesAlive, 0);
  }
  // The time-outs of a closed port cannot be read.
  EXPECT_FALSE(Link().SetPortTimeouts(3000, 5000));
  EXPECT_EQ(Link().CommErrorText(), Cp1250(" Błąd odczytu aktualnych czasów."));
  EXPECT_EQ(Link().CommErrorCode(), kErrorInvalidHandle);
}

TEST_F(CommOnFakeDevice, OpenFailuresReturnTheOsErrorWithItsTextAndHoldNothing) {
  const std::string badHandle = Cp1250("Niepoprawny uchwyt do urządzenia, proces przerwany.");
  const struct {
    uint32_t osError;
    bool notCharacterDevice;
    int32_t expected;
    std::string text;
  } cases[] = {
      {2, false, 2, Cp1250("System nie potrafi znależć danego urządzenia.")},
      {5, false, 5, Cp1250("Zabroniony dostęp do urządzenia.")},
      {6, false, 6, badHandle},
      {110, false, 110, Cp1250("Błędnie określone urządzenie.")},
      {0, true, 6, badHandle},  // never "0" without a port
  };
  for (const auto& c : cases) {
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

  testing::InstallFakeLine(line);
  line->lineSettingsResult = kErrorInvalidParameter;
  EXPECT_EQ(Open(), static_cast<int32_t>(kErrorInvalidParameter));
  EXPECT_EQ(Link().CommErrorText(), Cp1250("Błąd podczas aktualizacji bloku kontroli danych."));
  EXPECT_EQ(Link().CommErrorCode(), kErrorInvalidParameter);
  EXPECT_FALSE(Link().PortIsOpen()) << "a failed open must not keep the port held";
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->devicesAlive, 0);
}

TEST_F(CommOnFakeDevice, SecondOpenIsRefusedCloseTwiceIsHarmlessAndReopenStartsClean) {
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Open(), 5);
  EXPECT_EQ(Link().CommErrorText(), Cp1250("Ten port jest już zainicjowany"));
  EXPECT_EQ(Link().CommErrorCode(), 0u) << "the refusal must not fail the open port's exchanges";
  EXPECT_TRUE(Link().WriteByte(0x1B));
  {
    std::lock_guard lock(line->mutex);
    EXPECT_EQ(line->opens, 1);
    EXPECT_EQ(line->written, std::vector<uint8_t>{0x1B});
  }
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

TEST_F(CommOnFakeDevice, CloseReleasesAWaitingCallerAndLaterTransfersFailAtOnce) {
  ASSERT_EQ(Open(0, 0), 0);  // no write time-out: only the abort can end this write
  {
    std::lock_guard lock(line->mutex);
    line->writesBlockUntilAbort = true;
  }
  auto closer = std::async(std::launch::async, [this] {
    WaitForAny({&line->writeBlocked}, 5000);
    return ClosePort();
  });
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(closer.get(), 0);
  EXPECT_FALSE(Link().PortIsOpen());

  const auto start = Clock::now();
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_TRUE(Link().TransferFailed());
  uint8_t byte = 0;
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
}

TEST_F(CommOnFakeDevice, PurgeDiscardsInputOnlyWhenOutputHasDrained) {
  ASSERT_EQ(Open(), 0);
  Link().PurgePort();
  line->purgeOutputResult = 110;
  Link().PurgePort();
  std::lock_guard lock(line->mutex);
  EXPECT_EQ(line->purges, (std::vector<const char*>{"output", "input", "output"}));
}

TEST_F(CommOnFakeDevice, LineErrorIsRecordedByTheCallerAndSurvivesUntilReopen) {
  const struct {
    uint32_t errors;
    uint32_t code;
    const char* text;
  } cases[] = {
      {kLineFraming, kLineFraming, "Urządzenie wykryło błąd ramki (CE_FRAME)."},
      {kLineBreak | kLineOverrun, kLineOverrun, "Zgubiono znaki (CE_OVERRUN)."},
      {kLineInputOverflow, kLineInputOverflow, "Zapełniony bufor wejściowy (CE_RXOVER)."},
      {kLineFraming | kLineParity, kLineParity,
       "Urządzenie wykryło błąd parzystości (CE_RXPARITY)."},
      {kLineBreak, kLineBreak, "Urządzenie wykryło stan BREAK (CE_BREAK)."},
      {kLineParity | kLineOutputFull, kLineOutputFull, "Zapełniony bufor wyjściowy (CE_TXFULL)."},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Open(), 0);
    line->RaiseLineErrors(c.errors);
    ASSERT_TRUE(HandOverPending());
    EXPECT_EQ(Link().CommErrorCode(), 0u) << "recorded only when the caller serves the hand-over";
    EXPECT_TRUE(Link().WriteByte(0x1B)) << "the byte itself still moves";
    EXPECT_EQ(Link().CommErrorCode(), c.code);
    EXPECT_EQ(Link().CommErrorText(), Cp1250(c.text));
    EXPECT_TRUE(Link().WriteByte(0x1B));
    EXPECT_EQ(Link().CommErrorCode(), c.code)
        << "a line error stays recorded while the port is open";
    ASSERT_EQ(ClosePort(), 0);
  }
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Link().CommErrorCode(), 0u);

  // Close never waits for a hand-over nobody served.
  line->RaiseLineErrors(kLineFraming);
  ASSERT_TRUE(HandOverPending());
  EXPECT_EQ(ClosePort(), 0);
  EXPECT_FALSE(Link().Queue().Pending().IsSet());
}

}  // namespace
}  // namespace kestradr
