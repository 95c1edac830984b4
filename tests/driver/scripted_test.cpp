// The driver on the scripted line: connection, argument checks, counters, captions,
// supervision, preconditions, tax rates and reports, byte by byte (answers: on the emulator).
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "date_time_formats.hpp"
#include "driver_fixture.hpp"
#include "exchange.hpp"
#include "printer.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using Connection = ScriptedDriver;
using Identification = ScriptedDriver;
using BadInput = ScriptedDriver;
using Clock = ScriptedDriver;
using Counters = ScriptedDriver;
using Announcements = ScriptedDriver;
using PrintSupervision = ScriptedDriver;
using Reports = ScriptedDriver;

TEST_F(Connection, InitCancelsWhatIsPendingAndFollowsItsPrintout) {
  ScriptIdentity(*line_, 7);
  line_->Reply(0x23, {0x06});
  ASSERT_EQ(::CommunicationInit(3, 19200, 2), 0);
  const auto commands = line_->Commands();
  ASSERT_GE(commands.size(), 3u);
  // The cancel, supervision of what it printed, ..., the sub-type last.
  EXPECT_EQ((std::array{commands[0], commands[1], commands.back()}),
            (std::array<uint8_t, 3>{0x23, 0x95, 0xFE}));
  PrinterInternals p(DefaultPrinter());
  EXPECT_EQ(std::tuple(p.Connected(), p.PortNumber(), p.BaudRate(), p.ReadTimeoutMs()),
            std::tuple(true, 3, 19200u, 2000u));
  // Any refusal of that cancel but NAK fails the connection before identification.
  ::CommunicationEnd();
  line_->ClearRecord();
  line_->Reply(0x23, {0x01});
  EXPECT_EQ(::CommunicationInit(1, 9600, 1), 101);
  EXPECT_FALSE(PrinterInternals(DefaultPrinter()).Connected());
  EXPECT_FALSE(WasSent(0xFF));
  EXPECT_EQ(DefaultPrinter().ConnectPrinter(0, true), 114);  // port 0: nothing opened
}

TEST_F(Connection, ACallReconnectsWithTheRecordedPortAndGoesOn) {
  ScriptIdentity(*line_, 7);
  line_->Reply(0x23, {0x15});
  line_->Reply(0xFF, {0x15});  // the first identification fails: not connected
  ASSERT_EQ(::CommunicationInit(5, 9600, 1), 24);
  ASSERT_FALSE(PrinterInternals(DefaultPrinter()).Connected());
  openings_->clear();
  PrinterInternals(DefaultPrinter()).RateTotals()[1] = 500;
  line_->Reply(0x23, {0x15});
  line_->Always(0xD1, {0x06, 0x08, 0x98, 0x03, 0x20, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0});
  int32_t count = -1;
  uint32_t a = 1, b = 1, g = 1;
  ASSERT_EQ(::ReadVAT(&count, &a, &b, &g, &g, &g, &g, &g), 0);
  EXPECT_EQ(std::tuple(count, a, b, g), std::tuple(7, 2200u, 800u, 25500u));
  ASSERT_EQ(Openings().size(), 1u);
  EXPECT_EQ(Openings()[0].port, 5);
  EXPECT_TRUE(PrinterInternals(DefaultPrinter()).Connected());
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).RateTotals()[1],
            0);  // the reconnection cleared the receipt state
}

TEST_F(Identification, VersionComesFromTheSubTypeAnswer) {
  ScriptIdentity(*line_, 8, 4);
  uint8_t type = 0;
  uint32_t version = 99;
  ::CommunicationInit(1, 9600, 1);
  EXPECT_EQ(DefaultPrinter().ReadDeviceType(type, version), 0);
  EXPECT_EQ(std::pair(type, version), std::pair(uint8_t{8}, 4u));
  // A failure other than NAK leaves both untouched.
  line_->Forget(0xFE);
  type = 42;
  version = 42;
  EXPECT_EQ(DefaultPrinter().ReadDeviceType(type, version), 21);
  EXPECT_EQ(std::pair(type, version), std::pair(uint8_t{42}, 42u));
}

