// Receipt state against the scripted line: refusals, printer cancellations, the bounds
// of an item line, reconnection, the tables and the totals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "messages.hpp"
#include "printer.hpp"
#include "receipt_fixture.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

TEST_F(ScriptedReceipt, EndAnsweredByNak) {
  Begin();
  line_->Reply(0x24, {0x15});
  EXPECT_EQ(::ReceiptEnd(0), 0);  // nothing sold: nothing lost
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);

  // With a sale: refused, and the status shows no cancellation, so the printer still
  // holds the receipt (the caller may end it again or cancel it).
  Begin();
  Sale(1, 100);
  line_->Reply(0x24, {0x15});
  EXPECT_EQ(::ReceiptEnd(0), kNak);
  EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
  // Refused and cancelled: the status says so, and the receipt is over.
  line_->Reply(0x24, {0x15});
  for (int guard = 0; guard < 2; ++guard) line_->Reply(0x95, {0x00});
  line_->Reply(0x95, {0x10});
  line_->Reply(0x95, {0x10});
  EXPECT_EQ(::ReceiptEnd(0), kReceiptCancelled);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
}

TEST_F(ScriptedReceipt, TwoHundredFiftySixLinesStillCountAsANonEmptyReceipt) {
  Begin();
  for (int i = 0; i < 256; ++i) Sale(1, 1);
  line_->Reply(0x24, {0x15});
  EXPECT_EQ(::ReceiptEnd(0), kNak);
}

TEST_F(ScriptedReceipt, CancelAnsweredByNak) {
  Begin();
  line_->Reply(0x23, {0x15});
  EXPECT_EQ(::ReceiptCancel(), 0);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);

  Begin();
  Sale(1, 100);
  Sale(2, 50);
  line_->Reply(0x23, {0x15});
  EXPECT_EQ(::ReceiptCancel(), kNak);
  EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
  EXPECT_EQ(Sent(0x07).back(), Le32(150));
  // Still open, so it can be cancelled again.
  line_->Reply(0x23, {0x06});
  EXPECT_EQ(::ReceiptCancel(), 0);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
}

TEST_F(ScriptedReceipt, ReceiptLeftOpenByAFailedEndCanStillBeEnded) {
  Begin();
  Sale(1, 100);
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);  // 0x24 unanswered
  EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
  line_->Reply(0x24, {0x06});
  EXPECT_EQ(::ReceiptEnd(0), 0);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_EQ(::ReceiptEnd(0), kReceiptNotOpen);
  EXPECT_EQ(::ReceiptCancel(), kReceiptNotOpen);
}

TEST_F(ScriptedReceipt, StatusGuardReportsAPrinterCancelledReceipt) {
  Begin();
  line_->Reply(0x95, {0x10});
  line_->Reply(0x95, {0x10});  // confirmed by a second read
  int32_t wartosc = 0;
  EXPECT_EQ(::ReceiptItem(1, "Towar testowy nr 1", 1, 0, 1, 0, "szt", 100, wartosc),
            kReceiptCancelled);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_TRUE(Sent(0x06).empty());
  EXPECT_EQ(::ReceiptItem(1, "Towar testowy nr 1", 1, 0, 1, 0, "szt", 100, wartosc),
            kReceiptNotOpen);

  // Found by the status read after the end was acknowledged.
  Begin();
  Sale(1, 100);
  line_->Reply(0x24, {0x06});
  line_->Reply(0x95, {0x00});
  line_->Reply(0x95, {0x00});
  line_->Reply(0x95, {0x00});
  line_->Reply(0x95, {0x00});
  line_->Reply(0x95, {0x10});
  line_->Reply(0x95, {0x10});
  EXPECT_EQ(::ReceiptEnd(0), kReceiptCancelled);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);

  Begin();
  line_->Reply(0x95, {0x10});
  line_->Reply(0x95, {0x10});
  EXPECT_EQ(::ReceiptCancel(), kReceiptCancelled);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);

  // A byte with the bit that a second read does not repeat was garbled on the line.
  Begin();
  line_->Reply(0x95, {0x15});
  EXPECT_EQ(::ReceiptItem(1, "Towar testowy nr 1", 1, 0, 1, 0, "szt", 100, wartosc), kOk);
  EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
}

