// When a printer's session tries its port again after failures.
#include "printer_session.hpp"

#include <gtest/gtest.h>

#include "emulated_service.hpp"
#include "handle_backend.hpp"

namespace tauravatd::testing {
namespace {

using namespace std::chrono_literals;

// Time left until the next attempt, rounded to whole seconds (the steps are seconds apart).
std::chrono::seconds Wait(const PrinterSession& session) {
  return std::chrono::round<std::chrono::seconds>(session.NextAttempt() -
                                                  PrinterSession::Clock::now());
}

TEST(PrinterSession, EachFailureDoublesTheWaitUpToTheLongest) {
  const std::unique_ptr<Driver> driver = MakeHandleDriver();
  PrinterSession session(driver->MakeBackend({"till1", "/nonexistent/tty"}), Backoff{1s, 5s});
  const int32_t missing = session.EnsureOpen(false);
  ASSERT_NE(missing, 0);
  ASSERT_NE(missing, 21);
  EXPECT_EQ(Wait(session), 1s);
  for (const auto wait : {2s, 4s, 5s, 5s}) {
    session.Lost(21);
    EXPECT_EQ(Wait(session), wait);
  }
  EXPECT_EQ(session.LastFault(), 21);
  // Before its time an idle attempt does not touch the port (which would answer `missing`);
  // a request waits only for the first step since the last attempt.
  EXPECT_EQ(session.EnsureOpen(false), 21);
  EXPECT_EQ(session.EnsureOpen(true), 21);
  EXPECT_FALSE(session.IsOpen());
  // A request after a lost line (no attempt since) opens at once; once open, the next
  // failure starts from the first step again.
  kestra::emu::PtyServer printer(Luno());
  printer.Start();
  PrinterSession quick(driver->MakeBackend({"till1", printer.SlavePath()}), Backoff{1s, 60s});
  for (int i = 0; i < 4; ++i) quick.Lost(21);
  EXPECT_EQ(Wait(quick), 8s);
  EXPECT_EQ(quick.EnsureOpen(true), 0);
  EXPECT_TRUE(quick.IsOpen());
  quick.Lost(21);
  EXPECT_EQ(Wait(quick), 1s);
}

}  // namespace
}  // namespace tauravatd::testing
