// Connection set-up, identification, reconnection, the argument checks that must answer
// before anything reaches the printer, a failed clock read, the counters, drawer and feed,
// the date formats and each operation's caption (the texts and numbers a printer gives
// are shown on the emulator).
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "date_time_formats.hpp"
#include "driver_fixture.hpp"
#include "printer.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using Connection = ScriptedDriver;

TEST_F(Connection, InitCancelsWhatIsPendingAndFollowsItsPrintout) {
  ScriptIdentity(*line_, 7);
  line_->Reply(0x23, {0x06});
  ASSERT_EQ(::CommunicationInit(3, 19200, 2), 0);
  const auto commands = line_->Commands();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands.front(), 0x23);
  EXPECT_EQ(commands[1], 0x95);  // supervision of what the cancellation printed
  EXPECT_EQ(commands.back(), 0xFE);
  EXPECT_TRUE(DefaultPrinter().Connected);
  EXPECT_EQ(DefaultPrinter().PortNumber, 3);
  EXPECT_EQ(DefaultPrinter().BaudRate, 19200u);
  EXPECT_EQ(DefaultPrinter().ReadTimeoutMs, 2000u);

  // Any refusal of that cancel but NAK fails the connection before identification.
  ::CommunicationEnd();
  line_->ClearRecord();
  line_->Reply(0x23, {0x01});
  EXPECT_EQ(::CommunicationInit(1, 9600, 1), 101);
  EXPECT_FALSE(DefaultPrinter().Connected);
  EXPECT_FALSE(WasSent(0xFF));
  EXPECT_EQ(DefaultPrinter().ConnectPrinter(0, true), 114);  // port 0: nothing opened
}

TEST_F(Connection, ACallReconnectsWithTheRecordedPortAndGoesOn) {
  ScriptIdentity(*line_, 7);
  line_->Reply(0x23, {0x15});
  line_->Reply(0xFF, {0x15});  // the first identification fails: not connected
  ASSERT_EQ(::CommunicationInit(5, 9600, 1), 24);
  ASSERT_FALSE(DefaultPrinter().Connected);
  openings_->clear();
  DefaultPrinter().RateTotals[1] = 500;

  line_->Reply(0x23, {0x15});
  line_->Always(0xD1, {0x06, 0x08, 0x98, 0x03, 0x20, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0});
  int32_t count = -1;
  uint32_t a = 1, b = 1, g = 1;
  ASSERT_EQ(::ReadVAT(&count, &a, &b, &g, &g, &g, &g, &g), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(a, 2200u);
  EXPECT_EQ(b, 800u);
  EXPECT_EQ(g, 25500u);
  ASSERT_EQ(Openings().size(), 1u);
  EXPECT_EQ(Openings()[0].port, 5);
  EXPECT_TRUE(DefaultPrinter().Connected);
  EXPECT_EQ(DefaultPrinter().RateTotals[1], 0);  // the reconnection cleared the receipt state
}

using Identification = ScriptedDriver;

TEST_F(Identification, VersionComesFromTheSubTypeAnswer) {
  ScriptIdentity(*line_, 8, 4);
  uint8_t type = 0;
  uint32_t version = 99;
  ::CommunicationInit(1, 9600, 1);
  EXPECT_EQ(DefaultPrinter().ReadDeviceType(type, version), 0);
  EXPECT_EQ(type, 8);
  EXPECT_EQ(version, 4u);
  // A failure other than NAK leaves both untouched.
  line_->Forget(0xFE);
  type = 42;
  version = 42;
  EXPECT_EQ(DefaultPrinter().ReadDeviceType(type, version), 21);
  EXPECT_EQ(type, 42);
  EXPECT_EQ(version, 42u);
}

using BadInput = ScriptedDriver;

TEST_F(BadInput, ArgumentsAreRefusedBeforeAnyTraffic) {
  Connect(7);
  uint32_t r = 0;
  int32_t n = 0;
  const std::pair<int32_t, int32_t> calls[] = {
      // Null out pointers: 999; null buffers of the twins: 225.
      {::ReadVAT(&n, &r, &r, nullptr, &r, &r, &r, &r), 999},
      {::ReadVAT(nullptr, &r, &r, &r, &r, &r, &r, &r), 999},
      {::SetVAT(nullptr, 2200, 800, 500, 0, 25500, 25500, 25500), 999},
      {::ReceiptNumber(nullptr), 999},
      {::DailyReportNumber(nullptr), 999},
      {::pDeviceName(nullptr), 225},
      {::pReadClock(nullptr), 225},
      {::pReadUniqueNumber(nullptr), 225},
      {::pDllVersion(nullptr), 225},
      {::pDllAuthor(nullptr), 225},
      {::pCharsInArticleName(nullptr), 225},
      // Out of range.
      {::OpenDrawer(0), 212},
      {::OpenDrawer(4), 212},
      {::PeriodReport(1, 5, 13, 1, 5, 12, 31), 215},
      {::PeriodReport(1, 5, 1, 0, 5, 12, 31), 215},
      {::PeriodReport(0, 100, 1, 1, 5, 12, 31), 215},
      {::PeriodReport(0, 5, 1, 1, -1, 12, 31), 215},
      {::SetVAT(&n, 70000, 800, 500, 0, 25500, 25500, 25500), 215},
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].first, calls[i].second) << i;
  EXPECT_TRUE(line_->Written().empty());

  DefaultPrinter().SetMessagePumpCallback([] { throw std::runtime_error("window gone"); });
  EXPECT_EQ(::PrintControl(1, 7), 999);  // an exception inside an export
  EXPECT_EQ(::DailyReport(0), 999);
}