// After an acknowledged end whose status cannot be read, the receipt counter decides;
// when that cannot be read either, the exchange's code is all the till can be told.
TEST_F(ScriptedReceipt, AcknowledgedEndWithoutStatusIsToldByTheReceiptCounter) {
  const auto endWithoutStatus = [this] {
    Begin();
    Sale(1, 100);
    line_->Forget(0x95);
    for (int guard = 0; guard < 4; ++guard) line_->Reply(0x95, {0x00});
    line_->Reply(0x24, {0x06});
  };
  endWithoutStatus();
  // The counter moved: printed, but its printout cannot be followed.
  line_->Reply(0x66, {0x06, 0x06, 0x00});
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);

  line_->Always(0x95, {0x00});
  endWithoutStatus();
  EXPECT_EQ(::ReceiptEnd(0), kReceiptCancelled);  // still 5: the printer cancelled it
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);

  line_->Always(0x95, {0x00});
  endWithoutStatus();
  line_->Forget(0x66);
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);
  const auto commands = line_->Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x66), 1);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x23), 0);
  // The printer has closed the receipt: it is not open any more, and ReceiptEnd asks
  // again when called again.
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  line_->Always(0x95, {0x00});
  line_->Always(0x66, {0x06, 0x06, 0x00});
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(::ReceiptEnd(0), kReceiptNotOpen);
}

struct BadItem {
  const char* what;
  uint8_t deviceType;
  int32_t stawka, komunikat, ilosc, mp, cena, wartosc;
  const char* name;
  int32_t code;
};

