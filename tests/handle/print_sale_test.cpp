// tauravat_print_sale: a whole sale in one call, on printers emulated in process. The
// recovery of each receipt operation is tested in tests/receipt; here, what the whole-sale
// call adds: the check before the begin, the step call-back, and the outcome it reports.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "emulator_line.hpp"
#include "json_reader.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

using kestra::emu::FaultKind;
using testing::EmulatorLine;
using Handle = std::unique_ptr<tauravat_printer, decltype(&tauravat_close)>;

std::shared_ptr<EmulatorLine> Line(int deviceType) {
  kestra::emu::PrinterConfig config;
  config.deviceType = deviceType;
  config.rates = {2300, 800, 500, 0, 10000, 25500, 25500};
  return std::make_shared<EmulatorLine>(config);
}

// The steps a call-back was told of, and the one it stops before (0: none).
struct Steps {
  int32_t stopAt = 0;
  std::vector<tauravat_step_info> seen;
};
int32_t TAURAVAT_CALL Record(void* user, const tauravat_step_info* step) {
  auto& steps = *static_cast<Steps*>(user);
  steps.seen.push_back(*step);
  return step->step == steps.stopAt ? 1 : 0;
}

class PrintSale : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDeviceOpener([line = line](const PortAddress& address) {
      DeviceOpenResult result;
      if (address.path == "/emu/0") result.device = line->OpenDevice();
      if (result.device == nullptr) result.osError = kErrorFileNotFound;
      return result;
    });
    tauravat_printer* opened = nullptr;
    ASSERT_EQ(tauravat_open("/emu/0", nullptr, &opened), TAURAVAT_OK);
    handle.reset(opened);
  }
  void TearDown() override {
    handle.reset();
    SetDeviceOpener({});
  }
  kestra::emu::Printer& Emulated() { return line->Printer(); }
  void Strike(uint8_t command, FaultKind kind, int skip = 0, int times = 1) {
    Emulated().Faults().AddRule({command, kind, skip, times});
  }
  int32_t Print(Steps* steps = nullptr) {
    outcome = {};
    outcome.size = sizeof outcome;
    return tauravat_print_sale(handle.get(), &sale, steps == nullptr ? nullptr : Record, steps,
                               &outcome);
  }
  std::vector<int32_t> Codes() const {
    std::vector<int32_t> codes;
    for (int32_t i = 0; i < outcome.code_count; ++i) codes.push_back(outcome.codes[i].code);
    return codes;
  }

  std::shared_ptr<EmulatorLine> line = Line(7);
  Handle handle{nullptr, &tauravat_close};
  tauravat_item items[2] = {{sizeof(tauravat_item), TAURAVAT_ITEM_SALE, "Chleb razowy", 1, 0, 2, 0,
                             "szt", 499, 0, 0, 0, 0, 0},
                            {sizeof(tauravat_item), TAURAVAT_ITEM_SALE, "Masło extra", 2, 0, 1500,
                             3, "kg", 3000, 0, 0, 0, 0, 0}};
  tauravat_payment payments[1] = {{sizeof(tauravat_payment), 0, "Gotówka", 6000, 502}};
  tauravat_line lines[1] = {{sizeof(tauravat_line), 0, "Dziękujemy za zakupy"}};
  tauravat_sale sale{sizeof sale, items, 2, 10, payments, 1, lines, 1};
  tauravat_sale_outcome outcome{};
};

TEST_F(PrintSale, PrintsOnceAndTellsEachStepBeforeItHappens) {
  Steps steps;
  ASSERT_EQ(Print(&steps), TAURAVAT_OK);
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_PRINTED);
  EXPECT_EQ(outcome.receipt_number, 1);
  // 2 x 4.99 at A, 1.5 x 30.00 at B, less 10 % on each rate.
  EXPECT_EQ(outcome.total, 898 + 4050);
  EXPECT_EQ(outcome.code_count, 0);
  EXPECT_EQ(outcome.problem.code, TAURAVAT_OK);
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 1);
  const std::string paper = Emulated().Paper().Text();
  for (const char* printed : {"Chleb razowy", "Gotówka", "Dziękujemy za zakupy", "#00001"})
    EXPECT_NE(paper.find(printed), std::string::npos) << printed << " in\n" << paper;
  ASSERT_EQ(steps.seen.size(), 4u);
  const int32_t expected[][3] = {{TAURAVAT_STEP_BEGIN, -1, -1},
                                 {TAURAVAT_STEP_ITEM, -1, 0},
                                 {TAURAVAT_STEP_ITEM, -1, 1},
                                 {TAURAVAT_STEP_END, -1, -1}};
  for (size_t i = 0; i < steps.seen.size(); ++i) {
    // A LUNO's counter at 0 does not tell: -1 before the first receipt of the day.
    EXPECT_EQ(steps.seen[i].step, expected[i][0]) << i;
    EXPECT_EQ(steps.seen[i].counter, expected[i][1]) << i;
    EXPECT_EQ(steps.seen[i].item, expected[i][2]) << i;
  }
  EXPECT_EQ(steps.seen[3].total, outcome.total);
  // The second receipt's counter is known before it begins.
  ASSERT_EQ(Print(&steps), TAURAVAT_OK);
  EXPECT_EQ(steps.seen[4].counter, 1);
  EXPECT_EQ(outcome.receipt_number, 2);
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 2);
}

