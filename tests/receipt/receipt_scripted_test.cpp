// The receipt against the scripted line: the exact bytes of its sequences, and the
// refusals, bounds, tables and totals where the bytes a real printer never sends matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "cp1250.hpp"
#include "driver_fixture.hpp"
#include "messages.hpp"
#include "printer.hpp"
#include "printer_text.hpp"
#include "receipt.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

// A LUNO idle and ready for a receipt, every rate in use (A 22 %, B 8 %, C 5 %, D 0 %,
// E exempt, F 7 %, G 3 %), five receipts since the daily report.
class ScriptedReceipt : public ScriptedDriver {
 protected:
  void SetUp() override {
    ScriptedDriver::SetUp();
    line_->Always(
        0xD1, {0x06, 0x08, 0x98, 0x03, 0x20, 0x01, 0xF4, 0, 0, 0x40, 0, 0x02, 0xBC, 0x01, 0x2C});
    line_->Always(0x66, {0x06, 0x05, 0x00});
    PrinterInternals(DefaultPrinter()).ItemCount() = 0;
    Connect(7);
  }
  // Begins a receipt through the real preconditions, then forgets the traffic.
  void Begin() {
    line_->Reply(0x21, {0x06});
    ASSERT_EQ(::ReceiptBegin(), 0);
    ASSERT_TRUE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
    line_->ClearRecord();
  }
  int32_t End(int32_t rabat, uint8_t answer = 0x06) {
    line_->Reply(0x24, {answer});
    return ::ReceiptEnd(rabat);
  }
  // One sale line of `value` grosz (1 × value) at `rate`.
  void Sale(int32_t rate, int32_t value) {
    int32_t wartosc = 0;
    ASSERT_EQ(::ReceiptItem(1, "Towar testowy nr 1", rate, 0, 1, 0, "szt", value, wartosc), 0);
    ASSERT_EQ(wartosc, value);
  }
};

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(PrinterText, TypographicPunctuationTakesItsPlainForm) {
  // „Müller” ‚x‘ ’ “y” – — …, a no-break space between.
  EXPECT_EQ(PlainText("\x84M\xFCller\x94 \x82x\x91\x92\x93y\x94\xA0\x96\x97\x85"),
            "\"M\xFCller\" 'x''\"y\" --...");
  // The ellipsis takes three characters of the field and is cut with it.
  EXPECT_EQ(PlainText("Kawa\x85 mleko", 6), "Kawa..");
  EXPECT_EQ(PlainText("Kawa\x85", 28), "Kawa...");
}

TEST(PrinterText, CharactersThePrinterCannotPrintAreRefused) {
  // Controls, the five bytes code page 1250 leaves undefined, and € ‰ † ‡ ‹ › • ™ ¦ © ® ± µ ¶ ·.
  std::string refused;
  for (int c = 0; c < 0x20; ++c) refused += static_cast<char>(c);
  refused += "\x7F\x81\x83\x88\x90\x98\x80\x89\x86\x87\x8B\x9B\x95\x99\xA6\xA9\xAE\xB1\xB5\xB6\xB7";
  for (int c = 0; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ(PlainText("ab" + one).has_value(), refused.find(one) == std::string::npos) << c;
  }
  // Only what is kept is looked at: a name's tail past its field does not matter.
  EXPECT_EQ(PlainText("Kawa \x80", 5), "Kawa ");
  EXPECT_FALSE(PlainText("Kawa \x80", 6));
}