TEST_F(ScriptedReceipt, EveryBoundIsRefusedBeforeAnythingIsSent) {
  const char* good = "Towar testowy nr 1";
  const BadItem cases[] = {
      {"name", 7, 1, 0, 1, 0, 100, 0, "ab - cd", kNameTooShort},
      {"name on a TAURA I", 2, 1, 0, 1, 0, 100, 0, "abc defgh", kNameTooShort},
      {"name with a euro sign", 7, 1, 0, 1, 0, 100, 0, "Kawa espresso 5 \x80",
       kParameterOutOfRange},
      {"name with a line feed", 7, 1, 0, 1, 0, 100, 0, "Kawa\nespresso duza", kParameterOutOfRange},
      {"rate 0", 7, 0, 0, 1, 0, 100, 0, good, kRateOutOfRange},
      {"rate 8", 7, 8, 0, 1, 0, 100, 0, good, kRateOutOfRange},
      {"rate F on RX820A", 0, 6, 0, 1, 0, 100, 0, good, kRateOutOfRange},
      {"message 8", 7, 1, 8, 1, 0, 100, 0, good, kMessageOutOfRange},
      {"message -1", 7, 1, -1, 1, 0, 100, 0, good, kMessageOutOfRange},
      {"quantity 0", 7, 1, 0, 0, 0, 100, 0, good, kQuantityOutOfRange},
      {"quantity 10^7", 7, 1, 0, 10'000'000, 0, 1, 0, good, kQuantityOutOfRange},
      {"quantity 10^6 on TAURA I", 2, 1, 0, 1'000'000, 3, 1, 0, good, kQuantityOutOfRange},
      {"decimals 5", 7, 1, 0, 1, 5, 100, 0, good, kDecimalsOutOfRange},
      {"decimals -1", 7, 1, 0, 1, -1, 100, 0, good, kDecimalsOutOfRange},
      {"price 0", 7, 1, 0, 1, 0, 0, 0, good, kPriceOutOfRange},
      {"price 10^9", 7, 1, 0, 1, 0, 1'000'000'000, 0, good, kPriceOutOfRange},
      {"line value", 7, 1, 0, 9'999'999, 0, 999, 0, good, kLineValueTooLarge},
      {"line value wrapping 32 bits", 7, 1, 0, 5'000'000, 0, 900'000'000, 0, good,
       kLineValueTooLarge},
      {"caller's value", 7, 1, 0, 1, 0, 1, 1'000'000'000, good, kLineValueTooLarge},
  };
  Begin();
  for (const auto& bad : cases) {
    DefaultPrinter().DeviceType = bad.deviceType;
    int32_t wartosc = bad.wartosc;
    line_->ClearRecord();
    EXPECT_EQ(::ReceiptItem(1, bad.name, bad.stawka, bad.komunikat, bad.ilosc, bad.mp, "szt",
                            bad.cena, wartosc),
              bad.code)
        << bad.what;
    EXPECT_TRUE(line_->Written().empty()) << bad.what;
    EXPECT_EQ(wartosc, bad.wartosc) << bad.what;
  }
  // A unit the printer cannot print; not even a lost connection is opened again for it.
  int32_t unitValue = 0;
  line_->ClearRecord();
  EXPECT_EQ(::ReceiptItem(1, good, 1, 0, 1, 0, "kg\x95", 100, unitValue), kParameterOutOfRange);
  DefaultPrinter().Connected = false;
  EXPECT_EQ(::ReceiptItem(1, good, 1, 0, 1, 0, "\x99", 100, unitValue), kParameterOutOfRange);
  EXPECT_TRUE(line_->Written().empty());
  DefaultPrinter().Connected = true;
  EXPECT_EQ(DefaultPrinter().LastItemValue, 0);
  EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
  EXPECT_EQ(DefaultPrinter().ItemCount, 0);
  for (size_t rate = 0; rate < DefaultPrinter().RateTotals.size(); ++rate)
    EXPECT_EQ(DefaultPrinter().RateTotals[rate], 0);
  // A caller's value that disagrees with quantity × price is not refused.
  DefaultPrinter().DeviceType = 7;
  int32_t wartosc = 7;
  EXPECT_EQ(::ReceiptItem(1, good, 1, 7, 9'999'999, 4, "szt", 999'999'999, wartosc), 0);
  EXPECT_EQ(Sent(0x06).size(), 1u);
}

TEST_F(ScriptedReceipt, PackageLineIsSentAfterAReconnection) {
  Begin();
  DefaultPrinter().Connected = false;
  const int opened = line_->OpenCount();
  line_->Reply(0x17, {}, 10, {0x06});
  EXPECT_EQ(::PackageItem(0, 1, 2, 3), 0);
  EXPECT_EQ(line_->OpenCount(), opened + 1);
  ASSERT_EQ(Sent(0x17).size(), 1u);
  EXPECT_EQ(Sent(0x17)[0][0], ' ');
  EXPECT_EQ(Sent(0x17)[0][1], 'S');
}

TEST_F(ScriptedReceipt, ExtraLineTableLimits) {
  int32_t free = -1;
  EXPECT_EQ(::FillLines(16, "x", free), kParameterOutOfRange);
  EXPECT_EQ(::FillLines(1, std::string(254, 'x'), free), kParameterOutOfRange);
  // Its length is the printed one: "…" goes out as three characters.
  EXPECT_EQ(::FillLines(1, std::string(251, 'x') + "\x85", free), kParameterOutOfRange);
  EXPECT_EQ(::FillLines(1, "Linia\ndruga", free), kParameterOutOfRange);
  EXPECT_EQ(::FillLines(1, "Cena w \x80", free), kParameterOutOfRange);
  EXPECT_EQ(free, -1);
  EXPECT_EQ(DefaultPrinter().ExtraLineTable[1].code, 0xFF);
  // Text past a NUL is not part of the line, so this one fits.
  EXPECT_EQ(::FillLines(1, std::string(10, 'x') + '\0' + std::string(300, 'y'), free), 0);
  EXPECT_EQ(DefaultPrinter().ExtraLineTable[1].text, std::string(10, 'x'));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(::FillLines(i, "line", free), 0);
  EXPECT_EQ(free, 0);
  EXPECT_EQ(::FillLines(1, "seventh", free), kNoFreeLines);
  EXPECT_EQ(::EraseLines(), 0);
  EXPECT_EQ(::FillLines(1, "after erase", free), 0);
  EXPECT_EQ(free, 5);
  EXPECT_EQ(DefaultPrinter().ExtraLineTable[1].text, "after erase");
}

TEST_F(ScriptedReceipt, NewExtraLineNeverOverwritesOneStillWaiting) {
  // As a failed end leaves the table: slots 1 and 2 sent and freed, 3 still waiting.
  int32_t free = 0;
  for (const char* text : {"one", "two", "three"}) ASSERT_EQ(::FillLines(1, text, free), 0);
  DefaultPrinter().ExtraLineTable[1] = ExtraLine{};
  DefaultPrinter().ExtraLineTable[2] = ExtraLine{};
  ASSERT_EQ(::FillLines(2, "four", free), 0);
  EXPECT_EQ(free, 4);
  EXPECT_EQ(DefaultPrinter().ExtraLineTable[1].text, "four");
  EXPECT_EQ(DefaultPrinter().ExtraLineTable[3].text, "three");
}

TEST_F(ScriptedReceipt, TotalSelectorIsExactAndItsRateMustBeInUse) {
  // Rate C reserved; A holds 2^32 (the fifth byte), G 1 grosz.
  line_->Always(0xD1, {0x06, 0x08, 0x98, 0x02, 0xEE, 0x80, 0, 0x01, 0xF4, 0, 0, 0x40, 0, 5, 0});
  std::vector<uint8_t> totals = {0x06, 0, 0, 0, 0, 1};
  totals.resize(36, 0);
  totals[31] = 1;
  line_->Always(0xDA, totals);
  std::string total = "unchanged";
  EXPECT_EQ(::ReadSelTotal("C", total), kRateUndefined);
  EXPECT_EQ(::ReadSelTotal("a", total), kParameterNOutOfRange);
  EXPECT_EQ(::ReadSelTotal("AB", total), kParameterNOutOfRange);
  EXPECT_EQ(total, "unchanged");
  char buffer[32] = "x";
  EXPECT_EQ(::pReadSelTotal("G", buffer), 0);
  EXPECT_STREQ(buffer, "1");
  EXPECT_EQ(::pReadSelTotal("+", buffer), 0);
  EXPECT_STREQ(buffer, "4294967297");
  Begin();
  EXPECT_EQ(::ReadTotal(total), kReceiptOpen);
  EXPECT_EQ(::ReadSelTotal("+", total), kReceiptOpen);
}

TEST_F(ScriptedReceipt, TotalsOnlyFromModelsThatKeepThem) {
  line_->Always(0xFF, {0x06, 0x02});  // RX820A
  std::string total;
  EXPECT_EQ(::ReadTotal(total), kUnsupportedCommand);
  EXPECT_EQ(::ReadSelTotal("+", total), kUnsupportedCommand);
  EXPECT_TRUE(Sent(0xDA).empty());
}

TEST_F(ScriptedReceipt, NullPointersNeverCrashAndNullBuffersSendNothing) {
  EXPECT_EQ(::pReadTotal(nullptr), kEmptyBuffer);
  EXPECT_EQ(::pReadSelTotal("+", nullptr), kEmptyBuffer);
  EXPECT_TRUE(line_->Written().empty());
  char buffer[32];
  EXPECT_EQ(::pReadSelTotal(nullptr, buffer), kInternalError);
  int32_t value = 0;
  EXPECT_EQ(::pFillLines(1, nullptr, &value), kInternalError);
  EXPECT_EQ(::pFillLines(1, "text", nullptr), kInternalError);
  EXPECT_EQ(::pFillPayment(1, nullptr, 1, 1), kInternalError);
  Begin();
  EXPECT_EQ(::pReceiptItem(1, nullptr, 1, 0, 1, 0, "szt", 100, &value), kInternalError);
  EXPECT_EQ(::pReceiptItem(1, "Towar testowy nr 1", 1, 0, 1, 0, nullptr, 100, &value),
            kInternalError);
  EXPECT_EQ(::pReceiptItem(1, "Towar testowy nr 1", 1, 0, 1, 0, "szt", 100, nullptr),
            kInternalError);
  EXPECT_TRUE(Sent(0x06).empty());
  EXPECT_EQ(::pReceiptItem(1, "Towar testowy nr 1", 1, 0, 1, 0, "szt", 100, &value), 0);
  EXPECT_EQ(value, 100);
}

}  // namespace
}  // namespace kestradr::testing