TEST_F(BadInput, ArgumentsAreRefusedBeforeAnyTraffic) {
  Connect(7);
  uint32_t r = 0;
  int32_t n = 0;
  // Null out pointers: 999; null buffers of the twins: 225; out of range: 212 and 215.
  EXPECT_EQ((std::vector{::ReadVAT(&n, &r, &r, nullptr, &r, &r, &r, &r),
                         ::ReadVAT(nullptr, &r, &r, &r, &r, &r, &r, &r),
                         ::SetVAT(nullptr, 2200, 800, 500, 0, 25500, 25500, 25500),
                         ::ReceiptNumber(nullptr), ::DailyReportNumber(nullptr)}),
            std::vector<int32_t>(5, 999));
  EXPECT_EQ(
      (std::vector{::pDeviceName(nullptr), ::pReadClock(nullptr), ::pReadUniqueNumber(nullptr),
                   ::pDllVersion(nullptr), ::pDllAuthor(nullptr), ::pCharsInArticleName(nullptr)}),
      std::vector<int32_t>(6, 225));
  EXPECT_EQ((std::vector{::OpenDrawer(0), ::OpenDrawer(4)}), std::vector<int32_t>(2, 212));
  EXPECT_EQ(
      (std::vector{::PeriodReport(1, 5, 13, 1, 5, 12, 31), ::PeriodReport(1, 5, 1, 0, 5, 12, 31),
                   ::PeriodReport(0, 100, 1, 1, 5, 12, 31), ::PeriodReport(0, 5, 1, 1, -1, 12, 31),
                   ::SetVAT(&n, 70000, 800, 500, 0, 25500, 25500, 25500)}),
      std::vector<int32_t>(5, 215));
  EXPECT_TRUE(line_->Written().empty());
  DefaultPrinter().SetMessagePumpCallback([] { throw std::runtime_error("window gone"); });
  EXPECT_EQ(::PrintControl(1, 7), 999);  // an exception inside an export
  EXPECT_EQ(::DailyReport(0), 999);
}

TEST(ArticleName, CountsSignificantCharactersAmongTheFirst28) {
  // Polish letters count, other high bytes not; "…" as the "..." the item line sends.
  std::vector<int32_t> counts;
  for (const std::string& name :
       {std::string("  a-b  "), std::string(40, 'x'), std::string(27, ' ') + "ab",
        std::string("%,./\\ +-*()!"), Cp1250("ĄĆĘŁŃÓŚŹŻąćęłńóśźż"), std::string("\xA4\xB5\xFF"),
        std::string(), std::string("Kawa\x85"), std::string(27, ' ') + "\x85"})
    counts.push_back(::CharsInArticleName(name));
  EXPECT_EQ(counts, (std::vector<int32_t>{2, 28, 1, 5, 18, 0, 0, 7, 1}));
  EXPECT_EQ(::pCharsInArticleName("Chleb 1/2"), 8);
}

TEST(DriverIdentity, VersionAndAuthorThroughBothTwins) {
  std::string version, author;
  char plainVersion[128] = {'x'}, plainAuthor[128] = {'x'};
  EXPECT_EQ(::DllVersion(version) + ::pDllVersion(plainVersion) + ::DllAuthor(author) +
                ::pDllAuthor(plainAuthor),
            0);
  EXPECT_EQ(version + "|" + plainVersion, "10.00|10.00");
  EXPECT_TRUE(!author.empty() && author.find_first_of("\r\n") == std::string::npos) << author;
  EXPECT_EQ(plainAuthor, author);
}

TEST_F(Clock, AFailedReadLeavesTheTextsEmpty) {
  Connect(7);
  std::string date = "old", time = "old";
  EXPECT_EQ(::ReadClock(date, time), 21);
  EXPECT_EQ(date + time, "");
  char buffer[32] = "old";
  EXPECT_EQ(::pReadClock(buffer), 21);
  EXPECT_STREQ(buffer, "");
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = true;
  EXPECT_EQ(::ReadClock(date, time), 200);
}