TEST_F(ScriptedReceipt, ItemLineBytesRateCodesAndCancellation) {
  Begin();
  int32_t wartosc = 0;
  // 31 characters: the last three are cut. The unit is translated as the name is.
  const std::string name = Cp1250("Żółć wiśniowa 0,5l ZAKŁADY ŁÓDŹ");
  ASSERT_EQ(::ReceiptItem(1, name, 5, 3, 1500, 3, Cp1250("łyż"), 199, wartosc), 0);
  EXPECT_EQ(wartosc, 299);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).LastItemValue(), 299);
  // Blank (a sale), name, message, quantity, decimals, unit, price, ESC, rate E as 6, value.
  const auto name8 =
      Bytes(std::string("\xBD\xA2\x88\x86 wi\x98niowa 0,5l ZAK\x9D") + "ADY \x9D" + "3");
  EXPECT_EQ(
      Sent(0x06),
      Sequences{Concat(
          {{' '}, name8, Le32(1500), {3, 0x88, 'y', 0xBE, ' '}, Le32(199), {0x1B, 6}, Le32(299)})});
  // Item lines are not acknowledged: the only other traffic is the status guard.
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x95, 0x06}));
  line_->ClearRecord();
  for (int32_t rate = 1; rate <= 7; ++rate) Sale(rate, 100 * rate);
  const uint8_t codes[] = {1, 2, 3, 4, 6, 7, 5};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(Sent(0x06).at(i).at(44), codes[i]) << i + 1;
  // A cancellation: "-", the name padded with blanks, the caller's value as it is; subtracted.
  line_->ClearRecord();
  wartosc = 12345;
  ASSERT_EQ(::ReceiptItem(0, "Mleko 2%", 2, 0, 1, 0, "l", 100, wartosc), 0);
  EXPECT_EQ(wartosc, 12345);
  const auto cancelled = Sent(0x06).at(0);
  EXPECT_EQ(std::string(cancelled.begin(), cancelled.begin() + 29),
            "-Mleko 2%" + std::string(20, ' '));
  EXPECT_EQ(std::vector<uint8_t>(cancelled.begin() + 45, cancelled.end()), Le32(12345));
  const auto& totals = PrinterInternals(DefaultPrinter()).RateTotals();
  EXPECT_EQ(std::tuple(totals[2], totals[5], totals[7]), std::tuple(200 - 12345, 299 + 500, 700));
}

TEST_F(ScriptedReceipt, NoDiscountOutsideOneToNinetyNine) {
  for (const int32_t rabat : {0, 100, -5}) {
    Begin();
    Sale(1, 1005);
    ASSERT_EQ(End(rabat), 0) << rabat;
    EXPECT_TRUE(Sent(0x1B).empty()) << rabat;
    EXPECT_EQ(Sent(0x07), Sequences{Le32(1005)}) << rabat;
  }
}

TEST_F(ScriptedReceipt, TablesGoOutWithTheEndThenTheSlotsEmpty) {
  ASSERT_EQ(::FillPayment(2, Cp1250("Karta płatnicza VISA"), 1234, 0x01020304), 0);
  ASSERT_EQ(::FillPayment(4, Cp1250("Gotówka"), 5000, -1), 0);
  // Names the printer cannot print are refused when filled, not when the receipt ends.
  for (const auto& [slot, name] : {std::pair{5, "Bon"}, {0, "Bon"}, {1, "Karta\x99"}, {1, "Bon\t"}})
    EXPECT_EQ(::FillPayment(slot, name, 1, 1), TAURAVAT_E_PARAMETER_RANGE) << slot << name;
  EXPECT_TRUE(PrinterInternals(DefaultPrinter()).PaymentTable()[1].name.empty());
  int32_t free = -1;
  ASSERT_EQ(::FillLines(3, Cp1250("Dziękujemy"), free), 0);
  EXPECT_EQ(free, 5);
  ASSERT_EQ(::FillLines(15, "", free), 0);
  ASSERT_EQ(::FillLines(0, std::string(253, 'x'), free), 0);
  EXPECT_EQ(free, 3);
  Begin();
  Sale(1, 6234);
  ASSERT_EQ(End(0), 0);
  const auto card = Bytes(std::string("Karta p\x88") + "atnic");  // the first 13 characters
  const auto cash = Bytes("Got\xA2wka      ");
  EXPECT_EQ(Sent(0x81),
            (Sequences{Concat({{2}, card, Le32(1234)}), Concat({{4}, cash, Le32(5000)})}));
  EXPECT_EQ(Sent(0x82),
            (Sequences{Concat({{2}, card, Le32(0x01020304)}), Concat({{4}, cash, Le32(-1)})}));
  // Code "0" + 15 is "?"; the longest line goes out whole.
  EXPECT_EQ(Sent(0x09), (Sequences{Concat({{'3'}, Bytes("Dzi\xA9kujemy"), {0x0A}}),
                                   {'?', 0x0A},
                                   Concat({{'0'}, Bytes(std::string(253, 'x')), {0x0A}})}));
  // The total, then the payments, the extra lines and the end.
  std::vector<uint8_t> order;
  for (const uint8_t command : line_->Commands())
    if (command != 0x95 && command != 0x06 && (order.empty() || order.back() != command))
      order.push_back(command);
  EXPECT_EQ(order, (std::vector<uint8_t>{0x07, 0x81, 0x82, 0x81, 0x82, 0x09, 0x24}));
  for (size_t slot = 1; slot <= 6; ++slot) {
    EXPECT_TRUE(slot > 4 || PrinterInternals(DefaultPrinter()).PaymentTable()[slot].name.empty())
        << slot;
    EXPECT_EQ(PrinterInternals(DefaultPrinter()).ExtraLineTable()[slot].code, 0xFF) << slot;
  }
  // A model without payment forms keeps them.
  ASSERT_EQ(::FillPayment(1, "Gotowka", 100, 0), 0);
  Begin();
  PrinterInternals(DefaultPrinter()).DeviceType() = 2;
  ASSERT_EQ(End(0), 0);
  EXPECT_TRUE(Sent(0x81).empty());
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).PaymentTable()[1].name, "Gotowka      ");
}

