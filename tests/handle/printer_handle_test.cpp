// Handles on emulated printers: opening by path, identification and names in UTF-8, a
// receipt with Polish texts end to end, sized outputs, the checks made before anything is
// sent, and the receipt rule.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "emulated_printer.hpp"

namespace tauravat_test {
namespace {

using kestra::emu::Printer;

TEST(HandleOpen, OpensByPathIdentifiesAndReportsProgressInUtf8) {
  EmulatedPrinter emulated;
  std::vector<std::string> progress;
  tauravat_options options{};
  options.size = sizeof options;
  options.baud = 9600;
  options.progress = [](void* user, const char* text) {
    static_cast<std::vector<std::string>*>(user)->push_back(text);
  };
  options.user = &progress;
  int32_t result = -1;
  const Handle printer = emulated.Open(&options, &result);
  ASSERT_EQ(result, TAURAVAT_OK);
  ASSERT_NE(printer, nullptr);
  EXPECT_NE(std::find(progress.begin(), progress.end(), "Odczyt typu urządzenia..."),
            progress.end());

  int32_t type = -1;
  int32_t version = -1;
  EXPECT_EQ(tauravat_device_type(printer.get(), &type, &version), TAURAVAT_OK);
  EXPECT_EQ(type, 7);
  EXPECT_EQ(version, 1);
  EXPECT_EQ(TextOf([&](char* t, size_t s, size_t* n) {
              return tauravat_device_name(printer.get(), t, s, n);
            }),
            "KESTRA LUNO");
}

TEST(HandleOpen, RefusesBadOptionsAndMissingDevicesLeavingNothingOpen) {
  EmulatedPrinter emulated;
  tauravat_options options{};
  options.size = sizeof options;
  options.baud = 14400;
  int32_t result = -1;
  EXPECT_EQ(emulated.Open(&options, &result), nullptr);
  EXPECT_EQ(result, TAURAVAT_E_PARAMETER_RANGE);
  options.baud = 0;
  options.size = 4;  // reaches neither the speed nor the time-out
  EXPECT_EQ(emulated.Open(&options, &result), nullptr);
  EXPECT_EQ(result, TAURAVAT_E_PARAMETER_RANGE);

  tauravat_printer* printer = nullptr;
  EXPECT_EQ(tauravat_open("/dev/tauravat-no-such-device", nullptr, &printer), 2);
  EXPECT_EQ(printer, nullptr);
  EXPECT_EQ(tauravat_open("", nullptr, &printer), TAURAVAT_E_PARAMETER_RANGE);

  // The failures held nothing: the device opens as usual.
  options.size = sizeof options;
  EXPECT_NE(emulated.Open(&options, &result), nullptr);
  EXPECT_EQ(result, TAURAVAT_OK);
}

TEST(HandleOpen, UnknownDeviceGetsItsPolishNameInUtf8) {
  kestra::emu::PrinterConfig config = Luno();
  config.deviceType = 11;
  EmulatedPrinter emulated(config);
  const Handle printer = emulated.Open();
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(TextOf([&](char* t, size_t s, size_t* n) {
              return tauravat_device_name(printer.get(), t, s, n);
            }),
            "INNE URZĄDZENIE");
}

class HandleReceipt : public ::testing::Test {
 protected:
  EmulatedPrinter emulated;
  Handle printer = emulated.Open();