TEST_F(Counters, ReceiptNumberFallsBackToTheLongCounterOnLunoOnly) {
  Connect(7);
  line_->Always(0x66, {0x06, 0, 0});
  line_->Always(0xF7, {0x06, 0x34, 0x12, 9, 9, 9, 9, 9});
  const auto number = [] {
    int32_t n = -1;
    EXPECT_EQ(::ReceiptNumber(&n), 0);
    return n;
  };
  EXPECT_EQ(number(), 0x1234);
  Connect(3);
  EXPECT_EQ(number(), 0);
  EXPECT_FALSE(WasSent(0xF7));
  line_->Always(0x66, {0x06, 0x2C, 0x01});
  EXPECT_EQ(number(), 300);
}

TEST_F(Counters, DrawerOpensDuringAReceiptAndLineFeedSendsItsCount) {
  Connect(7);
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = true;
  line_->Always(0x58, {0x06});
  EXPECT_EQ(::OpenDrawer(2), 0);
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x58}));
  EXPECT_EQ(::WriteLineFeed(3), 200);
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  line_->Reply(0x46, {0x06});
  EXPECT_EQ(::WriteLineFeed(3), 0);
  EXPECT_EQ(Sent(0x46).at(0), (std::vector<uint8_t>{3}));
}

TEST(DateTimeFormats, TheModuleFormatsAndTheirLetters) {
  const std::tuple<std::string, const char*, std::string> cases[] = {
      {Formats().shortDate, "yy-MM-dd", "05-09-03"},
      {Formats().longDate, "dd MMMM yyyy", Cp1250("03 września 2005")},
      {Formats().shortTime, "hh:mm", "07:05"},
      {Formats().longTime, "hh:mm:ss", "07:05:09"}};
  for (const auto& [format, letters, text] : cases) {
    EXPECT_EQ(format, letters);
    EXPECT_EQ(FormatDateTime(format, {2005, 9, 3, 7, 5, 9}), text) << letters;
  }
  EXPECT_EQ(FormatDateTime("MMMM", {2005, 2, 1, 0, 0, 0}), "lutego");
}

// The application's status line says what is going on before the printer is talked to.
TEST_F(Announcements, EachOperationShowsItsCaptionFirst) {
  Connect(7);
  int32_t n = 0;
  std::string a, b;
  uint32_t r = 0;
  const std::pair<std::function<void()>, const char*> cases[] = {
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
  for (const auto& [call, caption] : cases) {
    Captions().clear();
    call();
    ASSERT_FALSE(Captions().empty()) << caption;
    EXPECT_EQ(Captions().front(), Cp1250(caption));
  }
}

TEST_F(PrintSupervision, IdlePrinterNeedsOneRoundAndALunoIsNeverAskedItsMemory) {
  Connect(3);
  int pumps = 0;
  // Counted, and still ended as 999 if the LUNO's printout below were never seen to end.
  DefaultPrinter().SetMessagePumpCallback([&pumps] {
    if (++pumps > 20000) throw std::runtime_error("supervision never ended");
  });
  EXPECT_EQ(::PrintControl(1, 3), 0);
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x95, 0x95, 0x94, 0x95}));
  EXPECT_EQ(pumps, 4);
  EXPECT_EQ(Captions().front(), "Trwa kontrola wydruku...");
  Captions().clear();
  EXPECT_EQ(::PrintControl(0, 3), 0);
  EXPECT_EQ(Captions().front(), "Trwa wydruk...");
  // A LUNO keeps a document flagged in memory throughout its printout: 0x94 is not asked.
  Connect(7);
  line_->Always(0x94, {0x02});
  for (int i = 0; i < 6; ++i) line_->Reply(0x95, {0x01});
  EXPECT_EQ(::PrintControl(0, 7), 0);
  EXPECT_EQ(::PrintControl(0, 8), 0);
  EXPECT_FALSE(WasSent(0x94));
}

TEST_F(PrintSupervision, FaultBitsOfThePrintStatus) {
  Connect(3);
  // Successive 0x95 answers; failure, then the controller, outrank paper.
  const std::pair<std::vector<uint8_t>, int32_t> cases[] = {{{0x02}, 109},
                                                            {{0x00, 0x80}, 102},
                                                            {{0x00, 0x04}, 103},
                                                            {{0x00, 0x00, 0x06}, 103},
                                                            {{0x00, 0x00, 0x82}, 102},
                                                            {{0x00, 0x00, 0x01, 0x02}, 109}};
  for (const auto& [print, code] : cases) {
    line_->Forget(0x95);
    for (uint8_t byte : print) line_->Reply(0x95, {byte});
    line_->Always(0x95, {0x00});
    EXPECT_EQ(::PrintControl(1, 3), code);
  }
}