TEST_F(PrintSale, ArgumentsAndAReceiptOfTheCallerAreRefusedBeforeAnythingIsSent) {
  EXPECT_EQ(tauravat_print_sale(handle.get(), &sale, nullptr, nullptr, nullptr),
            TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_print_sale(handle.get(), nullptr, nullptr, nullptr, &outcome),
            TAURAVAT_E_NULL_ARGUMENT);
  outcome.size = 8;
  EXPECT_EQ(tauravat_print_sale(handle.get(), &sale, nullptr, nullptr, &outcome),
            TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_print_sale(nullptr, &sale, nullptr, nullptr, &outcome),
            TAURAVAT_E_PARAMETER_RANGE);
  ASSERT_EQ(tauravat_receipt_begin(handle.get()), TAURAVAT_OK);
  const auto seen = Emulated().CommandsSeen();
  EXPECT_EQ(Print(), TAURAVAT_E_RECEIPT_OPEN);
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_FAILED);
  EXPECT_EQ(Emulated().CommandsSeen(), seen);
  EXPECT_EQ(tauravat_receipt_cancel(handle.get()), TAURAVAT_OK);
}

// The call-back's "stop": before the begin nothing reaches the paper; later the receipt is
// cancelled and its end never sent.
TEST_F(PrintSale, TheCallBackStopsTheSaleAndNothingIsSold) {
  for (const int32_t stopAt : {TAURAVAT_STEP_BEGIN, TAURAVAT_STEP_ITEM, TAURAVAT_STEP_END}) {
    SCOPED_TRACE(stopAt);
    const std::string paper = Emulated().Paper().Text();
    Steps steps{stopAt, {}};
    EXPECT_EQ(Print(&steps), TAURAVAT_E_STOPPED);
    EXPECT_EQ(outcome.stopped_at, stopAt);
    EXPECT_EQ(steps.seen.back().step, stopAt);
    EXPECT_EQ(outcome.state,
              stopAt == TAURAVAT_STEP_BEGIN ? TAURAVAT_SALE_FAILED : TAURAVAT_SALE_CANCELLED);
    EXPECT_FALSE(Emulated().ReceiptOpen());
    EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 0);
    if (stopAt == TAURAVAT_STEP_BEGIN) {
      EXPECT_EQ(Emulated().Paper().Text(), paper);
    }
  }
  // The tables went with the stopped sale; the next sale prints with its own.
  ASSERT_EQ(Print(), TAURAVAT_OK);
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 1);
}

// Faults on the end: a lost answer is learnt from the printer (printed, once); a printer
// that cancels says so; a printer that answers nothing more leaves the sale unknown.
TEST_F(PrintSale, TheOutcomeOfAnEndIsLearntOrSaidUnknown) {
  constexpr uint8_t kEnd = 0x24, kCounter = 0x66;
  Strike(kEnd, FaultKind::kDropByte);
  EXPECT_EQ(Print(), TAURAVAT_OK);
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_PRINTED);
  EXPECT_EQ(outcome.receipt_number, 1);
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 1);

  Strike(kEnd, FaultKind::kCancelReceipt);
  EXPECT_EQ(Print(), TAURAVAT_E_RECEIPT_CANCELLED);
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_CANCELLED);
  EXPECT_EQ(outcome.receipt_number, -1);
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 1);
  EXPECT_FALSE(Emulated().ReceiptOpen());

  // The first receipt of the day on a LUNO: the counter cannot tell, and then nothing does.
  kestra::emu::PrinterConfig config = Emulated().Config();
  line->Reset(config);
  // Silent from the end on; the counter answers the sale's two reads before the begin.
  Strike(kEnd, FaultKind::kSilence, 0, -1);
  Strike(kCounter, FaultKind::kSilence, 2, -1);
  const int32_t code = Print();
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_UNKNOWN) << code;
  EXPECT_EQ(code, outcome.code);
  EXPECT_NE(code, TAURAVAT_OK);
  ASSERT_GT(outcome.code_count, 0);
  EXPECT_EQ(outcome.codes[outcome.code_count - 1].code, code);
  // The receipt stays the handle's until an end or a cancel tells what became of it.
  const auto seen = Emulated().CommandsSeen();
  EXPECT_EQ(Print(), TAURAVAT_E_RECEIPT_OPEN);
  EXPECT_EQ(Emulated().CommandsSeen(), seen);
}

size_t Count(const std::string& paper, const std::string& text) {
  size_t count = 0;
  for (size_t at = paper.find(text); at != std::string::npos; at = paper.find(text, at + 1))
    ++count;
  return count;
}

