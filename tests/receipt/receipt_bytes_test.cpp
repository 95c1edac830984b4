// The exact bytes of the receipt sequences, as the scripted line records them.
#include <gtest/gtest.h>

#include "cp1250.hpp"
#include "messages.hpp"
#include "printer.hpp"
#include "printer_text.hpp"
#include "receipt.hpp"
#include "receipt_fixture.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(PrinterText, EveryCharacterCodePage852HoldsGoesOutAsItsCodeThere) {
  // The 18 Polish letters keep the codes the printer has always been sent.
  const std::string letters = Cp1250("ĄĆĘŁŃÓŚŹŻąćęłńóśźż");
  const std::vector<uint8_t> expected = {0xA4, 0x8F, 0xA8, 0x9D, 0xE3, 0xE0, 0x97, 0x8D, 0xBD,
                                         0xA5, 0x86, 0xA9, 0x88, 0xE4, 0xA2, 0x98, 0xAB, 0xBE};
  EXPECT_EQ(Bytes(WindowsTextToPrinter(letters)), expected);
  // é ü ö ß Ü ä Ä č ř Š ž ô ý § ° ×
  EXPECT_EQ(Bytes(WindowsTextToPrinter(
                "\xE9\xFC\xF6\xDF\xDC\xE4\xC4\xE8\xF8\x8A\x9E\xF4\xFD\xA7\xB0\xD7")),
            (std::vector<uint8_t>{0x82, 0x81, 0x94, 0xE1, 0x9A, 0x84, 0x8E, 0x9F, 0xFD, 0xE6, 0xA7,
                                  0x93, 0xEC, 0xF5, 0xF8, 0x9E}));
  for (int c = 0x20; c < 0x7F; ++c) EXPECT_EQ(WindowsCharToPrinter(static_cast<char>(c)), c);
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

TEST(PrinterText, ArticleNameIsCutOrPaddedToItsFieldAndJudgedByDeviceType) {
  std::string prepared;
  DefaultPrinter().DeviceType = 2;
  EXPECT_EQ(PrepareArticleName(std::string("Chleb zytni\0ignored", 19), DefaultPrinter().DeviceType,
                               prepared),
            0);
  EXPECT_EQ(prepared, "Chleb zytni" + std::string(17, ' '));
  // Seven significant characters: enough for a LUNO, too few for a TAURA I.
  EXPECT_EQ(PrepareArticleName("  a-b cdefg  ", DefaultPrinter().DeviceType, prepared),
            kNameTooShort);
  DefaultPrinter().DeviceType = 7;
  EXPECT_EQ(PrepareArticleName("  a-b cdefg  ", DefaultPrinter().DeviceType, prepared), 0);
  EXPECT_EQ(PrepareArticleName("- - - ab", DefaultPrinter().DeviceType, prepared), kNameTooShort);
  // Only the first 28 characters count, blanks never do.
  EXPECT_EQ(PrepareArticleName(std::string(28, ' ') + "abcdefghijkl", DefaultPrinter().DeviceType,
                               prepared),
            kNameTooShort);
  DefaultPrinter().DeviceType = kDeviceNone;
}

TEST(LineValueTest, ExactProductRoundedHalfUp) {
  EXPECT_EQ(LineValue(1500, 3, 199), 299);  // 298.5
  EXPECT_EQ(LineValue(1499, 3, 199), 298);  // 298.301
  EXPECT_EQ(LineValue(3, 0, 250), 750);
  // 250 units at 20 000 zł: the product does not fit 32 bits.
  EXPECT_EQ(LineValue(2'500'000, 4, 2'000'000), 500'000'000);
  EXPECT_EQ(LineValue(9'999'999, 0, 999'999'999), int64_t{9'999'999} * 999'999'999);
}

TEST(DiscountedSumTest, HalfRoundsDownAboveHalfRoundsUp) {
  DefaultPrinter().RateTotals.fill(0);
  DefaultPrinter().RateTotals[1] = 1005;
  EXPECT_EQ(DefaultPrinter().DiscountedSum(10), 904);  // 904.5
  EXPECT_EQ(DefaultPrinter().DiscountedSum(0), 1005);
  DefaultPrinter().RateTotals[3] = 7;  // 6.3 → 6 ...
  DefaultPrinter().RateTotals[7] = 9;  // 8.1 → 8 ...
  EXPECT_EQ(DefaultPrinter().DiscountedSum(10), 904 + 6 + 8);
  DefaultPrinter().RateTotals[3] = 13;  // 11.7 → 12
  EXPECT_EQ(DefaultPrinter().DiscountedSum(10), 904 + 12 + 8);
  DefaultPrinter().RateTotals.fill(0);
}

