// The journal and the printer's session alone; how the counter settles a lost outcome.
#include "journal.hpp"

#include <gtest/gtest.h>

#include "scratch_directory.hpp"
#include "settlement.hpp"

namespace tauravatd {
namespace {

using S = ReceiptState;

class JournalTest : public ::testing::Test {
 protected:
  testing::ScratchDirectory directory_{"tauravatd-service"};
  const std::string path_ = directory_.Path("journal.sqlite");
};

TEST(Settlement, TheCounterDecidesOnlyWhatItCanTell) {
  // From 7: moved with no end sent, not by this receipt; to 0, 6 or 9, not by this one alone.
  // From 0 on a model that may keep it at 0 (not known), staying tells nothing.
  const std::tuple<bool, int32_t, ReceiptCounter, S> cases[] = {
      {false, 7, {8, true}, S::kCancelled}, {true, 7, {8, true}, S::kPrinted},
      {true, 7, {7, true}, S::kCancelled},  {true, 7, {0, true}, S::kUnknown},
      {true, 7, {6, true}, S::kUnknown},    {true, 7, {9, true}, S::kUnknown},
      {true, 0, {0, false}, S::kUnknown},   {true, 0, {1, true}, S::kPrinted},
      {true, 0, {0, true}, S::kCancelled}};
  for (const auto& [endSent, before, now, state] : cases) {
    JournalEntry entry;
    std::tie(entry.state, entry.counterBefore, entry.endSent, entry.settlePending) =
        std::tuple(S::kPrinting, before, endSent, true);
    SettleWithCounter(entry, now);
    EXPECT_EQ(entry.state, state) << endSent << " " << before << " " << now.number;
    EXPECT_EQ(entry.receiptNumber, state == S::kPrinted ? std::optional(now.number) : std::nullopt);
    EXPECT_FALSE(entry.settlePending);
  }
}

TEST_F(JournalTest, AdmitsAnIdOnceKeepsEveryChangeAcrossReopeningAndRequeuesAfresh) {
  {
    Journal journal(path_);
    auto [entry, created] = journal.Admit("r1", "till1", R"({"id":"r1"})", 1234);
    EXPECT_EQ(std::tuple(created, entry.state, entry.attempts), std::tuple(true, S::kQueued, 1));
    entry.state = S::kPrinting;
    entry.counterBefore = 41;
    entry.endSent = true;
    entry.codes.push_back({"end", 21});
    journal.Save(entry);
    auto [again, createdAgain] = journal.Admit("r1", "till2", "{}", 1);
    EXPECT_FALSE(createdAgain);
    EXPECT_EQ(again.printer + again.request, R"(till1{"id":"r1"})");  // as first stored
  }
  Journal reopened(path_);
  const auto entry = reopened.Find("r1");
  ASSERT_TRUE(entry);
  EXPECT_EQ(std::tuple(entry->state, entry->counterBefore, entry->endSent, entry->total),
            std::tuple(S::kPrinting, std::optional(41), true, 1234));
  EXPECT_EQ(entry->codes, (std::vector<CodeSeen>{{"end", 21}}));
  EXPECT_FALSE(reopened.Find("r2"));
  const JournalEntry again = reopened.Requeue("r1", "retry");
  EXPECT_EQ(std::tuple(again.state, again.attempts, again.counterBefore, again.endSent, again.note),
            std::tuple(S::kQueued, 2, std::optional<int32_t>(), false, "retry"));
  EXPECT_TRUE(again.codes.empty());
}

TEST_F(JournalTest, UnsettledAreThosePrintingOrUnknownWithSettlementPending) {
  Journal journal(path_);
  const std::tuple<const char*, const char*, S, bool> cases[] = {
      {"a", "till1", S::kPrinting, false}, {"b", "till1", S::kUnknown, true},
      {"c", "till1", S::kUnknown, false},  {"d", "till1", S::kPrinted, false},
      {"e", "till2", S::kPrinting, false}, {"f", "till1", S::kQueued, false}};
  for (const auto& [id, printer, state, pending] : cases) {
    JournalEntry entry = journal.Admit(id, printer, "{}", 0).first;
    entry.state = state;
    entry.settlePending = pending;
    journal.Save(entry);
  }
  std::vector<std::string> ids, outside;
  for (const JournalEntry& entry : journal.Unsettled("till1")) ids.push_back(entry.id);
  for (const JournalEntry& entry : journal.UnsettledOutside({"till1"})) outside.push_back(entry.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(outside, (std::vector<std::string>{"e"}));
  // A new run: what was queued never reached a printer.
  EXPECT_EQ(journal.FailQueued("stopped"), 1);
  EXPECT_EQ(journal.Find("f")->state, S::kFailed);
  EXPECT_EQ(journal.Find("f")->note, "stopped");
}

TEST_F(JournalTest, OneServiceAtATimeHoldsAJournal) {
  Journal first(path_);
  first.Admit("r1", "till1", "{}", 0);
  EXPECT_THROW(Journal(path_).Admit("r2", "till1", "{}", 0), JournalError);
}

}  // namespace
}  // namespace tauravatd
