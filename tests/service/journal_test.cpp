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
    entry.note = "lost";
    journal.Save(entry);

    auto [again, createdAgain] = journal.Admit("r1", "till2", "{}", 1);
    EXPECT_FALSE(createdAgain);
    EXPECT_EQ(again.printer, "till1");  // as first stored
    EXPECT_EQ(again.request, R"({"id":"r1"})");
  }
  Journal reopened(path_);
  const auto entry = reopened.Find("r1");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->state, ReceiptState::kPrinting);
  EXPECT_EQ(entry->counterBefore, 41);
  EXPECT_TRUE(entry->endSent);
  EXPECT_EQ(entry->codes, (std::vector<CodeSeen>{{"end", 21}}));
  EXPECT_EQ(entry->total, 1234);
  EXPECT_FALSE(reopened.Find("r2"));

  const JournalEntry again = reopened.Requeue("r1", "retry");
  EXPECT_EQ(again.state, ReceiptState::kQueued);
  EXPECT_EQ(again.attempts, 2);
  EXPECT_FALSE(again.counterBefore);
  EXPECT_FALSE(again.endSent);
  EXPECT_TRUE(again.codes.empty());
  EXPECT_EQ(again.note, "retry");
}

TEST_F(JournalTest, UnsettledAreThosePrintingOrUnknownWithSettlementPending) {
  Journal journal(path_);
  const auto add = [&](const std::string& id, const std::string& printer, ReceiptState state,
                       bool pending) {
    JournalEntry entry = journal.Admit(id, printer, "{}", 0).first;
    entry.state = state;
    entry.settlePending = pending;
    journal.Save(entry);
  };
  add("a", "till1", ReceiptState::kPrinting, false);
  add("b", "till1", ReceiptState::kUnknown, true);
  add("c", "till1", ReceiptState::kUnknown, false);
  add("d", "till1", ReceiptState::kPrinted, false);
  add("e", "till2", ReceiptState::kPrinting, false);
  add("f", "till1", ReceiptState::kQueued, false);

  std::vector<std::string> ids;
  for (const JournalEntry& entry : journal.Unsettled("till1")) ids.push_back(entry.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"a", "b"}));
  const auto outside = journal.UnsettledOutside({"till1"});
  ASSERT_EQ(outside.size(), 1u);
  EXPECT_EQ(outside[0].id, "e");

  // A new run: what was queued never reached a printer.
  EXPECT_EQ(journal.FailQueued("stopped"), 1);
  EXPECT_EQ(journal.Find("f")->state, ReceiptState::kFailed);
  EXPECT_EQ(journal.Find("f")->note, "stopped");
}

TEST_F(JournalTest, OneServiceAtATimeHoldsAJournal) {
  Journal first(path_);
  first.Admit("r1", "till1", "{}", 0);
  EXPECT_THROW(
      {
        Journal second(path_);
        second.Admit("r2", "till1", "{}", 0);
      },
      JournalError);
}

}  // namespace
}  // namespace tauravatd
