// Whole receipts against the printer emulator: what the printer keeps and prints, the
// receipt number and the totals it reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cp1250.hpp"
#include "messages.hpp"
#include "receipt_emulator_fixture.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

TEST_F(ReceiptOnEmulator, WholeReceiptPrintsAndAddsUp) {
  int32_t free = 0;
  ASSERT_EQ(::FillPayment(1, Cp1250("Gotówka"), 2000, 0), 0);
  ASSERT_EQ(::FillPayment(2, "Karta", 1233, 0), 0);
  ASSERT_EQ(::FillLines(0, Cp1250("Dziękujemy za zakupy"), free), 0);
  ASSERT_EQ(::FillLines(1, "Zapraszamy ponownie", free), 0);
  ASSERT_EQ(::FillLines(2, Cp1250("Karta stałego klienta 1234"), free), 0);
  EXPECT_EQ(free, 3);

  ASSERT_EQ(::ReceiptBegin(), 0);
  EXPECT_TRUE(Printer().ReceiptOpen());
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), 0);        // A 9.00
  ASSERT_EQ(Item(1, "Woda mineralna 1,5l", 2, 6, 0, "szt", 199), 0);        // B 11.94
  ASSERT_EQ(Item(1, "Mleko 3,2% karton", 2, 1500, 3, "l", 299), 0);         // B 4.49
  ASSERT_EQ(Item(0, "Mleko 3,2% karton", 2, 1500, 3, "l", 299), 0);         // back out
  ASSERT_EQ(Item(1, "Ser żółty gouda plastry", 4, 250, 3, "kg", 3990), 0);  // D 9.98
  ASSERT_EQ(Item(1, "Usługa pakowania prezentu", 5, 1, 0, "szt", 500), 0);  // E 5.00
  ASSERT_EQ(::PackageItem(0, 2, 50, 100), 0);
  ASSERT_EQ(::PrintSubtotal(), 0);
  // 10 %: A 810, B 1074.6 → 1075, D 898.2 → 898, E 450.
  ASSERT_EQ(::ReceiptEnd(10), 0);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_FALSE(Printer().ReceiptOpen());
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);

  EXPECT_EQ(Selected("A"), "810");
  EXPECT_EQ(Selected("B"), "1075");
  EXPECT_EQ(Selected("D"), "898");
  EXPECT_EQ(Selected("E"), "450");
  EXPECT_EQ(Selected("F"), "0");
  EXPECT_EQ(Selected("+"), "3233");
  std::string total;
  EXPECT_EQ(::ReadTotal(total), 0);
  EXPECT_EQ(total, "3233");
  EXPECT_EQ(::ReadSelTotal("C", total), kRateUndefined);

  ExpectPaperInOrder({"PARAGON FISKALNY",
                      "Chleb żytni krojony|2x4.50 9.00 A",
                      "Woda mineralna 1,5l|6x1.99 11.94 B",
                      "Mleko 3,2% karton|1,500x2.99 4.49 B",
                      "STORNO Mleko 3,2% karton|-4.49 B",
                      "Ser żółty gouda plastry|0,250x39.90 9.98 D",
                      "Usługa pakowania prezentu|1x5.00 5.00 E",
                      "OPAKOWANIE SPRZEDANE 2/50|1.00",
                      "PODSUMA|35.92",
                      "RABAT 10%|-3.59",
                      "SPRZEDAŻ OPODATK. A|8.10",
                      "SPRZEDAŻ OPODATK. B|10.75",
                      "SPRZEDAŻ OPODATK. D|8.98",
                      "SPRZEDAŻ ZWOLNIONA E|4.50",
                      "SUMA PLN|32.33",
                      "Gotówka|20.00",
                      "Karta|12.33",
                      "Dziękujemy za zakupy",
                      "Zapraszamy ponownie",
                      "Karta stałego klienta 1234",
                      "PARAGON FISKALNY"});
  for (const auto& line : Printer().Paper().Lines())
    EXPECT_EQ(line.find("ANULOWANY"), std::string::npos) << line;
  // The tables were sent and emptied.
  EXPECT_EQ(::FillLines(3, "next", free), 0);
  EXPECT_EQ(free, 5);
}