TEST_F(ScriptedReceipt, ItemLineBlockByteByByte) {
  Begin();
  int32_t wartosc = 0;
  // 31 characters: the last three are cut. The unit is translated as the name is.
  const std::string name = Cp1250("Żółć wiśniowa 0,5l ZAKŁADY ŁÓDŹ");
  ASSERT_EQ(::ReceiptItem(1, name, 5, 3, 1500, 3, Cp1250("łyż"), 199, wartosc), 0);
  EXPECT_EQ(wartosc, 299);
  EXPECT_EQ(DefaultPrinter().LastItemValue, 299);

  const auto sent = Sent(0x06);
  ASSERT_EQ(sent.size(), 1u);
  const auto expected = Concat({
      {' '},
      Bytes("\xBD\xA2\x88\x86 wi\x98niowa 0,5l ZAK\x9D"
            "ADY \x9D"),
      {'3'},
      {0xDC, 0x05, 0x00, 0x00},  // 1500
      {3},
      {0x88, 'y', 0xBE, ' '},
      {199, 0, 0, 0},
      {0x1B},
      {6},                 // rate E travels as 6
      {0x2B, 0x01, 0, 0},  // 299
  });
  ASSERT_EQ(expected.size(), 49u);
  EXPECT_EQ(sent[0], expected);
  // Item lines are not acknowledged: the only other traffic is the status guard.
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x95, 0x06}));
  EXPECT_EQ(DefaultPrinter().RateTotals[5], 299);
}

TEST_F(ScriptedReceipt, RateCodesCancellationAndCallersOwnValue) {
  Begin();
  for (int32_t rate = 1; rate <= 7; ++rate) Sale(rate, 100 * rate);
  const auto sent = Sent(0x06);
  ASSERT_EQ(sent.size(), 7u);
  const uint8_t codes[] = {1, 2, 3, 4, 6, 7, 5};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(sent[i][44], codes[i]) << "rate " << i + 1;

  // A short name is padded with blanks; a cancellation starts with "-" and subtracts.
  line_->ClearRecord();
  int32_t wartosc = 12345;  // the caller's own value goes out as it is
  ASSERT_EQ(::ReceiptItem(0, "Mleko 2%", 2, 0, 1, 0, "l", 100, wartosc), 0);
  EXPECT_EQ(wartosc, 12345);
  const auto cancelled = Sent(0x06).at(0);
  EXPECT_EQ(cancelled[0], '-');
  EXPECT_EQ(std::string(cancelled.begin() + 1, cancelled.begin() + 29),
            "Mleko 2%" + std::string(20, ' '));
  EXPECT_EQ(std::vector<uint8_t>(cancelled.begin() + 45, cancelled.end()), Le32(12345));
  EXPECT_EQ(DefaultPrinter().RateTotals[2], 200 - 12345);
  EXPECT_EQ(DefaultPrinter().RateTotals[7], 700);
}

TEST_F(ScriptedReceipt, DiscountRoundsHalfDownAndTheSumGoesWithCommand07) {
  Begin();
  Sale(1, 1005);
  Sale(2, 2000);
  Sale(2, 500, 0);
  line_->Reply(0x24, {0x06});
  ASSERT_EQ(::ReceiptEnd(10), 0);
  EXPECT_EQ(Sent(0x1B), (std::vector<std::vector<uint8_t>>{{10}}));
  // 904.5 → 904 for A, 1350 for B.
  EXPECT_EQ(Sent(0x07), (std::vector<std::vector<uint8_t>>{Le32(904 + 1350)}));
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_EQ(DefaultPrinter().ItemCount, 0);
}

TEST_F(ScriptedReceipt, NoDiscountOutsideOneToNinetyNine) {
  for (const int32_t rabat : {0, 100, -5}) {
    Begin();
    Sale(1, 1005);
    line_->Reply(0x24, {0x06});
    ASSERT_EQ(::ReceiptEnd(rabat), 0) << rabat;
    EXPECT_TRUE(Sent(0x1B).empty()) << rabat;
    EXPECT_EQ(Sent(0x07), (std::vector<std::vector<uint8_t>>{Le32(1005)})) << rabat;
  }
}

TEST_F(ScriptedReceipt, PaymentBlocksGoWith81And82ThenTheSlotsEmpty) {
  ASSERT_EQ(::FillPayment(2, Cp1250("Karta płatnicza VISA"), 1234, 0x01020304), 0);
  ASSERT_EQ(::FillPayment(4, Cp1250("Gotówka"), 5000, -1), 0);
  EXPECT_EQ(::FillPayment(5, "Bon", 1, 1), kParameterOutOfRange);
  EXPECT_EQ(::FillPayment(0, "Bon", 1, 1), kParameterOutOfRange);
  // Refused when filled, not when the receipt ends; the slot stays empty.
  EXPECT_EQ(::FillPayment(1, "Karta\x99", 1, 1), kParameterOutOfRange);
  EXPECT_EQ(::FillPayment(1, "Bon\t", 1, 1), kParameterOutOfRange);
  EXPECT_TRUE(DefaultPrinter().PaymentTable[1].name.empty());
  Begin();
  Sale(1, 6234);
  line_->Reply(0x24, {0x06});
  ASSERT_EQ(::ReceiptEnd(0), 0);

  const auto card = Bytes(
      "Karta p\x88"
      "atnic");  // the first 13 characters
  const auto cash = Bytes("Got\xA2wka      ");
  EXPECT_EQ(Sent(0x81), (std::vector<std::vector<uint8_t>>{Concat({{2}, card, Le32(1234)}),
                                                           Concat({{4}, cash, Le32(5000)})}));
  EXPECT_EQ(Sent(0x82), (std::vector<std::vector<uint8_t>>{Concat({{2}, card, Le32(0x01020304)}),
                                                           Concat({{4}, cash, Le32(-1)})}));
  // Payments are announced before the extra lines, which come before the end.
  std::vector<uint8_t> order;
  for (const uint8_t command : line_->Commands())
    if (command == 0x07 || command == 0x81 || command == 0x82 || command == 0x24)
      order.push_back(command);
  EXPECT_EQ(order, (std::vector<uint8_t>{0x07, 0x81, 0x82, 0x81, 0x82, 0x24}));
  for (size_t slot = 1; slot <= 4; ++slot)
    EXPECT_TRUE(DefaultPrinter().PaymentTable[slot].name.empty());
}

