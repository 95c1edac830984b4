#include "journal.hpp"

#include <gtest/gtest.h>

#include "fake_printer.hpp"

namespace tauravatd {
namespace {

class JournalTest : public ::testing::Test {
 protected:
  testing::ScratchDirectory directory_{"tauravatd-journal"};
  const std::string path_ = directory_.Path("journal.sqlite");
};

TEST_F(JournalTest, AdmitsAnIdOnceKeepsEveryChangeAcrossReopeningAndRequeuesAfresh) {
  {
    Journal journal(path_);
    auto [entry, created] = journal.Admit("r1", "till1", R"({"id":"r1"})", 1234);
    EXPECT_TRUE(created);
    EXPECT_EQ(entry.state, ReceiptState::kQueued);
    EXPECT_EQ(entry.attempts, 1);
    entry.state = ReceiptState::kPrinting;
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
            std::tuple(ReceiptState::kPrinting, std::optional(41), true, 1234));
  EXPECT_EQ(entry->codes, (std::vector<CodeSeen>{{"end", 21}}));
  EXPECT_FALSE(reopened.Find("r2"));

  const JournalEntry again = reopened.Requeue("r1", "retry");
  EXPECT_EQ(std::tuple(again.state, again.attempts, again.counterBefore, again.endSent, again.note),
            std::tuple(ReceiptState::kQueued, 2, std::optional<int32_t>(), false, "retry"));
  EXPECT_TRUE(again.codes.empty());
}

TEST_F(JournalTest, UnsettledAreThosePrintingOrUnknownWithSettlementPending) {
  Journal journal(path_);
  using S = ReceiptState;
  for (const auto& [id, printer, state, pending] : {std::tuple{"a", "till1", S::kPrinting, false},
                                                    {"b", "till1", S::kUnknown, true},
                                                    {"c", "till1", S::kUnknown, false},
                                                    {"d", "till1", S::kPrinted, false},
                                                    {"e", "till2", S::kPrinting, false},
                                                    {"f", "till1", S::kQueued, false}}) {
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
  EXPECT_EQ(journal.Find("f")->state, ReceiptState::kFailed);
  EXPECT_EQ(journal.Find("f")->note, "stopped");
}

TEST_F(JournalTest, OneServiceAtATimeHoldsAJournal) {
  Journal first(path_);
  first.Admit("r1", "till1", "{}", 0);
  EXPECT_THROW(Journal(path_).Admit("r2", "till1", "{}", 0), JournalError);
}

}  // namespace
}  // namespace tauravatd