// Package and subtotal lines go out in their place with the items, once each; they are not
// part of the total. A package whose answer is lost after its line went out may have printed:
// it is not sent again, the receipt is cancelled instead.
TEST_F(PrintSale, PackagesAndASubtotalPrintOnceInTheirPlace) {
  tauravat_item package{};
  package.size = sizeof package;
  package.kind = TAURAVAT_ITEM_PACKAGE;
  package.package_kind = 1;
  package.package_first_value = 2;
  package.package_second_value = 50;
  package.package_amount = 1200;
  tauravat_item subtotal{};
  subtotal.size = sizeof subtotal;
  subtotal.kind = TAURAVAT_ITEM_SUBTOTAL;
  tauravat_item receipt[] = {items[0], package, subtotal, items[1]};
  sale.items = receipt;
  sale.item_count = std::size(receipt);
  Steps steps;
  ASSERT_EQ(Print(&steps), TAURAVAT_OK);
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_PRINTED);
  EXPECT_EQ(outcome.total, 898 + 4050);
  EXPECT_EQ(steps.seen.size(), 2 + std::size(receipt));
  std::string paper = Emulated().Paper().Text();
  const size_t bread = paper.find("Chleb razowy"), crate = paper.find("OPAKOWANIE ZWROTNE 2/50"),
               sum = paper.find("PODSUMA"), butter = paper.find("Masło extra");
  EXPECT_TRUE(bread < crate && crate < sum && sum < butter && butter != std::string::npos) << paper;
  EXPECT_EQ(Count(paper, "OPAKOWANIE"), 1u) << paper;
  EXPECT_EQ(Count(paper, "PODSUMA"), 1u) << paper;
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 1);

  // The printer prints the package and its acknowledgement is lost.
  Strike(0x17, FaultKind::kDropByte);
  EXPECT_EQ(Print(), TAURAVAT_E_RECEIVE_TIMEOUT);
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_CANCELLED);
  paper = Emulated().Paper().Text();
  EXPECT_EQ(Count(paper, "OPAKOWANIE"), 2u) << "once for each sale";
  EXPECT_EQ(Count(paper, "PARAGON ANULOWANY"), 1u) << paper;
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 1);
  EXPECT_FALSE(Emulated().ReceiptOpen());
}

// A model that prints no package line refuses it before a receipt begins, naming the line.
TEST_F(PrintSale, APackageTheModelCannotPrintIsRefusedBeforeTheBegin) {
  kestra::emu::PrinterConfig config = Emulated().Config();
  config.deviceType = 0;  // the RX820A with 4 rates: no packages, no payment forms
  line->Reset(config);
  tauravat_printer* opened = nullptr;
  ASSERT_EQ(tauravat_open("/emu/0", nullptr, &opened), TAURAVAT_OK);
  handle.reset(opened);
  tauravat_item package{};
  package.size = sizeof package;
  package.kind = TAURAVAT_ITEM_PACKAGE;
  tauravat_item receipt[] = {items[0], package};
  sale = {sizeof sale, receipt, std::size(receipt), 0, nullptr, 0, nullptr, 0};
  const std::string paper = Emulated().Paper().Text();
  EXPECT_EQ(Print(), TAURAVAT_E_COMMAND_UNAVAILABLE);
  EXPECT_EQ(outcome.state, TAURAVAT_SALE_FAILED);
  EXPECT_STREQ(outcome.problem.field, "items[1]");
  EXPECT_EQ(Emulated().Paper().Text(), paper);
  EXPECT_FALSE(Emulated().ReceiptOpen());
}

// A caller built with the first header passes items without the package members.
TEST_F(PrintSale, ItemsOfTheFirstHeadersSizeStillPrint) {
  struct FirstItem {
    uint32_t size;
    int32_t kind;
    const char* name;
    int32_t rate;
    int32_t message;
    int64_t quantity;
    int32_t decimals;
    const char* unit;
    int64_t price;
    int64_t value;
  };
  static_assert(sizeof(FirstItem) == offsetof(tauravat_item, package_kind));
  const FirstItem first[] = {
      {sizeof(FirstItem), TAURAVAT_ITEM_SALE, "Chleb razowy", 1, 0, 2, 0, "szt", 499, 0},
      {sizeof(FirstItem), TAURAVAT_ITEM_SUBTOTAL, nullptr, 0, 0, 0, 0, nullptr, 0, 0},
      {sizeof(FirstItem), TAURAVAT_ITEM_SALE, "Masło extra", 2, 0, 1500, 3, "kg", 3000, 0}};
  sale.items = reinterpret_cast<const tauravat_item*>(first);
  sale.item_count = std::size(first);
  ASSERT_EQ(Print(), TAURAVAT_OK);
  EXPECT_EQ(outcome.total, 898 + 4050);
  EXPECT_EQ(Count(Emulated().Paper().Text(), "Masło extra"), 1u);
  EXPECT_EQ(Count(Emulated().Paper().Text(), "PODSUMA"), 1u);
}

}  // namespace
}  // namespace kestradr