TEST_F(ScriptedReceipt, PaymentNameIsCutAfterItsTypographyIsMadePlain) {
  // „Bon” – 30 dni: 14 characters once plain, the first 13 kept.
  ASSERT_EQ(::FillPayment(3,
                          "\x84"
                          "Bon\x94 \x96 30 dni",
                          100, 0),
            0);
  Begin();
  Sale(1, 100);
  line_->Reply(0x24, {0x06});
  ASSERT_EQ(::ReceiptEnd(0), 0);
  EXPECT_EQ(
      Sent(0x81),
      (std::vector<std::vector<uint8_t>>{Concat({{3}, Bytes("\"Bon\" - 30 dn"), Le32(100)})}));
}

TEST_F(ScriptedReceipt, PaymentsStayOnModelsWithoutPaymentForms) {
  ASSERT_EQ(::FillPayment(1, "Gotowka", 100, 0), 0);
  Begin();
  DefaultPrinter().DeviceType = 2;
  line_->Reply(0x24, {0x06});
  ASSERT_EQ(::ReceiptEnd(0), 0);
  EXPECT_TRUE(Sent(0x81).empty());
  EXPECT_EQ(DefaultPrinter().PaymentTable[1].name, "Gotowka      ");
}

TEST_F(ScriptedReceipt, ExtraLineBlocksGoWith09InSlotOrder) {
  int32_t free = -1;
  ASSERT_EQ(::FillLines(3, Cp1250("Dziękujemy"), free), 0);
  EXPECT_EQ(free, 5);
  ASSERT_EQ(::FillLines(15, "", free), 0);
  ASSERT_EQ(::FillLines(0, std::string(253, 'x'), free), 0);
  EXPECT_EQ(free, 3);
  Begin();
  line_->Reply(0x24, {0x06});
  ASSERT_EQ(::ReceiptEnd(0), 0);
  const auto sent = Sent(0x09);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], Concat({{'3'}, Bytes("Dzi\xA9kujemy"), {0x0A}}));
  EXPECT_EQ(sent[1], (std::vector<uint8_t>{'?', 0x0A}));  // "0" + 15
  EXPECT_EQ(sent[2].size(), 255u);
  EXPECT_EQ(sent[2].back(), 0x0A);
  for (size_t slot = 1; slot <= 6; ++slot)
    EXPECT_EQ(DefaultPrinter().ExtraLineTable[slot].code, 0xFF);
}

TEST_F(ScriptedReceipt, PackageLineAndSubtotal) {
  Begin();
  line_->Reply(0x17, {}, 10, {0x06});
  EXPECT_EQ(::PackageItem(3, 0x0102, 0xA0B0, 250), 0);
  EXPECT_EQ(Sent(0x17), (std::vector<std::vector<uint8_t>>{
                            Concat({Bytes("-Z"), {0x02, 0x01, 0xB0, 0xA0}, Le32(250)})}));
  line_->Reply(0x17, {}, 10, {0x15});
  EXPECT_EQ(::PackageItem(0, 1, 1, 1), kNak);
  EXPECT_EQ(::PackageItem(1, 1, 1, 1), kReceiveTimeout);  // no answer after the line

  line_->ClearRecord();
  EXPECT_EQ(::PackageItem(4, 1, 1, 1), kPackageParamOutOfRange);
  EXPECT_EQ(line_->Commands(), std::vector<uint8_t>{0x95});  // refused after the guard
  line_->ClearRecord();
  EXPECT_EQ(::PrintSubtotal(), 0);
  EXPECT_EQ(line_->Sequences().size(), 1u);
  EXPECT_TRUE(Sent(0x80).at(0).empty());

  DefaultPrinter().DeviceType = 0;
  EXPECT_EQ(::PackageItem(0, 1, 1, 1), kCommandUnavailable);
  EXPECT_EQ(::PrintSubtotal(), kCommandUnavailable);
}

}  // namespace
}  // namespace kestradr::testing
