// The serial layer: events and the hand-over's waits, the port object over a scripted
// device, and (POSIX) the device over real pseudo-terminals with the test as the far end.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/file.h>
#include <sys/resource.h>

#include "pty_pair.hpp"
#endif

#include "comm.hpp"
#include "comm_port.hpp"
#include "comm_spin.hpp"
#include "cp1250.hpp"
#include "event.hpp"
#include "in_memory_device.hpp"
#include "main_thread_queue.hpp"
#include "os_error.hpp"
#include "printer.hpp"
#include "printer_internals.hpp"
#include "scripted_line.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

SerialLink& Link() {
  return PrinterInternals(DefaultPrinter()).Link();
}

// First in the program: before the first open no hand-over events exist.
TEST(CommBeforeAnyOpen, CloseSucceedsAndTransfersFailWithTheInvalidHandle) {
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_EQ(ClosePort(), 0);
  Link().PurgePort();
  EXPECT_FALSE(Link().WriteByte(0x1B));
  EXPECT_EQ(Link().CommErrorCode(), kErrorInvalidHandle);
  EXPECT_FALSE(Link().CommErrorText().empty());
  EXPECT_TRUE(Link().TransferFailed());
  uint8_t byte = 0x33;
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(byte, 0x33);
}

TEST(Event, StaysSignalledUntilResetAndWaitsTakeTheLowestIndexTimeOutOrRefuseNulls) {
  Event event;
  EXPECT_TRUE(event.Valid());
  EXPECT_FALSE(event.IsSet());
  ClearLastOsError();
  ASSERT_TRUE(event.Reset());  // an unsignalled Reset succeeds and records nothing
  ASSERT_TRUE(event.Set());
  ASSERT_TRUE(event.Set());
  EXPECT_EQ(LastOsError(), 0u);
  EXPECT_EQ(WaitForAny({&event}, 0), 0);
  EXPECT_EQ(WaitForAny({&event}, 0), 0) << "a wait must not consume a manual-reset event";
  ASSERT_TRUE(event.Reset());
  EXPECT_EQ(WaitForAny({&event}, 0), kWaitTimeout);
  EXPECT_TRUE(Event(true).IsSet());
  Event first, second, third;
  third.Set();
  second.Set();
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), 1);
  first.Set();
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), 0);
  const auto start = Clock::now();
  EXPECT_EQ(WaitForAny({&event}, 50), kWaitTimeout);
  EXPECT_GE(Clock::now() - start, milliseconds(45));
  ClearLastOsError();
  EXPECT_EQ(WaitForAny({&first, nullptr}, 0), kWaitFailed);
  EXPECT_EQ(LastOsError(), kErrorInvalidHandle);
  ClearLastOsError();
  EXPECT_EQ(WaitForAny({nullptr}), kWaitFailed) << "must not wait forever on nothing";
  EXPECT_EQ(LastOsError(), kErrorInvalidHandle);
}

// A sleeper woken through the kernel object, then a Reset that finds nobody asleep.
TEST(WaitForAny, AWakeUndoneByAResetIsNoSignalAndAHandOverNeverLosesOrInventsOne) {
  Event event;
  for (int round = 0; round < 2; ++round) {
    std::thread signaller([&] {
      std::this_thread::sleep_for(milliseconds(20));
      event.Set();
    });
    EXPECT_EQ(WaitForAny({&event}, 5000), 0) << round;
    signaller.join();
    ASSERT_TRUE(event.Reset());
    EXPECT_EQ(WaitForAny({&event}, 30), kWaitTimeout);
    EXPECT_EQ(WaitForAny({&event}, 30, 50), kWaitTimeout);
  }
  // Each side watching first or sleeping at once: a lost or invented signal ends in a time-out.
  for (const auto& [spin, workerSpin] :
       std::initializer_list<std::pair<int, int>>{{0, 0}, {50, 50}, {50, 0}, {0, 50}}) {
    Event request, idle(true), stop;
    int served = 0;
    std::thread worker([&, workerSpin = workerSpin] {
      while (WaitForAny({&stop, &request}, 5000, workerSpin) == 1) {
        ASSERT_TRUE(request.IsSet());
        request.Reset();
        ++served;
        idle.Set();
      }
    });
    for (int i = 0; i < 2000; ++i) {
      ASSERT_EQ(WaitForAny({&idle}, 5000, spin), 0) << spin << "/" << workerSpin << " #" << i;
      idle.Reset();
      request.Set();
      ASSERT_EQ(WaitForAny({&idle}, 5000, spin), 0) << spin << "/" << workerSpin << " #" << i;
    }
    stop.Set();
    worker.join();
    EXPECT_EQ(served, 2000) << spin << "/" << workerSpin;
  }
}