  tauravat_item Item(const char* name, int64_t quantity, int32_t decimals, int64_t price) {
    tauravat_item item{};
    item.size = sizeof item;
    item.kind = TAURAVAT_ITEM_SALE;
    item.name = name;
    item.rate = 1;
    item.quantity = quantity;
    item.decimals = decimals;
    item.unit = "kg";
    item.price = price;
    return item;
  }
};

TEST_F(HandleReceipt, Utf8TextsReachThePaperAndAmountsAreGrosz) {
  ASSERT_NE(printer, nullptr);
  int32_t free = -1;
  ASSERT_EQ(tauravat_fill_payment(printer.get(), 1, "Gotówka", 1000, 0), TAURAVAT_OK);
  ASSERT_EQ(tauravat_fill_lines(printer.get(), 0, "Dziękujemy, zapraszamy!", &free), TAURAVAT_OK);
  EXPECT_EQ(free, 5);
  ASSERT_EQ(tauravat_receipt_begin(printer.get()), TAURAVAT_OK);
  int64_t value = 0;
  tauravat_item item = Item("Żółć wiśniowa ŁÓDŹ", 1500, 3, 199);
  ASSERT_EQ(tauravat_receipt_item(printer.get(), &item, &value), TAURAVAT_OK);
  EXPECT_EQ(value, 299);  // 1.5 × 1.99 = 2.985, a half rounded up
  item = Item("Chleb razowy krojony", 2, 0, 450);
  item.rate = 2;
  ASSERT_EQ(tauravat_receipt_item(printer.get(), &item, &value), TAURAVAT_OK);
  EXPECT_EQ(value, 900);
  EXPECT_EQ(tauravat_receipt_end(printer.get(), 0), TAURAVAT_OK);

  const std::string paper = emulated.Paper();
  for (const char* expected :
       {"Żółć wiśniowa ŁÓDŹ", "Chleb razowy krojony", "Gotówka", "Dziękujemy, zapraszamy!"})
    EXPECT_NE(paper.find(expected), std::string::npos) << expected << " in\n" << paper;
  const auto totals = emulated.WithPrinter([](Printer& p) { return p.Memory().DayTotals(); });
  EXPECT_EQ(totals[0], 299);
  EXPECT_EQ(totals[1], 900);
  int64_t total = 0;
  EXPECT_EQ(tauravat_read_total(printer.get(), &total), TAURAVAT_OK);
  EXPECT_EQ(total, 1199);
  EXPECT_EQ(tauravat_read_sel_total(printer.get(), "B", &total), TAURAVAT_OK);
  EXPECT_EQ(total, 900);
}

TEST_F(HandleReceipt, WhatCannotTravelIsRefusedBeforeTheLineGoesOut) {
  ASSERT_NE(printer, nullptr);
  ASSERT_EQ(tauravat_receipt_begin(printer.get()), TAURAVAT_OK);
  const auto linesBefore =
      emulated.WithPrinter([](Printer& p) { return p.OpenReceipt()->Items(); });
  struct Case {
    tauravat_item item;
    int32_t expected;
  };
  std::vector<Case> cases;
  cases.push_back({Item("Herbata 日本 zielona", 1, 0, 100), TAURAVAT_E_PARAMETER_RANGE});
  cases.push_back({Item("Herbata zielona", int64_t{1} << 32, 0, 100), TAURAVAT_E_QUANTITY_RANGE});
  cases.push_back({Item("Herbata zielona", 1, 0, -(int64_t{1} << 40)), TAURAVAT_E_PRICE_RANGE});
  cases.push_back({Item("Herbata zielona", 1, 0, 100), TAURAVAT_E_UNIT_RANGE});
  cases.back().item.unit = "litry";
  cases.push_back({Item("Herbata zielona", 1, 0, 100), TAURAVAT_E_LINE_VALUE_TOO_LARGE});
  cases.back().item.value = int64_t{5} << 31;
  cases.push_back({Item("Herbata zielona", 1, 0, 100), TAURAVAT_E_PARAMETER_RANGE});
  cases.back().item.kind = 2;
  cases.push_back({Item("Herbata zielona", 1, 0, 100), TAURAVAT_E_PARAMETER_RANGE});
  cases.back().item.size = sizeof(tauravat_item) - 8;
  for (const Case& c : cases) {
    int64_t value = -7;
    EXPECT_EQ(tauravat_receipt_item(printer.get(), &c.item, &value), c.expected) << c.item.name;
    EXPECT_EQ(value, -7);
  }
  EXPECT_EQ(tauravat_fill_payment(printer.get(), 1, "Karta", int64_t{1} << 31, 0),
            TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_fill_lines(printer.get(), 0, "Ω", nullptr), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_package_item(printer.get(), 0, 1, 1, int64_t{1} << 31),
            TAURAVAT_E_PARAMETER_RANGE);
  // Nothing reached the printer: its receipt is open and holds no line.
  emulated.WithPrinter([&](Printer& p) {
    EXPECT_TRUE(p.ReceiptOpen());
    EXPECT_EQ(p.OpenReceipt()->Items(), linesBefore);
  });
  EXPECT_EQ(tauravat_receipt_cancel(printer.get()), TAURAVAT_OK);
}

TEST_F(HandleReceipt, OperationsOutsideTheReceiptWaitForItsEnd) {
  ASSERT_NE(printer, nullptr);
  ASSERT_EQ(tauravat_receipt_begin(printer.get()), TAURAVAT_OK);
  int32_t count = 0;
  uint32_t rates[7] = {};
  EXPECT_EQ(tauravat_read_vat(printer.get(), &count, rates), TAURAVAT_E_RECEIPT_OPEN);
  EXPECT_EQ(tauravat_daily_report(printer.get(), 0), TAURAVAT_E_RECEIPT_OPEN);
  EXPECT_EQ(tauravat_receipt_cancel(printer.get()), TAURAVAT_OK);
  EXPECT_EQ(tauravat_read_vat(printer.get(), &count, rates), TAURAVAT_OK);
}

class HandleReads : public ::testing::Test {
 protected:
  EmulatedPrinter emulated;
  Handle printer = emulated.Open();
};

TEST_F(HandleReads, SizedOutputsAnswerTooSmallWithTheSizeAndANulOnly) {
  ASSERT_NE(printer, nullptr);
  char text[TAURAVAT_CLOCK_SIZE];
  std::fill(std::begin(text), std::end(text), 'x');
  size_t needed = 0;
  EXPECT_EQ(tauravat_read_clock(printer.get(), text, 8, &needed), TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, 20u);  // "YYYY-MM-DD hh:mm:ss" and the NUL
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'x');
  ASSERT_EQ(tauravat_read_clock(printer.get(), text, needed, &needed), TAURAVAT_OK);
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(20\d\d-\d\d-\d\d \d\d:\d\d:\d\d)"))) << text;

