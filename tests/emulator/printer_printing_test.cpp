// The print mechanism as the status bytes show it: a printout takes its polls or its
// time, waits in memory before it starts, stops when the paper runs out and goes on only
// when resumed.
#include <gtest/gtest.h>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

constexpr uint8_t kPrinting = 0x01;
constexpr uint8_t kNoPaper = 0x02;
constexpr uint8_t kStopped = 0x40;
constexpr uint8_t kWaiting = 0x02;  // in 0x94

PrinterConfig Timed(int pollsPerLine, int startPolls = 0) {
  PrinterConfig c = ProgrammedConfig(3);
  c.timing.pollsPerLine = pollsPerLine;
  c.timing.startPolls = startPolls;
  return c;
}

// Polls both status bytes until the printer is idle; false when it is not within
// `budget` rounds.
bool PollUntilIdle(Printer& p, int budget = 500) {
  for (int round = 0; round < budget; ++round) {
    const bool waiting = Status(p, cmd::kMemoryStatus) & kWaiting;
    if (!waiting && !(Status(p, cmd::kPrintStatus) & (kPrinting | kStopped))) return true;
  }
  return false;
}

TEST(Printing, PrintoutLastsTheConfiguredNumberOfPollsOrTime) {
  Printer p(Timed(2));
  Send(p, cmd::kLockedNamesReport);  // four lines
  EXPECT_EQ(p.Paper().PrintedLines(), 0u);
  int polls = 0;
  while (Status(p, cmd::kPrintStatus) & kPrinting) ++polls;
  EXPECT_EQ(polls, 8);
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);

  PrinterConfig c = Timed(0);
  c.timing.timePerLine = std::chrono::milliseconds(100);
  Printer timed(c);
  Send(timed, cmd::kLockedNamesReport);
  timed.Advance(std::chrono::milliseconds(250));
  EXPECT_EQ(timed.Paper().PrintedLines(), 2u);
  EXPECT_TRUE(timed.PrintStatus() & kPrinting);
  timed.Advance(std::chrono::milliseconds(150));
  EXPECT_EQ(timed.Paper().PrintedLines(), 4u);
  EXPECT_FALSE(timed.PrintStatus() & kPrinting);
}

TEST(Printing, DocumentWaitsInMemoryThenStartsByItselfOrOnResume) {
  Printer p(Timed(1, 3));
  Send(p, cmd::kLockedNamesReport);
  EXPECT_EQ(Status(p, cmd::kMemoryStatus) & kWaiting, kWaiting);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & kPrinting, 0) << "waiting, not printing";
  EXPECT_TRUE(PollUntilIdle(p));
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);

  Send(p, cmd::kLockedNamesReport);
  EXPECT_EQ(Status(p, cmd::kMemoryStatus) & kWaiting, kWaiting);
  Send(p, cmd::kResume);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & kPrinting, kPrinting) << "resume starts it at once";
}

TEST(Printing, PaperRunsOutMidPrintoutAndTheRestWaitsForResume) {
  PrinterConfig c = Timed(1);
  c.paperEndsAfterLines = 2;
  Printer p(c);
  Send(p, cmd::kLockedNamesReport);
  EXPECT_FALSE(PollUntilIdle(p, 20));
  EXPECT_EQ(p.Paper().PrintedLines(), 2u);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & (kNoPaper | kStopped | kPrinting),
            kNoPaper | kStopped | kPrinting);

  p.SetPaper(true);
  EXPECT_FALSE(PollUntilIdle(p, 20));
  EXPECT_EQ(p.Paper().PrintedLines(), 2u) << "paper back, but stopped until resumed";
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & (kStopped | kPrinting), kStopped | kPrinting);

  Send(p, cmd::kResume);
  EXPECT_TRUE(PollUntilIdle(p));
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);
  EXPECT_EQ(p.Paper().Lines().back(), "");
}

// However the timing is set, polling (and a resume where the printout waits) ends idle
// with the whole document on paper.
TEST(Printing, EveryTimingEndsIdleWithTheWholeDocument) {
  for (int startPolls : {0, 4}) {
    for (int polls : {0, 1, 3}) {
      for (bool resume : {false, true}) {
        Printer p(Timed(polls, startPolls));
        Send(p, cmd::kLockedNamesReport);
        if (resume) Send(p, cmd::kResume);
        EXPECT_TRUE(PollUntilIdle(p)) << "start " << startPolls << " polls " << polls;
        EXPECT_EQ(p.Paper().PrintedLines(), 4u) << "start " << startPolls << " polls " << polls;
      }
    }
  }
}

}  // namespace
}  // namespace kestra::emu::test