// The caller's code page 1250 text against what the printer puts on paper (UTF-8 here).
TEST_F(ReceiptOnEmulator, EveryCharacterThePrinterHoldsReachesThePaperAsWritten) {
  int32_t free = 0;
  // Every code page 1250 character that code page 852 holds, in byte order.
  ASSERT_EQ(::FillLines(0,
                        "\x8A\x8C\x8D\x8E\x8F\x9A\x9C\x9D\x9E\x9F\xA1\xA2\xA3\xA4\xA5\xA7\xA8\xAA"
                        "\xAB\xAC\xAF\xB0\xB2\xB3\xB4\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2"
                        "\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4"
                        "\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF\xE0\xE1\xE2\xE3\xE4\xE5\xE6"
                        "\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8"
                        "\xF9\xFA\xFB\xFC\xFD\xFE\xFF",
                        free),
            0);
  ASSERT_EQ(::FillLines(1, "Zapraszamy \x84ponownie\x94 \x96 do 22:00\x85", free), 0);
  ASSERT_EQ(::FillPayment(1, "Bon \x84Sezam\x94", 1250, 0), 0);

  ASSERT_EQ(::ReceiptBegin(), 0);
  int32_t value = 0;
  for (const char* name : {"Caf\xE9 latte", "Sok \x84M\xFCller\x94", "Woda \x96 gaz.",
                           "M\xFCsli \x84"
                           "Fr\xFChst\xFC"
                           "ck\x94 \x96 Stra\xDF\x85"}) {
    value = 0;
    ASSERT_EQ(::ReceiptItem(1, name, 1, 0, 1, 0, "szt", 250, value), 0) << name;
  }
  ASSERT_EQ(::ReceiptEnd(0), 0);
  ExpectPaperInOrder({"Café latte|2.50 A", "Sok \"Müller\"|2.50 A", "Woda - gaz.|2.50 A",
                      "Müsli \"Frühstück\" - Straß...|2.50 A", "Bon \"Sezam\"|12.50",
                      "ŠŚŤŽŹšśťžźˇ˘Ł¤Ą§¨Ş«¬Ż°˛ł´¸ąş»Ľ˝ľżŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢßŕáâăäĺćçčéę"
                      "ëěíîďđńňóôőö÷řůúűüýţ˙",
                      "Zapraszamy \"ponownie\" - do 22:00..."});
}

// The number on the last receipt's paper, 0 when none was printed.
int LastPrintedReceiptNumber(const emu::Printer& printer) {
  int number = 0;
  for (const auto& line : printer.Paper().Lines())
    if (line.starts_with('#')) number = std::stoi(line.substr(1));
  return number;
}

TEST_F(ReceiptOnEmulator, ReceiptNumberIsTheOnePrintedAndRestartsAfterTheDailyReport) {
  const auto receipt = [this](bool cancel) {
    ASSERT_EQ(::ReceiptBegin(), 0);
    ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), 0);
    ASSERT_EQ(cancel ? ::ReceiptCancel() : ::ReceiptEnd(0), 0);
    ASSERT_EQ(::PrintControl(0, DefaultPrinter().DeviceType), 0);
  };
  const auto number = [] {
    int32_t exported = -1;
    int32_t internal = -1;
    EXPECT_EQ(::ReceiptNumber(&exported), 0);
    EXPECT_EQ(DefaultPrinter().ReadLastReceiptNumber(internal), 0);
    EXPECT_EQ(exported, internal);
    return exported;
  };
  receipt(false);
  receipt(true);  // a cancelled receipt takes no number
  receipt(false);
  EXPECT_EQ(LastPrintedReceiptNumber(Printer()), 2);
  EXPECT_EQ(number(), 2);
  EXPECT_EQ(Printer().Memory().LastReceiptNumber(), 2);

  ASSERT_EQ(::DailyReport(0), 0);
  EXPECT_EQ(number(), 0);
  receipt(false);
  EXPECT_EQ(LastPrintedReceiptNumber(Printer()), 1);
  EXPECT_EQ(number(), 1);
}

TEST_F(ReceiptOnEmulator, TotalPast32BitsReadsAs40Bits) {
  ASSERT_EQ(::ReceiptBegin(), 0);
  for (int i = 0; i < 4; ++i)
    ASSERT_EQ(Item(1, "Nieruchomość lokal", 1, 1, 0, "szt", 999'999'999), 0);
  ASSERT_EQ(Item(1, "Nieruchomość garaż", 1, 1, 0, "szt", 294'967'300), 0);
  // The driver's 32-bit sum wraps to 0, as the printer's check expects.
  ASSERT_EQ(::ReceiptEnd(0), 0);
  EXPECT_EQ(Selected("A"), "4294967296");
  EXPECT_EQ(Selected("+"), "4294967296");
  char buffer[32] = {};
  EXPECT_EQ(::pReadTotal(buffer), 0);
  EXPECT_STREQ(buffer, "4294967296");
}

}  // namespace
}  // namespace kestradr::testing
