// The port object over a scripted device: opening and its failures, time-outs, the
// single-byte hand-over and what each outcome records, abort, and line errors handed
// from the event thread to the caller.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "comm.hpp"
#include "comm_port.hpp"
#include "cp1250.hpp"
#include "in_memory_device.hpp"
#include "main_thread_queue.hpp"
#include "printer.hpp"
#include "scripted_line.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

// What the test scripts and sees of the device; shared, since the port owns the device.
struct FakeLine {
  std::mutex mutex;
  std::deque<Transfer> writes;                     // none left: a write succeeds
  std::deque<std::pair<Transfer, uint8_t>> reads;  // none left: a read times out
  bool blockWrites = false;                        // a write ends only by the port's abort
  Event writeBlocked;
  std::vector<uint8_t> written;
  std::vector<std::string> purges;
  uint32_t purgeOutputResult = 0, lineSettingsResult = 0, baud = 0;
  CommTimeouts timeouts{1, 2, 3, 4, 5};  // what the device had before the driver came
  int opens = 0, alive = 0;

  // The port's threads reach the line through the device: all of it is used under the lock.
  template <class Fn>
  auto With(Fn&& fn) {
    std::lock_guard lock(mutex);
    return fn(*this);
  }
};

class FakeDevice final : public testing::InMemoryDevice {
 public:
  explicit FakeDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {
    line_->With([](FakeLine& l) { return ++l.alive; });
  }
  ~FakeDevice() override {
    line_->With([](FakeLine& l) { return --l.alive; });
  }

  uint32_t ApplyLineSettings(uint32_t baud) override {
    return line_->With([&](FakeLine& l) { return l.baud = baud, l.lineSettingsResult; });
  }
  uint32_t GetTimeouts(CommTimeouts& timeouts) override {
    return line_->With([&](FakeLine& l) { return timeouts = l.timeouts, 0u; });
  }
  uint32_t SetTimeouts(const CommTimeouts& timeouts) override {
    return line_->With([&](FakeLine& l) { return l.timeouts = timeouts, 0u; });
  }
  Transfer Write(uint8_t byte, const Event& abort) override {
    if (line_->With([](FakeLine& l) { return l.blockWrites; })) {
      line_->writeBlocked.Set();
      WaitForAny({&abort});
      return {TransferStatus::Aborted, 0, 0};
    }
    return line_->With([&](FakeLine& l) {
      const Transfer outcome =
          l.writes.empty() ? Transfer{TransferStatus::Done, 1, 0} : l.writes.front();
      if (!l.writes.empty()) l.writes.pop_front();
      if (outcome.count == 1) l.written.push_back(byte);
      return outcome;
    });
  }
  Transfer Read(uint8_t& byte, const Event&) override {
    return line_->With([&](FakeLine& l) {
      if (l.reads.empty()) return Transfer{TransferStatus::Done, 0, 0};
      Transfer outcome;
      std::tie(outcome, byte) = l.reads.front();
      l.reads.pop_front();
      return outcome;
    });
  }
  uint32_t PurgeOutput() override {
    return line_->With(
        [](FakeLine& l) { return l.purges.push_back("output"), l.purgeOutputResult; });
  }
  uint32_t PurgeInput() override {
    return line_->With([](FakeLine& l) { return l.purges.push_back("input"), 0u; });
  }

 private:
  std::shared_ptr<FakeLine> line_;
};

SerialLink& Link() {
  return DefaultPrinter().Link;
}

class CommOnFakeDevice : public ::testing::Test {
 protected:
  void SetUp() override { InstallFake(); }
  void TearDown() override {
    ClosePort();
    SetDeviceOpener({});
  }
  void InstallFake() {
    SetDeviceOpener([line = line](const PortAddress&) {
      DeviceOpenResult result;
      result.device = std::make_unique<FakeDevice>(line);
      line->With([](FakeLine& l) { return ++l.opens; });
      return result;
    });
  }
  int32_t Open(uint16_t writeSeconds = 3, uint16_t readSeconds = 5) {
    return OpenPort(7, 19200, writeSeconds, readSeconds);
  }
  template <class T>
  T Read(T FakeLine::*field) {
    return line->With([&](FakeLine& l) { return l.*field; });
  }
  template <class Fn>
  void Change(Fn&& fn) {
    line->With([&](FakeLine& l) { return fn(l), 0; });
  }

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
    EXPECT_EQ(Link().Comm->PortName(), "Com7");
    EXPECT_EQ(Read(&FakeLine::baud), 19200u);
    const CommTimeouts t = Read(&FakeLine::timeouts);
    EXPECT_EQ(t.readInterval, c.interval);
    EXPECT_EQ(t.readTotalConstant, c.readConstant);
    EXPECT_EQ(t.writeTotalConstant, c.writeConstant);
    EXPECT_EQ(t.readTotalMultiplier + t.writeTotalMultiplier, 0u);
    ASSERT_EQ(ClosePort(), 0);
  }

  ASSERT_EQ(Open(3, 5), 0);
  ASSERT_TRUE(Link().SetPortTimeouts(1000, 90000));
  EXPECT_EQ(Link().Comm->WorkingTimeouts().readTotalConstant, 90000u);
  ASSERT_EQ(ClosePort(), 0);
  EXPECT_EQ(Read(&FakeLine::timeouts).readTotalConstant, 5000u) << "restored as last saved";
  EXPECT_EQ(Read(&FakeLine::timeouts).writeTotalConstant, 3000u);
  EXPECT_EQ(Read(&FakeLine::alive), 0);
  EXPECT_FALSE(Link().SetPortTimeouts(3000, 5000)) << "a closed port has no time-outs to read";
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

  InstallFake();
  Change([](FakeLine& l) { l.lineSettingsResult = kErrorInvalidParameter; });
  EXPECT_EQ(Open(), static_cast<int32_t>(kErrorInvalidParameter));
  EXPECT_EQ(Link().CommErrorText(), Cp1250("Błąd podczas aktualizacji bloku kontroli danych."));
  EXPECT_FALSE(Link().PortIsOpen()) << "a failed open must not keep the port held";
  EXPECT_EQ(Read(&FakeLine::alive), 0);
}