TEST_F(ScriptedReceipt, PackageLineAndSubtotal) {
  Begin();
  line_->Reply(0x17, {}, 10, {0x06});
  EXPECT_EQ(::PackageItem(3, 0x0102, 0xA0B0, 250), 0);
  EXPECT_EQ(Sent(0x17), Sequences{Concat({Bytes("-Z"), {0x02, 0x01, 0xB0, 0xA0}, Le32(250)})});
  line_->Reply(0x17, {}, 10, {0x15});
  EXPECT_EQ(::PackageItem(0, 1, 1, 1), TAURAVAT_E_NAK);
  EXPECT_EQ(::PackageItem(1, 1, 1, 1), TAURAVAT_E_RECEIVE_TIMEOUT);  // no answer after the line
  line_->ClearRecord();
  EXPECT_EQ(::PackageItem(4, 1, 1, 1), TAURAVAT_E_PACKAGE_KIND_RANGE);
  EXPECT_EQ(line_->Commands(), std::vector<uint8_t>{0x95});  // refused after the guard
  line_->ClearRecord();
  EXPECT_EQ(::PrintSubtotal(), 0);
  EXPECT_EQ(line_->Sequences().size(), 1u);
  EXPECT_TRUE(Sent(0x80).at(0).empty());
  PrinterInternals(DefaultPrinter()).DeviceType() = 0;
  EXPECT_EQ(::PackageItem(0, 1, 1, 1), TAURAVAT_E_COMMAND_UNAVAILABLE);
  EXPECT_EQ(::PrintSubtotal(), TAURAVAT_E_COMMAND_UNAVAILABLE);
}

TEST_F(ScriptedReceipt, TwoHundredFiftySixLinesStillCountAsANonEmptyReceipt) {
  Begin();
  for (int i = 0; i < 256; ++i) Sale(1, 1);
  EXPECT_EQ(End(0, 0x15), TAURAVAT_E_NAK);
}

TEST_F(ScriptedReceipt, CancelAnsweredByNak) {
  Begin();
  line_->Reply(0x23, {0x15});
  EXPECT_EQ(::ReceiptCancel(), 0);
  EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
  Begin();
  Sale(1, 100);
  Sale(2, 50);
  line_->Reply(0x23, {0x15});
  EXPECT_EQ(::ReceiptCancel(), TAURAVAT_E_NAK);
  EXPECT_TRUE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
  EXPECT_EQ(Sent(0x07).back(), Le32(150));
  // Still open, so it can be cancelled again.
  line_->Reply(0x23, {0x06});
  EXPECT_EQ(::ReceiptCancel(), 0);
  EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
}