constexpr microseconds kWindow{200}, kNone{0};

TEST(CommSpin, WatchesUntilTwoLateAnswersInARowAndTheMarkTellsWhoWatches) {
  AnswerHistory history(kWindow);
  EXPECT_EQ(history.NextWatch(), kWindow) << "a new port watches for its first answers";
  history.Ended(kWindow + microseconds(1));
  EXPECT_EQ(history.NextWatch(), kWindow) << "one late answer may be a preemption";
  history.Ended(microseconds(5));
  history.Ended(kWindow + microseconds(1));
  EXPECT_EQ(history.NextWatch(), kWindow) << "late answers count only in a row";
  history.Ended(milliseconds(3));
  EXPECT_EQ(history.NextWatch(), kNone) << "two late answers in a row: sleep at once";
  history.Ended(kWindow);  // came that fast though the caller slept
  EXPECT_EQ(history.NextWatch(), kWindow);
  history.Ended(milliseconds(2));
  history.Ended(milliseconds(2));
  int watched = 0;  // asleep, a watch is still tried once in so many waits
  for (int i = 0; i < 10 * AnswerHistory::kTrialEvery; ++i)
    watched += history.NextWatch() > kNone ? 1 : 0;
  EXPECT_EQ(watched, 10);
  WatchMark mark;  // tells whether the other thread still watches
  EXPECT_FALSE(mark.Watching()) << "a thread that never watched is asleep";
  mark.Start(std::chrono::hours(1));
  EXPECT_TRUE(mark.Watching());
  mark.Start(kNone);
  EXPECT_FALSE(mark.Watching()) << "a thread about to sleep at once is not watching";
  mark.Start(microseconds(1));
  std::this_thread::sleep_for(milliseconds(2));
  EXPECT_FALSE(mark.Watching()) << "a watch that ran out means the thread went to sleep";
}

// What the test scripts and sees of the device, shared with the port's threads: all under the lock.
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