TEST_F(CommOnFakeDevice, SecondOpenIsRefusedCloseTwiceIsHarmlessAndReopenStartsClean) {
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Open(), 5);
  EXPECT_EQ(Link().CommErrorText(), Cp1250("Ten port jest już zainicjowany"));
  EXPECT_EQ(Link().CommErrorCode(), 0u) << "the refusal must not fail the open port's exchanges";
  EXPECT_TRUE(Link().WriteByte(0x1B));
  EXPECT_EQ(Read(&FakeLine::opens), 1);
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
  Change([](FakeLine& l) {
    l.writes = {
        {TransferStatus::Done, 1, 0}, {TransferStatus::Done, 0, 0}, {TransferStatus::Failed, 0, 5}};
    l.reads = {{{TransferStatus::Done, 1, 0}, 0xA5},
               {{TransferStatus::Done, 0, 0}, 0},
               {{TransferStatus::Failed, 0, 6}, 0}};
  });
  const struct {
    bool written;
    const char* text;
    uint32_t code;
  } writes[] = {{true, "", 0},
                {false, "Timeout zapisu.", 0},
                {false, "Niepoprawny zapis do portu.", 5}},
    reads[] = {{true, "", 0}, {false, "Timeout odczytu.", 0}, {false, "Niepoprawny odczyt.", 6}};
  for (const auto& w : writes) {
    EXPECT_EQ(Link().WriteByte(0x10), w.written) << w.text;
    EXPECT_EQ(Link().TransferFailed() ? Link().CommErrorText() : "", w.text);
    EXPECT_EQ(w.code == 0 ? 0u : Link().CommErrorCode(), w.code);
  }
  EXPECT_EQ(Read(&FakeLine::written), std::vector<uint8_t>{0x10});
  for (const auto& r : reads) {
    uint8_t byte = 0x77;
    EXPECT_EQ(Link().ReadByte(byte), r.written) << r.text;
    EXPECT_EQ(byte, r.written ? 0xA5 : 0x77) << "a failed read leaves the caller's byte alone";
    EXPECT_EQ(Link().TransferFailed() ? Link().CommErrorText() : "", r.text);
    EXPECT_EQ(r.code == 0 ? 0u : Link().CommErrorCode(), r.code);
  }
}

TEST_F(CommOnFakeDevice, CloseReleasesAWaitingCallerAndLaterTransfersFailAtOnce) {
  ASSERT_EQ(Open(0, 0), 0);  // no write time-out: only the abort can end this write
  Change([](FakeLine& l) { l.blockWrites = true; });
  auto closer = std::async(std::launch::async, [this] {
    WaitForAny({&line->writeBlocked}, 5000);
    return ClosePort();
  });
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(closer.get(), 0);
  EXPECT_FALSE(Link().PortIsOpen());

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Link().WriteByte(0x1B));
  uint8_t byte = 0;
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(CommOnFakeDevice, PurgeDiscardsInputOnlyWhenOutputHasDrained) {
  ASSERT_EQ(Open(), 0);
  Link().PurgePort();
  Change([](FakeLine& l) { l.purgeOutputResult = 110; });
  Link().PurgePort();
  EXPECT_EQ(Read(&FakeLine::purges), (std::vector<std::string>{"output", "input", "output"}));
}

// Line errors come from the event thread; the scripted line of the driver's tests raises them.
TEST(CommLineErrors, AreRecordedByTheCallerAndSurviveUntilReopen) {
  const auto line = std::make_shared<testing::ScriptedLine>();
  testing::ScriptedPort port(line);
  const auto raise = [&](uint32_t errors) {
    line->RaiseLineError(errors);
    // Wait until the event thread has handed the event over to the caller's thread.
    ASSERT_EQ(WaitForAny({&Link().Queue().Pending()}, 5000), 0);
  };
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
    ASSERT_EQ(OpenPort(7, 19200, 3, 5), 0);
    raise(c.errors);
    EXPECT_EQ(Link().CommErrorCode(), 0u) << "recorded only when the caller serves the hand-over";
    EXPECT_TRUE(Link().WriteByte(0x1B)) << "the byte itself still moves";
    EXPECT_EQ(Link().CommErrorCode(), c.code);
    EXPECT_EQ(Link().CommErrorText(), Cp1250(c.text));
    EXPECT_TRUE(Link().WriteByte(0x1B));
    EXPECT_EQ(Link().CommErrorCode(), c.code) << "a line error stays while the port is open";
    ASSERT_EQ(ClosePort(), 0);
  }
  ASSERT_EQ(OpenPort(7, 19200, 3, 5), 0);
  EXPECT_EQ(Link().CommErrorCode(), 0u);

  raise(kLineFraming);
  EXPECT_EQ(ClosePort(), 0) << "close never waits for a hand-over nobody served";
  EXPECT_FALSE(Link().Queue().Pending().IsSet());
}

}  // namespace
}  // namespace kestradr
