// Manual-reset events and WaitForAny: the semantics the port's hand-over relies on.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

// The hand-over pattern of the port, many times over between two threads: one side
// requests and waits for "idle", the other waits for the request, resets it and answers.
// A wait that came back without its event set, or a lost signal, ends in a time-out.
TEST(WaitForAny, PingPongHandOverNeverLosesOrInventsASignal) {
  for (const int spin : {0, 50}) {
    Event request;
    Event idle(true);
    Event stop;
    int served = 0;
    std::thread worker([&] {
      for (;;) {
        const int index = WaitForAny({&stop, &request}, 5000, spin);
        if (index != 1) return;
        ASSERT_TRUE(request.IsSet());
        request.Reset();
        ++served;
        idle.Set();
      }
    });
    for (int i = 0; i < 2000; ++i) {
      ASSERT_EQ(WaitForAny({&idle}, 5000, spin), 0) << "spin " << spin << ", round " << i;
      idle.Reset();
      request.Set();
      ASSERT_EQ(WaitForAny({&idle}, 5000, spin), 0) << "spin " << spin << ", round " << i;
    }
    stop.Set();
    worker.join();
    EXPECT_EQ(served, 2000) << "spin " << spin;
    EXPECT_FALSE(request.IsSet());
  }
}

}  // namespace
}  // namespace kestradr