class CommOnFakeDevice : public ::testing::Test {
 protected:
  void SetUp() override { InstallFake(); }
  void TearDown() override {
    ClosePort();
    SetDeviceOpener({});
  }
  void InstallFake() {
    SetDeviceOpener([line = line](const PortAddress&) {
      line->With([](FakeLine& l) { return ++l.opens; });
      return DeviceOpenResult{.device = std::make_unique<FakeDevice>(line)};
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

TEST_F(CommOnFakeDevice, OpenSetsTheLineAndTimeoutsCloseRestoresThemAndFailuresHoldNothing) {
  // {write s, read s} -> {interval, read, write constants}; 0 s: return at once.
  for (const auto& [write, read, interval, readConstant, writeConstant] :
       {std::tuple<uint16_t, uint16_t, uint32_t, uint32_t, uint32_t>{3, 5, 5000, 5000, 3000},
        {0, 0, kMaxTimeout, 0, 0}}) {
    ASSERT_EQ(Open(write, read), 0);
    EXPECT_TRUE(Link().PortIsOpen());
    EXPECT_EQ(Link().Comm->PortName(), "Com7");
    EXPECT_EQ(Read(&FakeLine::baud), 19200u);
    const CommTimeouts t = Read(&FakeLine::timeouts);
    EXPECT_EQ(std::tuple(t.readInterval, t.readTotalConstant, t.writeTotalConstant),
              std::tuple(interval, readConstant, writeConstant));
    EXPECT_EQ(t.readTotalMultiplier + t.writeTotalMultiplier, 0u);
    ASSERT_EQ(ClosePort(), 0);
  }
  ASSERT_EQ(Open(3, 5), 0);
  ASSERT_TRUE(Link().SetPortTimeouts(1000, 90000));
  EXPECT_EQ(Link().Comm->WorkingTimeouts().readTotalConstant, 90000u);
  ASSERT_EQ(ClosePort(), 0);
  const CommTimeouts restored = Read(&FakeLine::timeouts);  // as last saved
  EXPECT_EQ(std::pair(restored.readTotalConstant, restored.writeTotalConstant),
            std::pair(5000u, 3000u));
  EXPECT_EQ(Read(&FakeLine::alive), 0);
  EXPECT_FALSE(Link().SetPortTimeouts(3000, 5000)) << "a closed port has no time-outs to read";
  EXPECT_EQ(Link().CommErrorText(), Cp1250(" Błąd odczytu aktualnych czasów."));
  EXPECT_EQ(Link().CommErrorCode(), kErrorInvalidHandle);
  const char* const badHandle = "Niepoprawny uchwyt do urządzenia, proces przerwany.";
  // Os error 0: opened, but not a character device; never "0" without a port.
  for (const auto& [osError, text] :
       {std::pair<uint32_t, const char*>{2, "System nie potrafi znależć danego urządzenia."},
        {5, "Zabroniony dostęp do urządzenia."},
        {6, badHandle},
        {110, "Błędnie określone urządzenie."},
        {0, badHandle}}) {
    SetDeviceOpener([osError](const PortAddress&) {
      return DeviceOpenResult{.device = {}, .osError = osError, .notCharacterDevice = osError == 0};
    });
    const int32_t expected = osError == 0 ? 6 : static_cast<int32_t>(osError);
    EXPECT_EQ(Open(), expected) << "os error " << osError;
    EXPECT_EQ(Link().CommErrorText(), Cp1250(text)) << "os error " << osError;
    EXPECT_EQ(Link().CommErrorCode(), static_cast<uint32_t>(expected));
    EXPECT_FALSE(Link().PortIsOpen());
  }
  InstallFake();
  Change([](FakeLine& l) { l.lineSettingsResult = kErrorInvalidParameter; });
  EXPECT_EQ(Open(), static_cast<int32_t>(kErrorInvalidParameter));
  EXPECT_EQ(Link().CommErrorText(), Cp1250("Błąd podczas aktualizacji bloku kontroli danych."));
  EXPECT_FALSE(Link().PortIsOpen()) << "a failed open must not keep the port held";
  EXPECT_EQ(Read(&FakeLine::alive), 0);
}

TEST_F(CommOnFakeDevice, SecondOpenIsRefusedCloseTwiceIsHarmlessReopenStartsCleanAndPurges) {
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
  // A purge discards input only when output has drained.
  Link().PurgePort();
  Change([](FakeLine& l) { l.purgeOutputResult = 110; });
  Link().PurgePort();
  EXPECT_EQ(Read(&FakeLine::purges), (std::vector<std::string>{"output", "input", "output"}));
}

TEST_F(CommOnFakeDevice, OpeningRaisesOnlyWhatThePlatformAllowsALibraryToRaise) {
#ifdef _WIN32
  // Windows: the whole process takes the high priority class.
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
#else
  // Elsewhere the caller keeps its nice value; only the driver's own threads raise theirs.
  errno = 0;
  const int before = getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(errno, 0);
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before);
#endif
}

TEST_F(CommOnFakeDevice, TransfersRecordTheirOutcomeAndCloseReleasesAWaitingCaller) {
  ASSERT_EQ(Open(), 0);
  Change([](FakeLine& l) {
    l.writes = {
        {TransferStatus::Done, 1, 0}, {TransferStatus::Done, 0, 0}, {TransferStatus::Failed, 0, 5}};
    l.reads = {{{TransferStatus::Done, 1, 0}, 0xA5},
               {{TransferStatus::Done, 0, 0}, 0},
               {{TransferStatus::Failed, 0, 6}, 0}};
  });
  const auto expectOutcome = [](const char* text, uint32_t code) {
    EXPECT_EQ(Link().TransferFailed() ? Link().CommErrorText() : "", text);
    EXPECT_EQ(code == 0 ? 0u : Link().CommErrorCode(), code);
  };
  const std::tuple<bool, const char*, uint32_t> writes[] = {
      {true, "", 0}, {false, "Timeout zapisu.", 0}, {false, "Niepoprawny zapis do portu.", 5}};
  const std::tuple<bool, const char*, uint32_t> reads[] = {
      {true, "", 0}, {false, "Timeout odczytu.", 0}, {false, "Niepoprawny odczyt.", 6}};
  for (const auto& [written, text, code] : writes) {
    EXPECT_EQ(Link().WriteByte(0x10), written) << text;
    expectOutcome(text, code);
  }
  EXPECT_EQ(Read(&FakeLine::written), std::vector<uint8_t>{0x10});
  for (const auto& [read, text, code] : reads) {
    uint8_t byte = 0x77;
    EXPECT_EQ(Link().ReadByte(byte), read) << text;
    EXPECT_EQ(byte, read ? 0xA5 : 0x77) << "a failed read leaves the caller's byte alone";
    expectOutcome(text, code);
  }
  ASSERT_EQ(ClosePort(), 0);
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
  const auto start = Clock::now();
  EXPECT_FALSE(Link().WriteByte(0x1B));
  uint8_t byte = 0;
  EXPECT_FALSE(Link().ReadByte(byte));
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

// Line errors come from the event thread; the scripted line of the driver's tests raises them.
TEST(CommLineErrors, AreRecordedByTheCallerAndSurviveUntilReopen) {
  const auto line = std::make_shared<testing::ScriptedLine>();
  testing::ScriptedPort port(line);
  const auto raise = [&](uint32_t errors) {
    line->RaiseLineError(errors);  // and wait until the event thread has handed it over
    ASSERT_EQ(WaitForAny({&Link().Queue().Pending()}, 5000), 0);
  };
  // {raised, recorded, text}: with several raised, one takes precedence.
  const std::tuple<uint32_t, uint32_t, const char*> cases[] = {
      {kLineFraming, kLineFraming, "Urządzenie wykryło błąd ramki (CE_FRAME)."},
      {kLineBreak | kLineOverrun, kLineOverrun, "Zgubiono znaki (CE_OVERRUN)."},
      {kLineInputOverflow, kLineInputOverflow, "Zapełniony bufor wejściowy (CE_RXOVER)."},
      {kLineFraming | kLineParity, kLineParity,
       "Urządzenie wykryło błąd parzystości (CE_RXPARITY)."},
      {kLineBreak, kLineBreak, "Urządzenie wykryło stan BREAK (CE_BREAK)."},
      {kLineParity | kLineOutputFull, kLineOutputFull, "Zapełniony bufor wyjściowy (CE_TXFULL)."}};
  for (const auto& [errors, code, text] : cases) {
    ASSERT_EQ(OpenPort(7, 19200, 3, 5), 0);
    raise(errors);
    EXPECT_EQ(Link().CommErrorCode(), 0u) << "recorded only when the caller serves the hand-over";
    EXPECT_TRUE(Link().WriteByte(0x1B)) << "the byte itself still moves";
    EXPECT_EQ(Link().CommErrorCode(), code);
    EXPECT_EQ(Link().CommErrorText(), Cp1250(text));
    EXPECT_TRUE(Link().WriteByte(0x1B));
    EXPECT_EQ(Link().CommErrorCode(), code) << "a line error stays while the port is open";
    ASSERT_EQ(ClosePort(), 0);
  }
  ASSERT_EQ(OpenPort(7, 19200, 3, 5), 0);
  EXPECT_EQ(Link().CommErrorCode(), 0u);
  raise(kLineFraming);
  EXPECT_EQ(ClosePort(), 0) << "close never waits for a hand-over nobody served";
  EXPECT_FALSE(Link().Queue().Pending().IsSet());
}

#ifndef _WIN32
// The device code polls the handle with the port: readable exactly while the event is set.
TEST(Event, AHandleGivenOutFollowsEveryChange) {
  Event event;
  ASSERT_TRUE(event.Set());  // before the handle is given out
  const int handle = static_cast<int>(event.NativeHandle());
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(testing::PtyPair::Readable(handle, 0));
    ASSERT_TRUE(event.Reset());
    EXPECT_FALSE(testing::PtyPair::Readable(handle, 0));
    ASSERT_TRUE(event.Set());
  }
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
TEST_F(CommOnPty, MissingPlainOrHeldPortsAreRefusedAndAVanishingPeerIsAFailureNotAHang) {
  char name[] = "/tmp/tauravat-not-a-tty-XXXXXX";
  close(mkstemp(name));
  testing::PortPathVariable nowhere(0, "/nonexistent/tauravat-com0");
  testing::PortPathVariable file(202, name);
  EXPECT_EQ(OpenPort(0, 9600, 3, 5), 2);
  EXPECT_EQ(OpenPort(202, 9600, 3, 5), 6);
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_FALSE(PortAvailable(202));
  unlink(name);
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

TEST_F(CommOnPty, LineIsRawEightBitsWithCtsFlowControlAtTheAskedSpeedAndPassesEveryByte) {
  for (const auto& [baud, speed] :
       {std::pair<uint32_t, speed_t>{9600, B9600}, {19200, B19200}, {28800, 0}}) {
    ASSERT_EQ(OpenPort(kPort, baud, 3, 5), 0) << baud << ": " << Link().CommErrorText();
    termios held{};
    ASSERT_EQ(tcgetattr(pty.HeldSlave(), &held), 0);
    EXPECT_EQ(held.c_cflag & (CSIZE | CRTSCTS | CREAD),
              static_cast<tcflag_t>(CS8 | CRTSCTS | CREAD));
    EXPECT_FALSE(held.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(held.c_iflag & (IXON | ICRNL | ISTRIP));
    EXPECT_FALSE(held.c_oflag & OPOST);
    EXPECT_TRUE(speed == 0 || cfgetospeed(&held) == speed) << baud;  // 28800 has no B constant
    ASSERT_EQ(ClosePort(), 0);  // the same pty configured again next round
  }
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

TEST_F(CommOnPty, ReadTimeoutsPurgeAndClose) {
  ASSERT_EQ(OpenPort(kPort, 9600, 3, 1), 0);
  uint8_t byte = 0;
  const auto timedRead = [&] {
    const auto start = Clock::now();
    EXPECT_FALSE(Link().ReadByte(byte));
    return Clock::now() - start;
  };
  const auto waited = timedRead();
  EXPECT_TRUE(Link().TransferFailed());
  EXPECT_EQ(Link().CommErrorText(), "Timeout odczytu.");
  EXPECT_GE(waited, milliseconds(900));
  EXPECT_LT(waited, milliseconds(3000));
  ASSERT_EQ(ClosePort(), 0);
  ASSERT_EQ(OpenPort(kPort, 9600, 3, 0), 0);
  EXPECT_LT(timedRead(), milliseconds(500));
  pty.Send({0x42});
  ASSERT_TRUE(pty.AwaitInput());
  EXPECT_TRUE(Link().ReadByte(byte)) << "a buffered byte is returned at once";
  EXPECT_EQ(byte, 0x42);
  // Neither a purge nor closing at once may drop a byte reported written; a purge does
  // discard input not yet read.
  pty.Send({0x01, 0x02});
  ASSERT_TRUE(pty.AwaitInput());
  const std::vector<uint8_t> sent = {0x1B, 0x30, 0x31, 0x32};
  for (const uint8_t value : sent) ASSERT_TRUE(Link().WriteByte(value));
  Link().PurgePort();
  for (const uint8_t expected : sent) EXPECT_EQ(pty.Receive(), expected) << "purged output";
  EXPECT_FALSE(Link().ReadByte(byte)) << "input pending before the purge is gone";
  for (const uint8_t value : sent) ASSERT_TRUE(Link().WriteByte(value));
  ASSERT_EQ(ClosePort(), 0);  // at once, before the peer has read anything
  for (const uint8_t expected : sent) EXPECT_EQ(pty.Receive(), expected) << "closing dropped it";
}

#endif

}  // namespace
}  // namespace kestradr
