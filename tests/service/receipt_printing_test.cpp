// One receipt through the printer and the journal, the printer failing at each step; and how
// the receipt counter settles a receipt whose outcome was lost.
#include "receipt_printing.hpp"

#include <gtest/gtest.h>

#include "fake_printer.hpp"
#include "receipt_total.hpp"
#include "settlement.hpp"

namespace tauravatd {
namespace {

using testing::FakeDriver;
using testing::FakePrinter;
using testing::FakeState;
using testing::Fault;
using namespace std::chrono_literals;

// Two lines of 1 x 4.99 on rate A.
ReceiptRequest Receipt(const std::string& id) {
  ReceiptRequest request;
  request.id = id;
  for (const char* name : {"Chleb razowy 0", "Chleb razowy 1"})
    request.items.push_back({name, {1, 0}, "", 499, 1, 499});
  return request;
}

class ReceiptPrintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    printer_->Set(&FakeState::counter, 40);
    ASSERT_EQ(session_.EnsureOpen(false), 0);
  }

  JournalEntry Print(const ReceiptRequest& request) {
    JournalEntry entry =
        journal_.Admit(request.id, "till1", CanonicalJson(request), ReceiptTotal(request)).first;
    PrintReceipt(session_, journal_, options_, entry, request);
    // What the journal holds is what the caller was told.
    EXPECT_EQ(journal_.Find(request.id)->state, entry.state);
    return entry;
  }
  std::string Steps() const {
    std::string steps;
    for (const std::string& call : printer_->State().calls)
      if (call == "begin" || call == "item" || call == "end" || call == "cancel")
        steps += call + " ";
    return steps.empty() ? steps : steps.substr(0, steps.size() - 1);
  }

  testing::ScratchDirectory directory_{"tauravatd-printing"};
  Journal journal_{directory_.Path("journal.sqlite")};
  FakeDriver driver_;
  std::shared_ptr<FakePrinter> printer_ = driver_.Add("/dev/fake0");
  PrinterSession session_{driver_.MakeBackend({"till1", "/dev/fake0"}), Backoff{0ms, 0ms}};
  ReceiptPrintingOptions options_;
};

TEST_F(ReceiptPrintingTest, TheJournalKnowsEachStepBeforeThePrinterIsAsked) {
  std::vector<std::string> seen;
  printer_->OnCall([&](const std::string& operation) {
    if (operation != "begin" && operation != "end") return;
    const auto entry = journal_.Find("r1");
    seen.push_back(operation + ":" + std::string(StateName(entry->state)) +
                   (entry->endSent ? ":end sent" : "") + ":" +
                   std::to_string(entry->counterBefore.value_or(-1)));
  });
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(seen, (std::vector<std::string>{"begin:printing:40", "end:printing:end sent:40"}));
  const auto paper = printer_->State().paper;
  ASSERT_EQ(paper.size(), 1u);
  EXPECT_EQ(paper[0].items, (std::vector<std::string>{"Chleb razowy 0", "Chleb razowy 1"}));
  EXPECT_EQ(paper[0].total, 998);
}

struct StepCase {
  const char* name;
  const char* faultAt;  // the operation that fails with `fault`
  Fault fault;
  int32_t conditions;  // of the printer for a receipt's begin
  ReceiptState state;
  std::vector<CodeSeen> codes;  // the first codes recorded
  std::string steps;
  std::optional<int32_t> number;
};

class AtEachStep : public ReceiptPrintingTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(AtEachStep, TheOutcomeIsWhatThePaperShows) {
  const StepCase& c = GetParam();
  printer_->Script(c.faultAt, c.fault);
  printer_->Set(&FakeState::conditions, c.conditions);
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, c.state);
  ASSERT_GE(entry.codes.size(), c.codes.size());
  EXPECT_EQ(std::vector<CodeSeen>(entry.codes.begin(), entry.codes.begin() + c.codes.size()),
            c.codes);
  EXPECT_EQ(Steps(), c.steps);
  EXPECT_EQ(entry.receiptNumber, c.number);
  EXPECT_EQ(printer_->State().paper.size(), c.number ? 1u : 0u);
}

using S = ReceiptState;
// An end whose answer is lost after the printer completed the receipt: the repeated end
// finds none. One the printer did not hear: the repeated end completes it.
const StepCase kSteps[] = {
    {"Printed", "", {}, 0, S::kPrinted, {}, "begin item item end", 41},
    {"LineFails", "item", {21}, 0, S::kCancelled, {{"items[0]", 21}}, "begin item cancel", {}},
    {"PaperOut", "", {}, 109, S::kFailed, {{"begin", 109}}, "begin", {}},
    {"EndAnswerLost", "end", {21, true}, 0, S::kPrinted, {{"end", 21}}, "begin item item end", 41},
    {"EndNotHeard", "end", {21}, 0, S::kPrinted, {{"end", 21}}, "begin item item end end", 41},
    {"PrinterCancels", "end", {210}, 0, S::kCancelled, {{"end", 210}}, "begin item item end", {}},
};
INSTANTIATE_TEST_SUITE_P(Printing, AtEachStep, ::testing::ValuesIn(kSteps),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ReceiptPrintingTest, AReservedRateIsRefusedBeforeThePrinterIsTouched) {
  printer_->Set(&FakeState::rates, RateTable{7, {kReservedRate, 800, 500, 0, kExemptRate, 0, 0}});
  ASSERT_EQ(session_.RefreshRates(), 0);
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, ReceiptState::kFailed);
  EXPECT_EQ(entry.codes, (std::vector<CodeSeen>{{"check", 226}}));
  EXPECT_EQ(Steps(), "");
}

TEST_F(ReceiptPrintingTest, StaleCountersAreReadAgainBeforeAReceipt) {
  options_.counterTrust = 0ms;
  printer_->Set(&FakeState::counter, 0);  // a daily report from the printer's keyboard
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.counterBefore, 0);
  EXPECT_EQ(entry.receiptNumber, 1);
}

TEST(Settlement, TheCounterDecidesOnlyWhatItCanTell) {
  const struct {
    bool endSent;
    int32_t now;  // the counter was 7 before the receipt
    ReceiptState state;
  } cases[] = {
      {false, 8, ReceiptState::kCancelled},  // the counter moved, but not by this receipt
      {true, 8, ReceiptState::kPrinted},
      {true, 7, ReceiptState::kCancelled},
      // A daily report, or receipts the service did not print.
      {true, 0, ReceiptState::kUnknown},
      {true, 6, ReceiptState::kUnknown},
      {true, 9, ReceiptState::kUnknown},
  };
  for (const auto& c : cases) {
    JournalEntry entry;
    entry.state = ReceiptState::kPrinting;
    entry.counterBefore = 7;
    entry.endSent = c.endSent;
    entry.settlePending = true;
    SettleWithCounter(entry, c.now);
    EXPECT_EQ(entry.state, c.state) << c.endSent << " " << c.now;
    EXPECT_EQ(entry.receiptNumber,
              c.state == ReceiptState::kPrinted ? std::optional(8) : std::nullopt);
    EXPECT_FALSE(entry.settlePending);
  }
}

}  // namespace
}  // namespace tauravatd