TEST_F(PrintSupervision, WhenAPrintoutIsResumed) {
  Connect(3);
  // A document waiting in memory: mode 0 waits for the printer to start it, 1 resumes it.
  line_->Reply(0x94, {0x02});
  line_->Reply(0x94, {0x02});
  EXPECT_EQ(::PrintControl(0, 3), 0);
  EXPECT_EQ(Sent(0x94).size(), 3u);
  line_->Reply(0x94, {0x02});
  line_->Reply(0x2A, {0x06});
  EXPECT_EQ(::PrintControl(1, 3), 0);
  EXPECT_EQ(Sent(0x2A).size(), 1u);
  // Printing, stopped for paper, paper back: resumed; paper still out at the check: 109.
  for (const bool paperBack : {true, false}) {
    line_->ClearRecord();
    for (int i = 0; i < 3; ++i) line_->Reply(0x95, {0x41});
    line_->Reply(paperBack ? 0x2A : 0x95, {uint8_t(paperBack ? 0x06 : 0x43)});
    EXPECT_EQ(::PrintControl(paperBack ? 1 : 0, 3), paperBack ? 0 : 109);
    EXPECT_EQ(Sent(0x2A).size(), paperBack ? 1u : 0u);
  }
  // PrintResume: refused during a receipt and without paper; the printer's NAK passed on.
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = true;
  EXPECT_EQ(::PrintResume(), 200);
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  line_->Reply(0x95, {0x02});
  EXPECT_EQ(::PrintResume(), 109);
  EXPECT_FALSE(WasSent(0x2A));
  line_->Reply(0x2A, {0x15});
  EXPECT_EQ(::PrintResume(), 24);
}

// Status bytes 0x9B, 0x94, 0x95, 0x96 and the code each precondition check gives.
struct StatusCase {
  uint8_t fiscal, memory, print, service;
  int32_t receiptConditions, receiptBegin;
};

class PreconditionTable : public ScriptedDriver,
                          public ::testing::WithParamInterface<StatusCase> {};

TEST_P(PreconditionTable, FirstFailingTestWins) {
  const StatusCase& c = GetParam();
  Connect(3);
  line_->Always(0xD1, {0x06, 0x08, 0x98, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0});
  line_->Always(0x9B, {c.fiscal});
  line_->Always(0x94, {c.memory});
  line_->Always(0x96, {c.service});
  // The preconditions read 0x95 once; supervision afterwards sees an idle printer.
  line_->Reply(0x95, {c.print});
  EXPECT_EQ(::ReceiptConditions(), c.receiptConditions);
  line_->Reply(0x95, {c.print});
  EXPECT_EQ(DefaultPrinter().CheckReceiptPreconditions(), c.receiptBegin);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, PreconditionTable,
    ::testing::Values(
        StatusCase{0x03, 0x00, 0x00, 0x00, 0, 0}, StatusCase{0x02, 0x10, 0x00, 0x00, 100, 100},
        StatusCase{0x05, 0x10, 0x00, 0x00, 105, 107},  // read-only moves
        StatusCase{0x03, 0x90, 0x00, 0x00, 107, 107},  // CMOS before link
        StatusCase{0x03, 0x80, 0x04, 0x40, 101, 101}, StatusCase{0x03, 0x80, 0x04, 0x00, 102, 102},
        StatusCase{0x01, 0x00, 0x04, 0x00, 103, 103}, StatusCase{0x05, 0x00, 0x00, 0x00, 105, 104},
        StatusCase{0x03, 0x48, 0x00, 0x00, 106, 106}, StatusCase{0x03, 0x08, 0x02, 0x00, 108, 108},
        StatusCase{0x03, 0x00, 0x02, 0x00, 109, 109}));

