// Reopening a lost printer: the back-off between attempts, and a waiting request that
// shortens it.
#include "printer_session.hpp"

#include <gtest/gtest.h>

#include "fake_printer.hpp"

namespace tauravatd {
namespace {

using namespace std::chrono_literals;
using testing::FakeDriver;

// Time left until the next attempt, rounded to whole seconds (the steps are seconds apart).
std::chrono::seconds Wait(const PrinterSession& session) {
  return std::chrono::round<std::chrono::seconds>(session.NextAttempt() -
                                                  PrinterSession::Clock::now());
}

TEST(PrinterSessionTest, EachFailureDoublesTheWaitUpToTheLongest) {
  FakeDriver driver;
  auto printer = driver.Add("/dev/fake0");
  PrinterSession session(driver.MakeBackend({"till1", "/dev/fake0"}), Backoff{1s, 5s});
  printer->Set(&testing::FakeState::reachable, false);
  EXPECT_EQ(session.EnsureOpen(false), 2);
  EXPECT_EQ(Wait(session), 1s);
  for (const auto wait : {2s, 4s, 5s, 5s}) {
    session.Lost(21);
    EXPECT_EQ(Wait(session), wait);
  }
  EXPECT_EQ(session.LastFault(), 21);

  // Before its time an idle attempt does not touch the port; a request waits only for
  // the first step since the last attempt.
  printer->Set(&testing::FakeState::reachable, true);
  const int opens = printer->State().opens;
  EXPECT_EQ(session.EnsureOpen(false), 21);
  EXPECT_EQ(session.EnsureOpen(true), 21);
  EXPECT_EQ(printer->State().opens, opens);
  EXPECT_FALSE(session.IsOpen());

  // A request after a lost line (no attempt since) opens at once; once open, the next
  // failure starts from the first step again.
  PrinterSession quick(driver.MakeBackend({"till1", "/dev/fake0"}), Backoff{1s, 60s});
  for (int i = 0; i < 4; ++i) quick.Lost(21);
  EXPECT_EQ(Wait(quick), 8s);
  EXPECT_EQ(quick.EnsureOpen(true), 0);
  EXPECT_TRUE(quick.IsOpen());
  quick.Lost(21);
  EXPECT_EQ(Wait(quick), 1s);
}

}  // namespace
}  // namespace tauravatd
