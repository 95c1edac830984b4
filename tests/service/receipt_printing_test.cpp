// One receipt through the printer and the journal, with the printer failing at each
// step; and settlement of receipts whose outcome was lost.
#include "receipt_printing.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fake_printer.hpp"
#include "receipt_total.hpp"
#include "settlement.hpp"

namespace tauravatd {
namespace {

using testing::FakeDriver;
using testing::FakePrinter;
using testing::Fault;
using namespace std::chrono_literals;

ReceiptRequest Receipt(const std::string& id, int items = 2) {
  ReceiptRequest request;
  request.id = id;
  for (int i = 0; i < items; ++i) {
    SaleLine line;
    line.name = "Chleb razowy " + std::to_string(i);
    line.quantity = {1, 0};
    line.price = 499;
    line.value = 499;
    line.rate = 1;
    request.items.push_back(line);
  }
  return request;
}

class ReceiptPrintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("tauravatd-printing-" + std::to_string(::getpid()) + ".sqlite");
    std::filesystem::remove(path_);
    journal_ = std::make_unique<Journal>(path_.string());
    printer_ = driver_.Add("/dev/fake0");
    printer_->SetCounter(40);
    session_ = std::make_unique<PrinterSession>(driver_.MakeBackend({"till1", "/dev/fake0"}),
                                                Backoff{0ms, 0ms});
    ASSERT_EQ(session_->EnsureOpen(false), 0);
  }
  void TearDown() override {
    session_.reset();
    journal_.reset();
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::remove(path_.string() + suffix);
  }

  JournalEntry Print(const ReceiptRequest& request) {
    JournalEntry entry =
        journal_->Admit(request.id, "till1", CanonicalJson(request), ReceiptTotal(request)).first;
    PrintReceipt(*session_, *journal_, options_, entry, request);
    // What the journal holds is what the caller was told.
    EXPECT_EQ(journal_->Find(request.id)->state, entry.state);
    return entry;
  }

  int Count(const std::string& operation) const {
    const auto calls = printer_->Calls();
    return static_cast<int>(std::count(calls.begin(), calls.end(), operation));
  }

  std::filesystem::path path_;
  std::unique_ptr<Journal> journal_;
  FakeDriver driver_;
  std::shared_ptr<FakePrinter> printer_;
  std::unique_ptr<PrinterSession> session_;
  ReceiptPrintingOptions options_;
};

TEST_F(ReceiptPrintingTest, APrintedReceiptIsOnPaperOnceWithItsNumber) {
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kPrinted);
  EXPECT_EQ(entry.receiptNumber, 41);
  EXPECT_EQ(entry.counterBefore, 40);
  EXPECT_TRUE(entry.codes.empty());
  ASSERT_EQ(printer_->Paper().size(), 1u);
  EXPECT_EQ(printer_->Paper()[0].items,
            (std::vector<std::string>{"Chleb razowy 0", "Chleb razowy 1"}));
  EXPECT_EQ(printer_->Paper()[0].total, 998);
}

TEST_F(ReceiptPrintingTest, TheJournalKnowsEachStepBeforeThePrinterIsAsked) {
  std::vector<std::string> seen;
  printer_->OnCall([&](const std::string& operation) {
    if (operation != "begin" && operation != "end") return;
    const auto entry = journal_->Find("r1");
    seen.push_back(operation + ":" + std::string(StateName(entry->state)) +
                   (entry->endSent ? ":end sent" : "") +
                   (entry->counterBefore ? ":" + std::to_string(*entry->counterBefore) : ""));
  });
  Print(Receipt("r1"));
  EXPECT_EQ(seen, (std::vector<std::string>{"begin:printing:40", "end:printing:end sent:40"}));
}

TEST_F(ReceiptPrintingTest, AFailedLineCancelsTheReceipt) {
  printer_->Script("item", {21, false});
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kCancelled);
  EXPECT_EQ(entry.codes, (std::vector<CodeSeen>{{"items[0]", 21}}));
  EXPECT_TRUE(printer_->Paper().empty());
  EXPECT_EQ(printer_->Cancelled(), 1);
  EXPECT_FALSE(printer_->ReceiptOpen());
}

TEST_F(ReceiptPrintingTest, AReceiptThePrinterWillNotBeginFailsWithItsReason) {
  printer_->SetConditions(109);
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kFailed);
  EXPECT_EQ(entry.codes, (std::vector<CodeSeen>{{"begin", 109}}));
  EXPECT_EQ(Count("item"), 0);
  EXPECT_EQ(Count("cancel"), 0);
}

