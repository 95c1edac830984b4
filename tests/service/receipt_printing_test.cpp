// One receipt through the printer and the journal, the printer failing at each step; the
// journal and the printer's session alone; how the counter settles a lost outcome.
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
using S = ReceiptState;

// Two lines of 1 x 4.99 on rate A.
ReceiptRequest Receipt(const std::string& id) {
  ReceiptRequest request;
  request.id = id;
  for (const char* name : {"Chleb razowy 0", "Chleb razowy 1"})
    request.items.push_back({name, {1, 0}, "", 499, 1, 499});
  return request;
}

class JournalTest : public ::testing::Test {
 protected:
  testing::ScratchDirectory directory_{"tauravatd-service"};
  const std::string path_ = directory_.Path("journal.sqlite");
};

class ReceiptPrintingTest : public JournalTest {
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
  Journal journal_{path_};
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
  printer_->Set(&FakeState::rates,
                RateTable{7, {TAURAVAT_RATE_RESERVED, 800, 500, 0, TAURAVAT_RATE_EXEMPT, 0, 0}});
  ASSERT_EQ(session_.RefreshRates(), 0);
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(entry.state, S::kFailed);
  EXPECT_EQ(entry.codes, (std::vector<CodeSeen>{{"check", 226}}));
  EXPECT_EQ(Steps(), "");
}

TEST_F(ReceiptPrintingTest, StaleCountersAreReadAgainBeforeAReceipt) {
  options_.counterTrust = 0ms;
  printer_->Set(&FakeState::counter, 0);  // a daily report from the printer's keyboard
  const JournalEntry entry = Print(Receipt("r1"));
  EXPECT_EQ(std::tuple(entry.counterBefore, entry.receiptNumber), std::tuple(0, 1));
}

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

// Time left until the next attempt, rounded to whole seconds (the steps are seconds apart).
std::chrono::seconds Wait(const PrinterSession& session) {
  return std::chrono::round<std::chrono::seconds>(session.NextAttempt() -
                                                  PrinterSession::Clock::now());
}

TEST_F(ReceiptPrintingTest, EachFailureDoublesTheWaitUpToTheLongest) {
  PrinterSession session(driver_.MakeBackend({"till1", "/dev/fake0"}), Backoff{1s, 5s});
  printer_->Set(&FakeState::reachable, false);
  EXPECT_EQ(session.EnsureOpen(false), 2);
  EXPECT_EQ(Wait(session), 1s);
  for (const auto wait : {2s, 4s, 5s, 5s}) {
    session.Lost(21);
    EXPECT_EQ(Wait(session), wait);
  }
  EXPECT_EQ(session.LastFault(), 21);
  // Before its time an idle attempt does not touch the port; a request waits only for
  // the first step since the last attempt.
  printer_->Set(&FakeState::reachable, true);
  const int opens = printer_->State().opens;
  EXPECT_EQ(session.EnsureOpen(false), 21);
  EXPECT_EQ(session.EnsureOpen(true), 21);
  EXPECT_EQ(printer_->State().opens, opens);
  EXPECT_FALSE(session.IsOpen());
  // A request after a lost line (no attempt since) opens at once; once open, the next
  // failure starts from the first step again.
  PrinterSession quick(driver_.MakeBackend({"till1", "/dev/fake0"}), Backoff{1s, 60s});
  for (int i = 0; i < 4; ++i) quick.Lost(21);
  EXPECT_EQ(Wait(quick), 8s);
  EXPECT_EQ(quick.EnsureOpen(true), 0);
  EXPECT_TRUE(quick.IsOpen());
  quick.Lost(21);
  EXPECT_EQ(Wait(quick), 1s);
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