TEST(ArticleName, CountsSignificantCharactersAmongTheFirst28) {
  EXPECT_EQ(::CharsInArticleName("  a-b  "), 2);
  EXPECT_EQ(::CharsInArticleName(std::string(40, 'x')), 28);
  EXPECT_EQ(::CharsInArticleName(std::string(27, ' ') + "ab"), 1);
  EXPECT_EQ(::CharsInArticleName("%,./\\ +-*()!"), 5);
  // The 18 Polish letters in code page 1250 count; other high bytes do not.
  EXPECT_EQ(::CharsInArticleName(Cp1250("ĄĆĘŁŃÓŚŹŻąćęłńóśźż")), 18);
  EXPECT_EQ(::CharsInArticleName("\xA4\xB5\xFF"), 0);
  EXPECT_EQ(::pCharsInArticleName("Chleb 1/2"), 8);
  EXPECT_EQ(::CharsInArticleName(""), 0);
  // Counted as the item line sends the name: "…" goes out as "...", cut with the field.
  EXPECT_EQ(::CharsInArticleName("Kawa\x85"), 7);
  EXPECT_EQ(::CharsInArticleName(std::string(27, ' ') + "\x85"), 1);
}

TEST(DriverIdentity, VersionAndAuthorThroughBothTwins) {
  std::string version, author;
  char buffer[128] = {'x'};
  EXPECT_EQ(::DllVersion(version), 0);
  EXPECT_EQ(version, "10.00");
  EXPECT_EQ(::pDllVersion(buffer), 0);
  EXPECT_STREQ(buffer, "10.00");
  EXPECT_EQ(::DllAuthor(author), 0);
  EXPECT_FALSE(author.empty());
  EXPECT_EQ(author.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(::pDllAuthor(buffer), 0);
  EXPECT_EQ(std::string(buffer), author);
}

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
  line_->Always(0x58, {0x06});
  EXPECT_EQ(::OpenDrawer(2), 0);
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x58}));
  EXPECT_EQ(::WriteLineFeed(3), 200);
  DefaultPrinter().ReceiptOpen = false;
  line_->Reply(0x46, {0x06});
  EXPECT_EQ(::WriteLineFeed(3), 0);
  EXPECT_EQ(Sent(0x46).at(0), (std::vector<uint8_t>{3}));
}

TEST(DateTimeFormats, TheModuleFormatsAndTheirLetters) {
  EXPECT_EQ(Formats().shortDate, "yy-MM-dd");
  EXPECT_EQ(Formats().longDate, "dd MMMM yyyy");
  EXPECT_EQ(Formats().shortTime, "hh:mm");
  EXPECT_EQ(Formats().longTime, "hh:mm:ss");
  const DateTimeFields when{2005, 9, 3, 7, 5, 9};
  EXPECT_EQ(FormatDateTime(Formats().shortDate, when), "05-09-03");
  EXPECT_EQ(FormatDateTime(Formats().longDate, when), Cp1250("03 września 2005"));
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
  };
  for (const Case& c : cases) {
    Captions().clear();
    c.call();
    ASSERT_FALSE(Captions().empty()) << c.caption;
    EXPECT_EQ(Captions().front(), Cp1250(c.caption));
  }
}

}  // namespace
}  // namespace kestradr::testing