// An acknowledged end without status is told by the receipt counter, else by the exchange.
TEST_F(ScriptedReceipt, AcknowledgedEndWithoutStatusIsToldByTheReceiptCounter) {
  const auto endWithoutStatus = [this] {
    line_->Always(0x95, {0x00});
    Begin();
    Sale(1, 100);
    line_->Forget(0x95);
    for (int guard = 0; guard < 4; ++guard) line_->Reply(0x95, {0x00});
    line_->Reply(0x24, {0x06});
  };
  // The counter moved: printed, but not followed; still 5: the printer cancelled it.
  for (const auto& [counter, code] : {std::pair<uint8_t, int32_t>{6, TAURAVAT_E_RECEIVE_TIMEOUT},
                                      {5, TAURAVAT_E_RECEIPT_CANCELLED}}) {
    endWithoutStatus();
    line_->Reply(0x66, {0x06, counter, 0x00});
    EXPECT_EQ(::ReceiptEnd(0), code);
    EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
  }
  endWithoutStatus();
  line_->Forget(0x66);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIVE_TIMEOUT);
  const auto commands = line_->Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x66), 1);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x23), 0);
  // Closed by the printer, so not open any more; ReceiptEnd asks again when called again.
  EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
  line_->Always(0x95, {0x00});
  line_->Always(0x66, {0x06, 0x06, 0x00});
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIPT_NOT_OPEN);
}

struct BadItem {
  uint8_t deviceType;
  int32_t stawka, komunikat, ilosc, mp, cena, wartosc;
  const char* name;
  int32_t code;
};

