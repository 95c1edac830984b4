// Clock texts on both clock formats, counters and identity numbers, drawer and feed.
#include <gtest/gtest.h>

#include <functional>

#include "date_time_formats.hpp"
#include "driver_fixture.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using Clock = ScriptedDriver;

const std::vector<uint8_t> kShortClock = {0x06, 0, 5, 1, 2, 3, 1, 2, 3, 5, 9};
const std::vector<uint8_t> kLongClock = {0x06, 0, 5, 1, 2, 3, 1, 2, 3, 5, 9, 0, 7};

TEST_F(Clock, LongClockModelsGiveSecondsButTheTwinDoesNot) {
  for (int type : {3, 6, 7, 8, 11}) {
    SCOPED_TRACE(type);
    line_->Forget(0xFE);
    Connect(type);
    line_->Always(0x40, kLongClock);
    line_->Always(0x35, kShortClock);
    std::string date, time;
    ASSERT_EQ(::ReadClock(date, time), 0);
    EXPECT_EQ(date, "2005.12.31");
    EXPECT_EQ(time, "23:59:07");
    char buffer[32];
    ASSERT_EQ(::pReadClock(buffer), 0);
    EXPECT_STREQ(buffer, "05.12.31;23:59");
  }
}

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

TEST_F(Counters, DailyReportAndPrinterNumbers) {
  Connect(7);
  line_->Reply(0xD9, {0x06, 0x2C, 0x01});
  int32_t number = 0;
  EXPECT_EQ(::DailyReportNumber(&number), 0);
  EXPECT_EQ(number, 300);
  line_->Reply(0xD8, {0x06, '0', '7', 'A', 'B'});
  std::string code;
  EXPECT_EQ(::PrinterNumber(number, code), 0);
  EXPECT_EQ(number, 7);
  EXPECT_EQ(code, "AB");
}

TEST_F(Counters, UniqueNumberWithAndWithoutTheBlank) {
  Connect(7);
  std::vector<uint8_t> reply = {0x06};
  for (char c : std::string("ABC12345678")) reply.push_back(static_cast<uint8_t>(c));
  line_->Always(0x71, reply);
  std::string number;
  EXPECT_EQ(::ReadUniqueNumber(number), 0);
  EXPECT_EQ(number, "ABC 12345678");
  char buffer[32];
  EXPECT_EQ(::pReadUniqueNumber(buffer), 0);
  EXPECT_STREQ(buffer, "ABC12345678");
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
