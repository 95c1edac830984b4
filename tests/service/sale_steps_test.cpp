// One receipt through the service and the driver on the emulated printer, failing at each
// step: the journal holds each step before the printer is asked for it, and the outcome
// answered is what the paper and the fiscal memory show.
#include <gtest/gtest.h>

#include <future>

#include "emulated_service.hpp"
#include "kestra/emu/protocol.hpp"

namespace tauravatd::testing {
namespace {

using kestra::emu::FaultKind;
using enum kestra::emu::FaultKind;
using kestra::emu::FaultRule;
using kestra::emu::Printer;
namespace cmd = kestra::emu::cmd;
using namespace std::chrono_literals;

// A reply held back by a delay fault comes within the time-out of a byte.
kestra::emu::PrinterConfig Patient() {
  kestra::emu::PrinterConfig printer = Luno();
  printer.receiptCounter = 40;
  printer.faults.delay = 300ms;
  return printer;
}

TEST(SaleSteps, TheJournalKnowsEachStepBeforeThePrinterIsAsked) {
  EmulatedService service(Patient());
  service.Config().printers[0].timeoutMs = 1000;
  service.Start();
  Journal& journal = service.Running().ReceiptJournal();
  std::vector<std::string> seen;
  for (const uint8_t command : {cmd::kReceiptBegin, cmd::kReceiptEnd})
    service.OnPrinter([&](Printer& p) { p.Faults().AddRule({command, FaultKind::kDelay, 0, 1}); });
  auto post = std::async(std::launch::async, [&] { return service.Post(Sale("r1")); });
  // Each command is carried out at once and its reply held back: the journal already has it.
  for (const uint8_t command : {cmd::kReceiptBegin, cmd::kReceiptEnd}) {
    ASSERT_TRUE(Eventually([&] {
      return service.OnPrinter(
          [&](Printer& p) { return p.Faults().Struck(command, FaultKind::kDelay); });
    }));
    const auto entry = journal.Find("r1");
    ASSERT_TRUE(entry);
    seen.push_back(std::string(StateName(entry->state)) + (entry->endSent ? ":end sent" : "") +
                   ":" + std::to_string(entry->counterBefore.value_or(-1)));
  }
  const Reply printed = post.get();
  EXPECT_EQ(seen, (std::vector<std::string>{"printing:40", "printing:end sent:40"}));
  EXPECT_EQ(std::tuple(printed.State(), printed.body["receipt_number"]),
            std::tuple(std::string("printed"), 41))
      << printed.text;
  EXPECT_EQ(service.Sales("Towar r1"), 1);
}

struct StepCase {
  const char* name;
  FaultRule fault;
  bool paperIn;
  const char* state;
  std::vector<std::pair<std::string, int32_t>> codes;  // the first codes recorded
  int cancelled;                                       // in the fiscal memory
};

class AtEachStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(AtEachStep, TheOutcomeIsWhatThePaperShows) {
  const StepCase& c = GetParam();
  kestra::emu::PrinterConfig printer = Patient();
  EmulatedService service(printer);
  service.Start();
  service.OnPrinter([&](Printer& p) { p.SetPaper(c.paperIn); });
  if (c.fault.command) service.OnPrinter([&](Printer& p) { p.Faults().AddRule(c.fault); });
  // Three lines: the printer's cancel at the first shows at the second.
  const Reply reply = service.Post(
      R"({"id": "r1", "items": [{"name": "Towar r1", "quantity": "1", "price": "2.50", "rate": "A"},
          {"name": "Towar dwa", "quantity": "1", "price": "2.50", "rate": "A"},
          {"name": "Towar trzy", "quantity": "1", "price": "2.50", "rate": "A"}]})");
  EXPECT_EQ(reply.State(), c.state) << reply.text;
  ASSERT_GE(reply.body["codes"].size(), c.codes.size()) << reply.text;
  for (size_t i = 0; i < c.codes.size(); ++i) {
    EXPECT_EQ(reply.body["codes"][i]["step"], c.codes[i].first) << reply.text;
    EXPECT_EQ(reply.body["codes"][i]["code"], c.codes[i].second) << reply.text;
  }
  const bool printed = std::string(c.state) == "printed";  // then the fiscal memory counts it
  EXPECT_EQ(reply.body["receipt_number"], printed ? nlohmann::json(41) : nullptr);
  EXPECT_EQ(
      std::tuple(service.Sales("Towar r1"), service.ReceiptsCounted(), service.CancelledCounted()),
      std::tuple(printed ? 1 : 0, printed ? 41 : 40, c.cancelled));
}

FaultRule Once(uint8_t command, FaultKind kind) {
  return {command, kind, 0, 1};
}

// The printer cancels at an item or at the end; an end whose answer is lost after the printer
// completed the receipt, and one the printer never heard: either way printed once.
const StepCase kSteps[] = {
    {"Printed", {}, true, "printed", {}, 0},
    {"ItemCut", Once(cmd::kItemLine, kCancelReceipt), true, "cancelled", {{"items[1]", 210}}, 0},
    {"PaperOut", {}, false, "failed", {{"begin", 109}}, 0},
    {"EndAnswerLost", Once(cmd::kReceiptEnd, kDropByte), true, "printed", {}, 0},
    {"EndNotHeard", Once(cmd::kReceiptEnd, kSilence), true, "printed", {{"end", 21}}, 0},
    {"EndCancelled", Once(cmd::kReceiptEnd, kCancelReceipt), true, "cancelled", {{"end", 210}}, 1},
};
INSTANTIATE_TEST_SUITE_P(Printing, AtEachStep, ::testing::ValuesIn(kSteps),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace tauravatd::testing