TEST_F(ReceiptPrintingTest, AReservedRateIsRefusedBeforeThePrinterIsTouched) {
  RateTable rates{7, {kReservedRate, 800, 500, 0, kExemptRate, 0, 0}};
  printer_->SetRates(rates);
  ASSERT_EQ(session_->RefreshRates(), 0);
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kFailed);
  EXPECT_EQ(entry.codes, (std::vector<CodeSeen>{{"check", 226}}));
  EXPECT_EQ(Count("begin"), 0);
}

TEST_F(ReceiptPrintingTest, AnEndWhoseAnswerWasLostIsPrintedOnce) {
  // The printer completes the receipt; the acknowledgement does not arrive, and the
  // repeated end finds no receipt.
  printer_->Script("end", {21, true});
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kPrinted);
  EXPECT_EQ(entry.receiptNumber, 41);
  EXPECT_EQ(printer_->Paper().size(), 1u);
  EXPECT_EQ(entry.codes.front(), (CodeSeen{"end", 21}));
}

TEST_F(ReceiptPrintingTest, AnEndTheDriverRetriesIsStillOneReceipt) {
  printer_->Script("end", {21, false});
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kPrinted);
  EXPECT_EQ(Count("end"), 2);
  EXPECT_EQ(printer_->Paper().size(), 1u);
}

TEST_F(ReceiptPrintingTest, APrinterCancellationIsReportedAsSuch) {
  printer_->Script("end", {210, false});
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kCancelled);
  EXPECT_EQ(entry.codes, (std::vector<CodeSeen>{{"end", 210}}));
}

// The port vanishes at the end; whether the printer completed the receipt is settled
// when it answers again, by its receipt counter.
class VanishingAtTheEnd : public ReceiptPrintingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(VanishingAtTheEnd, IsUnknownUntilThePrinterAnswersThenSettled) {
  const bool completed = GetParam();
  printer_->OnCall([&](const std::string& operation) {
    if (operation == "end") printer_->SetReachable(false);
  });
  if (completed) printer_->Script("end", {21, true});
  JournalEntry entry = Print(Receipt("r1"));
  printer_->OnCall({});
  EXPECT_EQ(entry.state, ReceiptState::kUnknown);
  EXPECT_TRUE(entry.settlePending);
  EXPECT_FALSE(session_->IsOpen());

  // Still away: nothing is decided.
  std::vector<JournalEntry> settled;
  EXPECT_NE(session_->EnsureOpen(false), 0);

  printer_->SetReachable(true);
  ASSERT_EQ(session_->EnsureOpen(false), 0);  // the opening cancels what is left open
  ASSERT_TRUE(SettleUnsettled(*session_, *journal_, "till1", settled));
  ASSERT_EQ(settled.size(), 1u);
  EXPECT_EQ(settled[0].state, completed ? ReceiptState::kPrinted : ReceiptState::kCancelled);
  EXPECT_FALSE(settled[0].settlePending);
  EXPECT_EQ(journal_->Find("r1")->state, settled[0].state);
  EXPECT_EQ(printer_->Paper().size(), completed ? 1u : 0u);
  EXPECT_EQ(printer_->Cancelled(), completed ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Receipt, VanishingAtTheEnd, ::testing::Bool());

TEST_F(ReceiptPrintingTest, StaleCountersAreReadAgainBeforeAReceipt) {
  options_.counterTrust = 0ms;
  printer_->SetCounter(0);  // a daily report from the printer's keyboard
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.counterBefore, 0);
  EXPECT_EQ(entry.receiptNumber, 1);
}

TEST(Settlement, TheCounterDecidesOnlyWhatItCanTell) {
  JournalEntry entry;
  entry.state = ReceiptState::kPrinting;
  entry.counterBefore = 7;

  JournalEntry notEnded = entry;
  SettleWithCounter(notEnded, 8);  // the counter moved, but not by this receipt
  EXPECT_EQ(notEnded.state, ReceiptState::kCancelled);

  entry.endSent = true;
  JournalEntry printed = entry;
  SettleWithCounter(printed, 8);
  EXPECT_EQ(printed.state, ReceiptState::kPrinted);
  EXPECT_EQ(printed.receiptNumber, 8);

  JournalEntry cancelled = entry;
  SettleWithCounter(cancelled, 7);
  EXPECT_EQ(cancelled.state, ReceiptState::kCancelled);

  for (const int32_t now : {0, 6, 9}) {  // a daily report, or receipts the service did not print
    JournalEntry unknown = entry;
    SettleWithCounter(unknown, now);
    EXPECT_EQ(unknown.state, ReceiptState::kUnknown) << now;
    EXPECT_FALSE(unknown.settlePending);
  }
}

}  // namespace
}  // namespace tauravatd
