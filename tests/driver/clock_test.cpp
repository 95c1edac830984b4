// A failed clock read, the receipt counter, drawer and feed, the date and time formats, and
// the caption each operation shows (clock texts and numbers are shown on the emulator).
#include <gtest/gtest.h>

#include <functional>

#include "date_time_formats.hpp"
#include "driver_fixture.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using Clock = ScriptedDriver;

TEST_F(Clock, AFailedReadLeavesTheTextsEmpty) {
  Connect(7);
  std::string date = "old", time = "old";
  EXPECT_EQ(::ReadClock(date, time), 21);
  EXPECT_EQ(date, "");
  EXPECT_EQ(time, "");
  char buffer[32] = "old";
  EXPECT_EQ(::pReadClock(buffer), 21);
  EXPECT_STREQ(buffer, "");
  DefaultPrinter().ReceiptOpen = true;
  EXPECT_EQ(::ReadClock(date, time), 200);
}

using Counters = ScriptedDriver;

TEST_F(Counters, ReceiptNumberFallsBackToTheLongCounterOnLunoOnly) {
  Connect(7);
  line_->Always(0x66, {0x06, 0, 0});
  line_->Always(0xF7, {0x06, 0x34, 0x12, 9, 9, 9, 9, 9});
  int32_t number = -1;
  EXPECT_EQ(::ReceiptNumber(&number), 0);
  EXPECT_EQ(number, 0x1234);
  Connect(3);
  EXPECT_EQ(::ReceiptNumber(&number), 0);
  EXPECT_EQ(number, 0);
  EXPECT_FALSE(WasSent(0xF7));
  line_->Always(0x66, {0x06, 0x2C, 0x01});
  EXPECT_EQ(::ReceiptNumber(&number), 0);
  EXPECT_EQ(number, 300);
}

TEST_F(Counters, DrawerOpensDuringAReceiptAndLineFeedSendsItsCount) {
  Connect(7);
  DefaultPrinter().ReceiptOpen = true;
  line_->Always(0x57, {0x06});
  line_->Always(0x58, {0x06});
  line_->Always(0x59, {0x06});
  EXPECT_EQ(::OpenDrawer(2), 0);
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x58}));
  EXPECT_EQ(::WriteLineFeed(3), 200);
  DefaultPrinter().ReceiptOpen = false;
  line_->Reply(0x46, {0x06});
  EXPECT_EQ(::WriteLineFeed(3), 0);
  EXPECT_EQ(Sent(0x46).at(0), (std::vector<uint8_t>{3}));
  EXPECT_EQ(::OpenDrawer(1), 0);
  EXPECT_EQ(::OpenDrawer(3), 0);
  EXPECT_TRUE(WasSent(0x57));
  EXPECT_TRUE(WasSent(0x59));
}

}  // namespace
}  // namespace kestradr::testing

namespace kestradr::testing {
namespace {

TEST(DateTimeFormats, TheModuleFormatsAndTheirLetters) {
  EXPECT_EQ(Formats().shortDate, "yy-MM-dd");
  EXPECT_EQ(Formats().longDate, "dd MMMM yyyy");
  EXPECT_EQ(Formats().shortTime, "hh:mm");
  EXPECT_EQ(Formats().longTime, "hh:mm:ss");
  const DateTimeFields when{2005, 9, 3, 7, 5, 9};
  EXPECT_EQ(FormatDateTime(Formats().shortDate, when), "05-09-03");
  EXPECT_EQ(FormatDateTime(Formats().longDate, when), Cp("03 września 2005"));
  EXPECT_EQ(FormatDateTime(Formats().shortTime, when), "07:05");
  EXPECT_EQ(FormatDateTime(Formats().longTime, when), "07:05:09");
  EXPECT_EQ(FormatDateTime("MMMM", {2005, 2, 1, 0, 0, 0}), "lutego");
}

using Announcements = ScriptedDriver;

// Every operation names itself through the progress call-back before it talks to the
// printer, so the application's status line says what is going on.
TEST_F(Announcements, EachOperationShowsItsCaptionFirst) {
  Connect(7);
  struct Case {
    std::function<void()> call;
    const char* caption;
  };
  int32_t n = 0;
  std::string a, b;
  uint32_t r = 0;
  const Case cases[] = {
      {[&] { ::ReadVAT(&n, &r, &r, &r, &r, &r, &r, &r); }, "Odczyt stawek podatkowych..."},
      {[&] { ::ReadClock(a, b); }, "Odczyt zegara..."},
      {[&] { ::ReceiptNumber(&n); }, "Odczyt numeru ostatniego paragonu..."},
      {[&] { ::PrinterNumber(n, a); }, "Odczyt numeru ostatniego paragonu..."},
      {[&] { ::DailyReportNumber(&n); }, "Odczyt numeru raportu dobowego..."},
      {[&] { ::ReadUniqueNumber(a); }, "Odczyt numeru unikatowego..."},
      {[&] { ::WriteLineFeed(1); }, "Zapis ilosci wierszy do wysunięcia..."},
      {[&] { ::OpenDrawer(1); }, "Otwarcie szuflady..."},
      {[&] { ::PrintResume(); }, "Wznawianie wydruku..."},
      {[&] { ::ReceiptConditions(); }, "Sprawdzanie warunków wystawienia paragonu..."},
      {[&] { ::PrinterStatusReport(); }, "Raport stanu drukarki..."},
      {[&] { ::LockedArticlesReport(); }, "Raport nazw towarów zablokowanych..."},
      {[&] { ::PeriodReport(1, 5, 1, 1, 5, 1, 2); }, "Raport okresowy..."},
      {[&] { ::NumberReport(1, 1, 2); }, "Raport okresowy..."},
      {[&] { ::MonthlyReport(1, 5, 1); }, "Raport miesięczny..."},
      {[&] {
         StatusBytes s;
         DefaultPrinter().ReadStatusBytes(s);
       },
       "Odczyt bajtów statusu..."},
      {[&] { DefaultPrinter().CheckFiscalMode(n); }, "Test czy tryb fiskalny..."},
  };
  for (const Case& c : cases) {
    Captions().clear();
    c.call();
    ASSERT_FALSE(Captions().empty()) << c.caption;
    EXPECT_EQ(Captions().front(), Cp(c.caption));
  }
}

}  // namespace
}  // namespace kestradr::testing