TEST_F(ScriptedDriver, ReceiptConditionsAsksTheLunoAboutTheEuro) {
  Connect(7);
  line_->Always(0xF5, {0x06, 0x07});
  EXPECT_EQ(::ReceiptConditions(), 237);
  EXPECT_FALSE(WasSent(0x9B));
  Connect(3);
  line_->Always(0xD1, {0x06, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0});
  EXPECT_EQ(::ReceiptConditions(), 113);  // no rate set; 0xF5 never asked
  EXPECT_FALSE(WasSent(0xF5));
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = true;
  EXPECT_EQ(::ReceiptConditions(), 200);
}

TEST_F(ScriptedDriver, TaxRatesSetInEachFormat) {
  // Replies to 0xD1 (7 rates), 0xD0 (6), 0x70 (4 bytes; older bytes past them ignored).
  using Answer = std::vector<uint8_t>;
  const Answer nak = {0x15}, none;
  const std::tuple<Answer, Answer, Answer, int32_t> cases[] = {
      {{0x06, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0}, none, none, 113},
      {{0x06, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x40, 0}, none, none, 0},
      {{0x01}, none, none, 101},
      {none, none, none, 21},
      {nak, {0x06, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0x01, 0xF4, 0xFF, 0}, none, 0},
      {nak, nak, {0x06, 0xFF, 0xFF, 0xFF, 0xFF}, 113},
      {nak, nak, {0x06, 0xFF, 0xFF, 0xFF, 0x07}, 0}};
  Connect(3);
  for (const auto& [d1, d0, r70, code] : cases) {
    line_->ClearRecord();
    for (const auto& [command, reply] : {std::pair{0xD1, d1}, {0xD0, d0}, {0x70, r70}})
      if (!reply.empty()) line_->Reply(static_cast<uint8_t>(command), reply);
    PrinterInternals(DefaultPrinter()).ReplyBuffer().fill(0x16);
    bool set = code != 0;
    EXPECT_EQ(DefaultPrinter().CheckTaxRatesSet(set), code) << code;
    EXPECT_EQ(set, code == 0) << code;
    EXPECT_EQ(WasSent(0xD0), !d0.empty()) << code;
  }
}

TEST_F(ScriptedDriver, FiscalModeAndTheLockByte) {
  Connect(7);
  for (const auto& [status, locked] : {std::pair<uint8_t, bool>{0x0B, true}, {0x03, false}}) {
    bool flag = !locked;
    line_->Reply(0x9B, {status});
    EXPECT_EQ(DefaultPrinter().CheckFiscalMode(flag), 0);
    EXPECT_EQ(flag, locked);
  }
  line_->Reply(0x60, {0x21});
  line_->Reply(0x5E, {0x44});
  uint8_t first = 0, second = 0;
  EXPECT_EQ(DefaultPrinter().ReadStatus94And96(first, second), 0);
  EXPECT_EQ(std::pair(first, second), std::pair(uint8_t{0x44}, uint8_t{0x21}));
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x9B, 0x9B, 0x60, 0x5E}));
  EXPECT_EQ(DefaultPrinter().ReadStatus94And96(first, second), 21);  // 0x60 unanswered now
}