  EXPECT_EQ(tauravat_read_unique_number(printer.get(), nullptr, 0, &needed),
            TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, 12u);
  EXPECT_EQ(TextOf([&](char* t, size_t s, size_t* n) {
              return tauravat_read_unique_number(printer.get(), t, s, n);
            }),
            "KES12345678");
  int32_t number = -1;
  EXPECT_EQ(TextOf([&](char* t, size_t s, size_t* n) {
              return tauravat_printer_number(printer.get(), &number, t, s, n);
            }),
            "KE");
  EXPECT_EQ(number, 1);

  uint8_t reply[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(tauravat_rs_sequence(printer.get(), 0xFF, nullptr, 0, 2, reply, 1, &needed),
            TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, 2u);
  EXPECT_EQ(reply[0], 0xAA);
  EXPECT_EQ(tauravat_rs_sequence(printer.get(), 0xFF, nullptr, 0, 2, reply, 2, &needed),
            TAURAVAT_OK);
  EXPECT_EQ(reply[0], 0x2C);  // the LUNO's identification byte
  EXPECT_EQ(reply[2], 0xAA);
}

TEST_F(HandleReads, NullOutputsAreRefusedBeforeAnyExchange) {
  ASSERT_NE(printer, nullptr);
  const auto seen = [&] {
    return emulated.WithPrinter([](Printer& p) { return p.CommandsSeen(); });
  };
  const auto before = seen();
  int32_t number = 0;
  uint32_t rates[7] = {};
  EXPECT_EQ(tauravat_device_type(printer.get(), nullptr, &number), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_read_total(printer.get(), nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_read_sel_total(printer.get(), nullptr, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_read_vat(printer.get(), &number, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_set_vat(printer.get(), nullptr, rates), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_read_clock(printer.get(), nullptr, 20, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_receipt_number(printer.get(), nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_printer_number(printer.get(), nullptr, nullptr, 0, nullptr),
            TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_receipt_item(printer.get(), nullptr, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_fill_payment(printer.get(), 1, nullptr, 0, 0), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_rs_sequence(printer.get(), 0x46, nullptr, 1, 1, nullptr, 0, nullptr),
            TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(seen(), before);
}

TEST_F(HandleReads, RatesAndReportsTakeTheirOwnUnits) {
  ASSERT_NE(printer, nullptr);
  int32_t count = 0;
  uint32_t rates[7] = {};
  ASSERT_EQ(tauravat_read_vat(printer.get(), &count, rates), TAURAVAT_OK);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(std::vector<uint32_t>(rates, rates + 7),
            (std::vector<uint32_t>{2300, 800, 500, 0, 10000, 25500, 25500}));
  const uint32_t wanted[7] = {2300, 800, 500, 0, 10000, 2000, TAURAVAT_RATE_RESERVED};
  EXPECT_EQ(tauravat_set_vat(printer.get(), &count, wanted), TAURAVAT_OK);
  EXPECT_EQ(emulated.WithPrinter([](Printer& p) { return p.Memory().Rates()[5]; }), 2000);

  // Four-digit years; everything out of range is refused before anything is printed.
  const std::string paper = emulated.Paper();
  EXPECT_EQ(tauravat_period_report(printer.get(), TAURAVAT_REPORT_SHORT, 1999, 1, 1, 2026, 1, 31),
            TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_monthly_report(printer.get(), TAURAVAT_REPORT_DETAILED, 2026, 13),
            TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_number_report(printer.get(), TAURAVAT_REPORT_SHORT, 1, 70000),
            TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_number_report(printer.get(), 2, 1, 2), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_write_line_feed(printer.get(), 256), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_print_control(printer.get(), 2), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(emulated.Paper(), paper);
  EXPECT_EQ(tauravat_daily_report(printer.get(), 0), TAURAVAT_E_NO_SALES_SINCE_REPORT);
  EXPECT_EQ(tauravat_daily_report(printer.get(), 1), TAURAVAT_OK);
}

}  // namespace
}  // namespace tauravat_test
