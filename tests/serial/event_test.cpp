// The ground of the port's hand-over: manual-reset events, WaitForAny, and when a waiting
// thread watches before it sleeps. Nothing here opens a port, so the port layer's state
// before any open in the process is checked here too.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <poll.h>
#endif

#include "comm.hpp"
#include "comm_spin.hpp"
#include "event.hpp"
#include "os_error.hpp"
#include "printer.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(Event, StaysSignalledUntilResetAndSuccessLeavesNoOsError) {
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
}

TEST(WaitForAny, LowestSignalledIndexTimeoutAndInvalidHandles) {
  Event first, second, third;
  third.Set();
  second.Set();
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), 1);
  first.Set();
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), 0);

  Event unset;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForAny({&unset}, 50), kWaitTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(45));

  ClearLastOsError();
  EXPECT_EQ(WaitForAny({&first, nullptr}, 0), kWaitFailed);
  EXPECT_EQ(LastOsError(), kErrorInvalidHandle);
  ClearLastOsError();
  EXPECT_EQ(WaitForAny({nullptr}), kWaitFailed) << "must not wait forever on nothing";
  EXPECT_EQ(LastOsError(), kErrorInvalidHandle);
}

// A sleeper woken through the kernel object, then a Reset that finds nobody asleep: the
// event is unsignalled for the next waiter, and a later Set still wakes one.
TEST(WaitForAny, AWakeUndoneByAResetIsNoSignal) {
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
}

#ifndef _WIN32
// The device code polls a handle together with the port: it must be readable exactly
// while the event is signalled, including a Set made before the handle was given out.
TEST(Event, AHandleGivenOutFollowsEveryChange) {
  const auto readable = [](std::intptr_t handle) {
    pollfd fd{static_cast<int>(handle), POLLIN, 0};
    return poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN) != 0;
  };
  Event event;
  ASSERT_TRUE(event.Set());
  const std::intptr_t handle = event.NativeHandle();
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(readable(handle));
    ASSERT_TRUE(event.Reset());
    EXPECT_FALSE(readable(handle));
    ASSERT_TRUE(event.Set());
  }
}
#endif

// The port's hand-over many times over between two threads, each side watching first or
// sleeping at once in every combination: a lost or invented signal ends in a time-out.
TEST(WaitForAny, PingPongHandOverNeverLosesOrInventsASignal) {
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

constexpr microseconds kWindow{200};
constexpr microseconds kNone{0};

TEST(AnswerHistory, WatchesUntilTwoLateAnswersInARowAndAFastOneTurnsItBackOn) {
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
}

TEST(WatchMark, TellsWhetherTheOtherThreadStillWatches) {
  WatchMark mark;
  EXPECT_FALSE(mark.Watching()) << "a thread that never watched is asleep";
  mark.Start(std::chrono::hours(1));
  EXPECT_TRUE(mark.Watching());
  mark.Start(kNone);
  EXPECT_FALSE(mark.Watching()) << "a thread about to sleep at once is not watching";
  mark.Start(microseconds(1));
  std::this_thread::sleep_for(milliseconds(2));
  EXPECT_FALSE(mark.Watching()) << "a watch that ran out means the thread went to sleep";
}

// No hand-over events exist before the first open: a transfer fails with the invalid
// handle at once, and closing or purging nothing is harmless.
TEST(CommBeforeAnyOpen, CloseSucceedsAndTransfersFailWithTheInvalidHandle) {
  SerialLink& link = DefaultPrinter().Link;
  EXPECT_FALSE(link.PortIsOpen());
  EXPECT_EQ(ClosePort(), 0);
  link.PurgePort();
  EXPECT_FALSE(link.WriteByte(0x1B));
  EXPECT_EQ(link.CommErrorCode(), kErrorInvalidHandle);
  EXPECT_FALSE(link.CommErrorText().empty());
  EXPECT_TRUE(link.TransferFailed());
  uint8_t byte = 0x33;
  EXPECT_FALSE(link.ReadByte(byte));
  EXPECT_TRUE(link.TransferFailed());
  EXPECT_EQ(byte, 0x33);
}

}  // namespace
}  // namespace kestradr