TEST_F(ScriptedReceipt, EveryBoundIsRefusedBeforeAnythingIsSent) {
  const char* good = "Towar testowy nr 1";
  const BadItem cases[] = {
      {7, 1, 0, 1, 0, 100, 0, "ab - cd", TAURAVAT_E_NAME_TOO_SHORT},
      {2, 1, 0, 1, 0, 100, 0, "abc defgh", TAURAVAT_E_NAME_TOO_SHORT},
      {7, 1, 0, 1, 0, 100, 0, "Kawa espresso 5 \x80", TAURAVAT_E_PARAMETER_RANGE},
      {7, 1, 0, 1, 0, 100, 0, "Kawa\nespresso duza", TAURAVAT_E_PARAMETER_RANGE},
      {7, 0, 0, 1, 0, 100, 0, good, TAURAVAT_E_RATE_RANGE},
      {7, 8, 0, 1, 0, 100, 0, good, TAURAVAT_E_RATE_RANGE},
      {0, 6, 0, 1, 0, 100, 0, good, TAURAVAT_E_RATE_RANGE},
      {7, 1, 8, 1, 0, 100, 0, good, TAURAVAT_E_MESSAGE_RANGE},
      {7, 1, -1, 1, 0, 100, 0, good, TAURAVAT_E_MESSAGE_RANGE},
      {7, 1, 0, 0, 0, 100, 0, good, TAURAVAT_E_QUANTITY_RANGE},
      {7, 1, 0, 10'000'000, 0, 1, 0, good, TAURAVAT_E_QUANTITY_RANGE},
      {2, 1, 0, 1'000'000, 3, 1, 0, good, TAURAVAT_E_QUANTITY_RANGE},
      {7, 1, 0, 1, 5, 100, 0, good, TAURAVAT_E_DECIMALS_RANGE},
      {7, 1, 0, 1, -1, 100, 0, good, TAURAVAT_E_DECIMALS_RANGE},
      {7, 1, 0, 1, 0, 0, 0, good, TAURAVAT_E_PRICE_RANGE},
      {7, 1, 0, 1, 0, 1'000'000'000, 0, good, TAURAVAT_E_PRICE_RANGE},
      {7, 1, 0, 9'999'999, 0, 999, 0, good, TAURAVAT_E_LINE_VALUE_TOO_LARGE},
      {7, 1, 0, 5'000'000, 0, 900'000'000, 0, good, TAURAVAT_E_LINE_VALUE_TOO_LARGE},
      {7, 1, 0, 1, 0, 1, 1'000'000'000, good, TAURAVAT_E_LINE_VALUE_TOO_LARGE},
  };
  Begin();
  for (const auto& bad : cases) {
    SCOPED_TRACE(&bad - cases);
    PrinterInternals(DefaultPrinter()).DeviceType() = bad.deviceType;
    int32_t wartosc = bad.wartosc;
    EXPECT_EQ(::ReceiptItem(1, bad.name, bad.stawka, bad.komunikat, bad.ilosc, bad.mp, "szt",
                            bad.cena, wartosc),
              bad.code);
    EXPECT_EQ(wartosc, bad.wartosc);
  }
  // Nor a unit it cannot print, not even on a lost connection; none of these sent a byte.
  int32_t unitValue = 0;
  EXPECT_EQ(::ReceiptItem(1, good, 1, 0, 1, 0, "kg\x95", 100, unitValue),
            TAURAVAT_E_PARAMETER_RANGE);
  PrinterInternals(DefaultPrinter()).Connected() = false;
  EXPECT_EQ(::ReceiptItem(1, good, 1, 0, 1, 0, "\x99", 100, unitValue), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_TRUE(line_->Written().empty());
  PrinterInternals(DefaultPrinter()).Connected() = true;
  PrinterInternals p(DefaultPrinter());
  EXPECT_EQ(std::tuple(p.LastItemValue(), p.ReceiptOpen(), p.ItemCount()), std::tuple(0, true, 0));
  for (const auto total : p.RateTotals()) EXPECT_EQ(total, 0);
  // A caller's value that disagrees with quantity × price is not refused.
  PrinterInternals(DefaultPrinter()).DeviceType() = 7;
  int32_t wartosc = 7;
  EXPECT_EQ(::ReceiptItem(1, good, 1, 7, 9'999'999, 4, "szt", 999'999'999, wartosc), 0);
  EXPECT_EQ(Sent(0x06).size(), 1u);
}

TEST_F(ScriptedReceipt, ExtraLineTableLimits) {
  int32_t free = -1;
  EXPECT_EQ(::FillLines(16, "x", free), TAURAVAT_E_PARAMETER_RANGE);
  // Too long ("…" goes out as three characters) or not printable.
  for (const std::string& text : {std::string(254, 'x'), std::string(251, 'x') + "\x85",
                                  std::string("Linia\ndruga"), std::string("Cena w \x80")})
    EXPECT_EQ(::FillLines(1, text, free), TAURAVAT_E_PARAMETER_RANGE) << text;
  EXPECT_EQ(free, -1);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).ExtraLineTable()[1].code, 0xFF);
  // Text past a NUL is not part of the line, so this one fits.
  EXPECT_EQ(::FillLines(1, std::string(10, 'x') + '\0' + std::string(300, 'y'), free), 0);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).ExtraLineTable()[1].text, std::string(10, 'x'));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(::FillLines(i, "line", free), 0);
  EXPECT_EQ(free, 0);
  EXPECT_EQ(::FillLines(1, "seventh", free), TAURAVAT_E_NO_FREE_LINES);
  EXPECT_EQ(::EraseLines(), 0);
  EXPECT_EQ(::FillLines(1, "after erase", free), 0);
  EXPECT_EQ(free, 5);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).ExtraLineTable()[1].text, "after erase");
  // As a failed end leaves it: 1 and 2 sent and freed, 3 waiting, which is never overwritten.
  ASSERT_EQ(::EraseLines(), 0);
  for (const char* text : {"one", "two", "three"}) ASSERT_EQ(::FillLines(1, text, free), 0);
  PrinterInternals(DefaultPrinter()).ExtraLineTable()[1] = ExtraLine{};
  PrinterInternals(DefaultPrinter()).ExtraLineTable()[2] = ExtraLine{};
  ASSERT_EQ(::FillLines(2, "four", free), 0);
  EXPECT_EQ(free, 4);
  const auto& table = PrinterInternals(DefaultPrinter()).ExtraLineTable();
  EXPECT_EQ(table[1].text + "," + table[3].text, "four,three");
}