class TaxRates : public ScriptedDriver {
 protected:
  // No receipt since the daily report; LUNO models also ask their long counter.
  void ZeroCounter() {
    line_->Always(0x66, {0x06, 0x00, 0x00});
    line_->Always(0xF7, {0x06, 0, 0, 0, 0, 0, 0, 0});
  }
  int32_t Set(std::array<uint32_t, 7> r) {
    count_ = -1;
    return ::SetVAT(&count_, r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
  }
  int32_t count_ = -1;
};

TEST_F(TaxRates, ReadFailuresOtherThanNakAreReturnedWithTheOutputsUntouched) {
  Connect(7);
  std::array<uint32_t, 7> v = {77, 77, 77, 77, 77, 77, 77};
  const auto read = [&] {
    return ::ReadVAT(&count_, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
  };
  // 0xD1 refused, 0xD0 garbled, 0x70 unanswered.
  for (const auto& [d1, d0, code] :
       {std::tuple<uint8_t, uint8_t, int32_t>{0x01, 0, 101}, {0x15, 0x42, 23}, {0x15, 0x15, 21}}) {
    line_->Reply(0xD1, {d1});
    if (d0 != 0) line_->Reply(0xD0, {d0});
    EXPECT_EQ(read(), code);
    EXPECT_EQ(std::pair(count_, v[0]), std::pair(-1, 77u));
  }
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = true;
  EXPECT_EQ(read(), 200);
}

TEST_F(TaxRates, SevenRateWriteBytesVerificationAndRefusal) {
  Connect(7);
  const std::array<uint32_t, 7> rates = {2200, 800, 500, 0, 10000, 2300, 25500};
  // Receipts since the daily report refuse the write; the LUNO's long counter counts too.
  line_->Always(0x66, {0x06, 0x01, 0x00});
  EXPECT_EQ(Set(rates), 218);
  line_->Always(0x66, {0x06, 0x00, 0x00});
  line_->Always(0xF7, {0x06, 0x00, 0x01, 0, 0, 0, 0, 0});
  EXPECT_EQ(Set(rates), 218);
  EXPECT_FALSE(WasSent(0xD5));
  ZeroCounter();
  Captions().clear();
  const std::vector<uint8_t> wire = {0x08, 0x98, 0x03, 0x20, 0x01, 0xF4, 0x00,
                                     0x00, 0x40, 0x00, 0x08, 0xFC, 0x80, 0x00};
  std::vector<uint8_t> reply = {0x06};
  reply.insert(reply.end(), wire.begin(), wire.end());
  line_->Reply(0xD5, {0x06});
  line_->Reply(0xD1, reply);
  EXPECT_EQ(Set(rates), 0);
  EXPECT_EQ(count_, 7);
  EXPECT_EQ(Sent(0xD5), Sequences{wire});
  EXPECT_EQ(Captions().front(), Cp1250("Zapis stawek podatkowych..."));
  reply[2] = 0x99;  // the printer kept something else
  line_->Reply(0xD5, {0x06});
  line_->Reply(0xD1, reply);
  EXPECT_EQ(Set(rates), 217);
}

TEST_F(TaxRates, FourRateWriteSendsWholePercentsAndRefusesWhatWouldBeCut) {
  Connect(4);
  ZeroCounter();
  for (const uint8_t command : std::initializer_list<uint8_t>{0xD1, 0xD0})
    line_->Always(command, {0x15});
  line_->Always(0x44, {0x06});
  line_->Always(0x70, {0x06, 22, 8, 0xFF, 0});
  EXPECT_EQ(Set({2200, 800, 25500, 0, 1, 2, 3}), 0);  // E..G are not the model's
  EXPECT_EQ(count_, 4);
  EXPECT_EQ(Sent(0x44).at(0), (std::vector<uint8_t>{22, 8, 0xFF, 0}));
  // Refused unwritten: hundredths (22.5 % would be written as 22 %), a wrapped byte.
  for (const uint32_t a : {2250u, 2201u, 30000u}) {
    line_->ClearRecord();
    EXPECT_EQ(Set({a, 800, 25500, 0, 0, 0, 0}), 215) << a;
    EXPECT_FALSE(WasSent(0x44)) << a;
  }
}

TEST_F(Reports, ParameterBytesOfEachKind) {
  Connect(3);
  line_->Always(0x28, {0x06});
  line_->Always(0x29, {0x06});
  line_->Always(0x31, {0x06}, 5, {0x00});
  EXPECT_EQ(::MonthlyReport(1, 5, 3) + ::MonthlyReport(0, 12, 11) + ::NumberReport(1, 300, 310) +
                ::NumberReport(0, 1, 65535),
            0);
  const Sequences monthlyAndNumbered = {
      {2, 0, 5, 0, 3}, {5, 1, 2, 1, 1}, {1, 0x2C, 0x01, 0x36, 0x01}, {4, 0x01, 0x00, 0xFF, 0xFF}};
  EXPECT_EQ(Sent(0x31), monthlyAndNumbered);
  // No ordering check between the two dates.
  EXPECT_EQ(::PeriodReport(1, 99, 12, 31, 0, 1, 1), 0);
  EXPECT_EQ(Sent(0x28).at(0), (std::vector<uint8_t>{9, 9, 1, 2, 3, 1, 0, 0, 0, 1, 0, 1}));
  EXPECT_EQ(::PeriodReport(0, 5, 3, 7, 6, 11, 20), 0);
  EXPECT_EQ(Sent(0x29).at(0), (std::vector<uint8_t>{0, 5, 0, 3, 0, 7, 0, 6, 1, 1, 2, 0}));
  line_->ClearRecord();
  EXPECT_EQ(::PeriodReport(2, 5, 3, 7, 6, 11, 20), 0);
  EXPECT_FALSE(WasSent(0x28) || WasSent(0x29));
  line_->Always(0x28, {0x15});
  EXPECT_EQ(::PeriodReport(1, 5, 3, 7, 6, 11, 20), 24);
}

// A long report reopens the port with the application's time-outs (1 s), not 3 s / 5 s.
TEST_F(Reports, LongReportReopensTheRecordedPortOrTheApplicationsChoice) {
  Connect(3, 1, 4);
  line_->Always(0x28, {0x06});
  line_->Always(0x31, {0x06}, 5, {0x00});
  ASSERT_EQ(::PeriodReport(1, 5, 1, 1, 5, 1, 31), 0);
  PrinterInternals(DefaultPrinter()).SelectedPort() = 6;
  PrinterInternals(DefaultPrinter()).SelectedSpeed() = 19200;
  ASSERT_EQ(::MonthlyReport(1, 5, 3), 0);
  EXPECT_EQ(Openings(), (std::vector<PortOpening>{
                            {4, 90000, 3000}, {4, 1000, 1000}, {6, 90000, 3000}, {6, 1000, 1000}}));
}

TEST_F(Reports, APortOpenedByTheCallerItselfIsKeptOpen) {
  // OpenPort names the port to nobody: closing it for the long read would lose it.
  PrinterInternals(DefaultPrinter()).Connected() = true;
  PrinterInternals(DefaultPrinter()).PortNumber() = 0;
  line_->Always(0xFF, {0x06, 0x2C});
  line_->Always(0xFE, {0x06, 0x01, 0x01, 0x00});
  ASSERT_EQ(::OpenPort(3, 9600, 2, 7), 0);
  line_->Always(0x28, {0x06});
  EXPECT_EQ(::PeriodReport(1, 5, 1, 1, 5, 1, 31), 0);
  EXPECT_EQ(std::pair(Openings().size(), Sent(0x28).size()), std::pair(size_t{1}, size_t{1}));
  uint32_t writeMs = 0, readMs = 0;
  ASSERT_TRUE(PrinterInternals(DefaultPrinter()).Link().CurrentPortTimeouts(writeMs, readMs));
  EXPECT_EQ(std::pair(writeMs, readMs), std::pair(2000u, 7000u));  // the caller's own
  EXPECT_EQ(::ClosePort(), 0);
}

TEST_F(Reports, PrintersVerdictOnAPeriodicReport) {
  Connect(6);
  for (const auto& [verdict, code] :
       {std::pair<uint8_t, int32_t>{1, 219}, {2, 220}, {3, 221}, {4, 222}, {5, 223}, {9, 0}}) {
    line_->ClearRecord();
    line_->Reply(0x31, {0x06}, 5, {verdict});
    EXPECT_EQ(::MonthlyReport(1, 5, 3), code);
    // Only an accepted report is followed; a refusal or an unknown verdict is not.
    EXPECT_FALSE(WasSent(0x95));
  }
  line_->Reply(0x31, {0x06}, 5, {0});
  line_->ClearRecord();
  EXPECT_EQ(::NumberReport(1, 1, 2), 0);
  EXPECT_TRUE(WasSent(0x95));
}

TEST_F(Reports, AnUnknownKindSendsNothingAndReadsNoStaleVerdict) {
  Connect(3, 1);
  // The last answer before the report (0xFE) leaves 0x01 where a verdict would be.
  EXPECT_EQ(::MonthlyReport(7, 5, 3), 0);
  EXPECT_FALSE(WasSent(0x31));
  EXPECT_TRUE(WasSent(0x95));
}

}  // namespace
}  // namespace kestradr::testing
