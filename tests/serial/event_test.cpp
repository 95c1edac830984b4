// Manual-reset events and WaitForAny: the semantics the port's hand-over relies on.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <poll.h>
#endif

#include "event.hpp"
#include "os_error.hpp"
#include "serial_device.hpp"

namespace kestradr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(Event, StaysSignalledUntilReset) {
  Event event;
  EXPECT_TRUE(event.Valid());
  EXPECT_FALSE(event.IsSet());
  ASSERT_TRUE(event.Set());
  ASSERT_TRUE(event.Set());  // setting twice is still one signalled state
  EXPECT_TRUE(event.IsSet());
  EXPECT_EQ(WaitForAny({&event}, 0), 0);
  EXPECT_EQ(WaitForAny({&event}, 0), 0) << "a wait must not consume a manual-reset event";
  ASSERT_TRUE(event.Reset());
  EXPECT_FALSE(event.IsSet());
  EXPECT_TRUE(event.Reset()) << "resetting an unsignalled event succeeds";
  EXPECT_EQ(WaitForAny({&event}, 0), kWaitTimeout);
  EXPECT_TRUE(Event(true).IsSet());
}

TEST(WaitForAny, ReturnsTheLowestSignalledIndex) {
  Event first, second, third;
  third.Set();
  second.Set();
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), 1);
  first.Set();
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), 0);
}

TEST(WaitForAny, TimesOutAfterRoughlyTheTimeout) {
  Event event;
  const auto start = Clock::now();
  EXPECT_EQ(WaitForAny({&event}, 50), kWaitTimeout);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, milliseconds(45));
  EXPECT_LT(waited, milliseconds(2000));
}

TEST(WaitForAny, NullOrInvalidHandleFailsWithBadHandle) {
  Event event(true);
  ClearLastOsError();
  EXPECT_EQ(WaitForAny({&event, nullptr}, 0), kWaitFailed);
  EXPECT_EQ(LastOsError(), kErrorInvalidHandle);
  ClearLastOsError();
  EXPECT_EQ(WaitForAny({nullptr}), kWaitFailed) << "must not wait forever on nothing";
  EXPECT_EQ(LastOsError(), kErrorInvalidHandle);
}

TEST(Event, SuccessLeavesTheCallersErrorValueAlone) {
  // The serial layer records "the OS error of that moment"; an unsignalled Reset must
  // not leave an error behind as if something had failed.
  Event event;
  ClearLastOsError();
  ASSERT_TRUE(event.Reset());
  ASSERT_TRUE(event.Set());
  ASSERT_TRUE(event.Set());
  EXPECT_EQ(LastOsError(), 0u);
}

TEST(WaitForAny, AWakeUndoneByAResetIsNoSignal) {
  // The first wait sleeps and is woken through the kernel object; the Reset that follows
  // finds nobody asleep and leaves that object as it is for the next sleeper to settle.
  Event event;
  std::thread signaller([&] {
    std::this_thread::sleep_for(milliseconds(20));
    event.Set();
  });
  EXPECT_EQ(WaitForAny({&event}, 5000), 0);
  signaller.join();
  ASSERT_TRUE(event.Reset());
  EXPECT_EQ(WaitForAny({&event}, 30), kWaitTimeout);
  EXPECT_EQ(WaitForAny({&event}, 30, 50), kWaitTimeout);
  std::thread again([&] {
    std::this_thread::sleep_for(milliseconds(20));
    event.Set();
  });
  EXPECT_EQ(WaitForAny({&event}, 5000), 0) << "a later Set must still wake a sleeper";
  again.join();
}

#ifndef _WIN32
// The device code polls a handle together with the port: once given out, the handle
// must be readable exactly while the event is signalled, whatever happened before.
TEST(Event, AHandleGivenOutFollowsEveryChange) {
  const auto readable = [](std::intptr_t handle) {
    pollfd fd{static_cast<int>(handle), POLLIN, 0};
    return poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN) != 0;
  };
  Event event;
  ASSERT_TRUE(event.Set());  // set while nobody sleeps on it
  const std::intptr_t handle = event.NativeHandle();
  EXPECT_TRUE(readable(handle));
  ASSERT_TRUE(event.Reset());
  EXPECT_FALSE(readable(handle));
  ASSERT_TRUE(event.Set());
  EXPECT_TRUE(readable(handle));
  ASSERT_TRUE(event.Reset());
  EXPECT_FALSE(readable(event.NativeHandle()));
}
#endif

// The hand-over pattern of the port, many times over between two threads: one side
// requests and waits for "idle", the other waits for the request, resets it and answers.
// A wait that came back without its event set, or a lost signal, ends in a time-out.
// Each side either watches first or sleeps at once, in every combination, so a Set
// meets both a watching and a sleeping waiter.
TEST(WaitForAny, PingPongHandOverNeverLosesOrInventsASignal) {
  for (const auto& spins :
       {std::pair{0, 0}, std::pair{50, 50}, std::pair{50, 0}, std::pair{0, 50}}) {
    const int spin = spins.first;
    const int workerSpin = spins.second;
    Event request;
    Event idle(true);
    Event stop;
    int served = 0;
    std::thread worker([&] {
      for (;;) {
        const int index = WaitForAny({&stop, &request}, 5000, workerSpin);
        if (index != 1) return;
        ASSERT_TRUE(request.IsSet());
        request.Reset();
        ++served;
        idle.Set();
      }
    });
    for (int i = 0; i < 2000; ++i) {
      ASSERT_EQ(WaitForAny({&idle}, 5000, spin), 0)
          << "spins " << spin << "/" << workerSpin << ", round " << i;
      idle.Reset();
      request.Set();
      ASSERT_EQ(WaitForAny({&idle}, 5000, spin), 0)
          << "spins " << spin << "/" << workerSpin << ", round " << i;
    }
    stop.Set();
    worker.join();
    EXPECT_EQ(served, 2000) << "spins " << spin << "/" << workerSpin;
    EXPECT_FALSE(request.IsSet());
  }
}

}  // namespace
}  // namespace kestradr