TEST_F(ScriptedReceipt, TotalsAreReadOnlyWhereTheyAreKept) {
  // Rate C reserved; A holds 2^32 (the fifth byte), G 1 grosz.
  line_->Always(0xD1, {0x06, 0x08, 0x98, 0x02, 0xEE, 0x80, 0, 0x01, 0xF4, 0, 0, 0x40, 0, 5, 0});
  std::vector<uint8_t> totals = {0x06, 0, 0, 0, 0, 1};
  totals.resize(36, 0);
  totals[31] = 1;
  line_->Always(0xDA, totals);
  std::string total = "unchanged";
  EXPECT_EQ(::ReadSelTotal("C", total), TAURAVAT_E_RATE_UNDEFINED);
  EXPECT_EQ(::ReadSelTotal("a", total), TAURAVAT_E_PARAMETER_N_RANGE);
  EXPECT_EQ(::ReadSelTotal("AB", total), TAURAVAT_E_PARAMETER_N_RANGE);
  EXPECT_EQ(total, "unchanged");
  char buffer[32] = "x";
  for (const auto& [selector, text] : {std::pair{"G", "1"}, {"+", "4294967297"}}) {
    EXPECT_EQ(::pReadSelTotal(selector, buffer), 0);
    EXPECT_STREQ(buffer, text);
  }
  Begin();
  EXPECT_EQ(::ReadTotal(total), TAURAVAT_E_RECEIPT_OPEN);
  EXPECT_EQ(::ReadSelTotal("+", total), TAURAVAT_E_RECEIPT_OPEN);
  // Only from models that keep them.
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  line_->Always(0xFF, {0x06, 0x02});  // RX820A
  line_->ClearRecord();
  EXPECT_EQ(::ReadTotal(total), TAURAVAT_E_UNSUPPORTED_COMMAND);
  EXPECT_EQ(::ReadSelTotal("+", total), TAURAVAT_E_UNSUPPORTED_COMMAND);
  EXPECT_TRUE(Sent(0xDA).empty());
}

TEST_F(ScriptedReceipt, NullPointersNeverCrashAndNullBuffersSendNothing) {
  EXPECT_EQ(::pReadTotal(nullptr), TAURAVAT_E_EMPTY_BUFFER);
  EXPECT_EQ(::pReadSelTotal("+", nullptr), TAURAVAT_E_EMPTY_BUFFER);
  EXPECT_TRUE(line_->Written().empty());
  char buffer[32];
  EXPECT_EQ(::pReadSelTotal(nullptr, buffer), TAURAVAT_E_INTERNAL);
  int32_t value = 0;
  EXPECT_EQ(::pFillLines(1, nullptr, &value), TAURAVAT_E_INTERNAL);
  EXPECT_EQ(::pFillLines(1, "text", nullptr), TAURAVAT_E_INTERNAL);
  EXPECT_EQ(::pFillPayment(1, nullptr, 1, 1), TAURAVAT_E_INTERNAL);
  Begin();
  EXPECT_EQ(::pReceiptItem(1, nullptr, 1, 0, 1, 0, "szt", 100, &value), TAURAVAT_E_INTERNAL);
  const char* good = "Towar testowy nr 1";
  EXPECT_EQ(::pReceiptItem(1, good, 1, 0, 1, 0, nullptr, 100, &value), TAURAVAT_E_INTERNAL);
  EXPECT_EQ(::pReceiptItem(1, good, 1, 0, 1, 0, "szt", 100, nullptr), TAURAVAT_E_INTERNAL);
  EXPECT_TRUE(Sent(0x06).empty());
  EXPECT_EQ(::pReceiptItem(1, good, 1, 0, 1, 0, "szt", 100, &value), 0);
  EXPECT_EQ(value, 100);
}

}  // namespace
}  // namespace kestradr::testing
