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

// The driver's print supervision, reduced to its decisions: returns 0 when the printer
// is idle, 109 for paper out, -1 when it would still be polling after `budget` rounds.
int Supervise(Printer& p, bool checkBefore, bool skipMemoryStatus, int budget = 500) {
  auto resume = [&]() -> int {
    if (Status(p, cmd::kPrintStatus) & kNoPaper) return 109;
    Send(p, cmd::kResume);
    for (int round = 0; round < budget; ++round) {
      if (Status(p, cmd::kPrintStatus) & kNoPaper) return 109;
      const uint8_t m = Status(p, cmd::kMemoryStatus);
      const uint8_t s = Status(p, cmd::kPrintStatus);
      if (s & kNoPaper) return 109;
      const bool w = m & kWaiting, pr = s & kPrinting, st = s & kStopped;
      if (!w && !pr && !st) return 0;
    }
    return -1;
  };
  if (Status(p, cmd::kPrintStatus) & kNoPaper) return 109;
  for (int round = 0; round < budget; ++round) {
    if (Status(p, cmd::kPrintStatus) & kNoPaper) return 109;
    const uint8_t m = skipMemoryStatus ? 0 : Status(p, cmd::kMemoryStatus);
    const uint8_t s = Status(p, cmd::kPrintStatus);
    if (s & kNoPaper) return 109;
    const bool w = m & kWaiting, pr = s & kPrinting, st = s & kStopped;
    if (!w && !pr && !st) return 0;
    if (pr && st) return resume();  // "011", "111"
    if (w && !pr && !st && checkBefore) return resume();
  }
  return -1;
}

TEST(Printing, PrintoutLastsTheConfiguredNumberOfPolls) {
  Printer p(Timed(2));
  Send(p, cmd::kLockedNamesReport);  // four lines
  EXPECT_EQ(p.Paper().PrintedLines(), 0u);
  int polls = 0;
  while (Status(p, cmd::kPrintStatus) & kPrinting) ++polls;
  EXPECT_EQ(polls, 8);
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);
}

TEST(Printing, PrintoutLastsTheConfiguredTime) {
  PrinterConfig c = Timed(0);
  c.timing.timePerLine = std::chrono::milliseconds(100);
  Printer p(c);
  Send(p, cmd::kLockedNamesReport);
  p.Advance(std::chrono::milliseconds(250));
  EXPECT_EQ(p.Paper().PrintedLines(), 2u);
  EXPECT_TRUE(p.PrintStatus() & kPrinting);
  p.Advance(std::chrono::milliseconds(150));
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);
  EXPECT_FALSE(p.PrintStatus() & kPrinting);
}

TEST(Printing, DocumentWaitsInMemoryThenStartsByItself) {
  Printer p(Timed(1, 3));
  Send(p, cmd::kLockedNamesReport);
  EXPECT_EQ(Status(p, cmd::kMemoryStatus) & kWaiting, kWaiting);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & kPrinting, 0) << "waiting, not printing";
  EXPECT_EQ(Supervise(p, false, false), 0) << "a follow-up poll ends once it has printed";
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
  EXPECT_EQ(Supervise(p, false, true), 109);
  EXPECT_EQ(p.Paper().PrintedLines(), 2u);
  const uint8_t s = Status(p, cmd::kPrintStatus);
  EXPECT_EQ(s & (kNoPaper | kStopped | kPrinting), kNoPaper | kStopped | kPrinting);

  p.SetPaper(true);
  for (int i = 0; i < 5; ++i) Status(p, cmd::kPrintStatus);
  EXPECT_EQ(p.Paper().PrintedLines(), 2u) << "paper back, but stopped until resumed";
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & (kStopped | kPrinting), kStopped | kPrinting);

  EXPECT_EQ(Supervise(p, true, false), 0);
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);
  EXPECT_EQ(p.Paper().Lines().back(), "");
}

TEST(Printing, NoPaperAtAllStopsTheFirstLine) {
  PrinterConfig c = Timed(0);
  c.paperIn = false;
  Printer p(c);
  Send(p, cmd::kLockedNamesReport);
  EXPECT_EQ(Supervise(p, true, false), 109);
  EXPECT_EQ(p.Paper().PrintedLines(), 0u);
  p.SetPaper(true);
  EXPECT_EQ(Supervise(p, true, false), 0);
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);
}

// Every state the printer can be left in must let supervision end, in each of the
// driver's variants (check before a printout, follow one, follow one on the LUNO
// models without the memory status).
TEST(Printing, SupervisionTerminatesFromEveryState) {
  struct Variant {
    bool checkBefore, skipMemory;
  };
  for (const Variant v : {Variant{true, false}, Variant{false, false}, Variant{false, true}}) {
    for (int startPolls : {0, 4}) {
      for (int polls : {0, 1, 3}) {
        Printer p(Timed(polls, startPolls));
        Send(p, cmd::kLockedNamesReport);
        EXPECT_EQ(Supervise(p, v.checkBefore, v.skipMemory), 0)
            << v.checkBefore << v.skipMemory << " start " << startPolls << " polls " << polls;
        EXPECT_EQ(p.Paper().PrintedLines(), v.skipMemory && startPolls > 0 ? 0u : 4u);
      }
    }
  }
}

}  // namespace
}  // namespace kestra::emu::test
