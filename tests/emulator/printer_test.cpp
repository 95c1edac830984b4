// The in-process printer beyond what the driver's suites show, and the faults it is told to make.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>

#include "device_models.hpp"
#include "wire.hpp"

namespace kestra::emu::test {
namespace {

TEST(Models, EachAnswersWhatItsTableEntrySays) {
  // Every row of the driver's table, a new model's too, is a model of its own here.
  for (int type = 0; type < kestradr::kDeviceTypeCount; ++type) {
    SCOPED_TRACE(type);
    const ModelInfo& model = ModelForType(type);
    EXPECT_EQ(model.deviceType, type);
    EXPECT_EQ(ModelShortName(type), kestradr::kDeviceModels[type].shortName);
    EXPECT_EQ(ParseModel(ModelShortName(type)), type);
    Printer p(ProgrammedConfig(type));
    EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, model.identByte}));
    // clang-format off
    const std::pair<uint8_t, bool> optional[] = {
        {cmd::kSubType, model.defaultSubType.has_value()}, {cmd::kRateTotals, model.rateTotals},
        {cmd::kClockWithSeconds, model.clockWithSeconds}, {cmd::kStatus5, model.extendedStatus},
        {cmd::kStatus7, model.seventhStatus}, {cmd::kStatus8, model.eighthStatus},
        {cmd::kEuro, model.lockAndEuro}, {cmd::kCounters, model.counters}};
    // clang-format on
    for (const auto& [command, known] : optional)
      EXPECT_EQ(Send(p, command).first.at(0), known ? kAck : kNak) << std::hex << int{command};
    EXPECT_EQ(Send(p, 0x01).first, Bytes{kNak});
    EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, model.identByte})) << "still in step";
  }
  EXPECT_EQ(ParseModel("LUNO-EFV"), 10);
  const std::string pastTheTable = std::to_string(kestradr::kDeviceTypeCount);
  for (const std::string& bad : {pastTheTable, std::string("-1"), std::string("taura9")})
    EXPECT_FALSE(ParseModel(bad)) << bad;
  EXPECT_EQ(ModelForType(kestradr::kDeviceTypeCount).deviceType, kUnknownDeviceType);
  EXPECT_EQ(ModelShortName(kestradr::kDeviceTypeCount), "unknown");
  PrinterConfig config;
  config.deviceType = kUnknownDeviceType;
  config.unknownIdentByte = 0x42;
  Printer unknown(config);
  EXPECT_EQ(Send(unknown, cmd::kIdentify).first, (Bytes{kAck, 0x42}));
}

TEST(Models, StatusBytesCountersTheRunningClockAndTheFeed) {
  PrinterConfig config = ProgrammedConfig(8);
  config.status.lock60 = 0x21;
  config.status.byte5E = 0x03;
  config.status.euroF5 = 7;
  config.status.jumper96 = 0x40;
  config.cancelledCounter = 3;
  config.clockStart = std::chrono::sys_days{std::chrono::year{2005} / 12 / 31} +
                      std::chrono::hours{23} + std::chrono::minutes{59} + std::chrono::seconds{7};
  Printer p(config);
  // clang-format off
  const std::pair<uint8_t, Bytes> answers[] = {
      {cmd::kLockByte, {0x21}}, {cmd::kByte5E, {0x03}}, {cmd::kJumperStatus, {0x40}},
      {cmd::kModeStatus, {0x0B}}, {cmd::kStatus4, {kAck, 0x40}}, {cmd::kStatus1, {kAck, 0x0B}},
      {cmd::kEuro, {kAck, 7}}, {cmd::kCounters, {kAck, 3, 0, 0, 0, 0, 0, 0}},
      {cmd::kClockWithSeconds, {kAck, 0, 5, 1, 2, 3, 1, 2, 3, 5, 9, 0, 7}}};
  // clang-format on
  for (const auto& [command, reply] : answers)
    EXPECT_EQ(Send(p, command).first, reply) << std::hex << int{command};
  p.Advance(std::chrono::seconds(60));
  EXPECT_EQ(Send(p, cmd::kClock).first, (Bytes{kAck, 0, 6, 0, 1, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Send(p, cmd::kLineFeedCount, {3}), (Reply{{kAck}, {}}));
  Send(p, cmd::kLockedNamesReport);
  const auto lines = p.Paper().Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[lines.size() - 4], "");
}

// What the fiscal memory keeps of each format; the driver's suites see only the bytes.
TEST(Rates, EachFormatIsKeptPrintedAndGuarded) {
  PrinterConfig unprogrammed;
  unprogrammed.timing.pollsPerLine = 0;
  unprogrammed.deviceType = 7;
  Printer seven(unprogrammed);
  const Bytes before = Send(seven, cmd::kReadRates7).first;
  Send(seven, cmd::kWriteRates7, SevenRates({10001, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Send(seven, cmd::kReadRates7).first, before) << "out of range";
  const Bytes table7 =
      SevenRates({2200, 700, 0, 2350, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, 500});
  EXPECT_EQ(Send(seven, cmd::kWriteRates7, table7).first, Bytes{kAck});
  EXPECT_EQ(seven.Memory().Rates()[4], TAURAVAT_RATE_EXEMPT);
  for (const char* expected : {"ZMIANA STAWEK PTU", "23,50%", "ZWOLNIONA"})
    EXPECT_NE(seven.Paper().Text().find(expected), std::string::npos) << expected;
  unprogrammed.deviceType = 5;
  Printer six(unprogrammed);
  const Bytes table{0x08, 0x98, 0x02, 0xBC, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
  EXPECT_EQ(Send(six, cmd::kWriteRates6, table).first, Bytes{kAck});
  EXPECT_EQ(six.Memory().Rates()[0], 2200);
  EXPECT_EQ(six.Memory().Rates()[6], TAURAVAT_RATE_EXEMPT) << "G stays exempt";
  unprogrammed.deviceType = 4;
  Printer four(unprogrammed);
  Send(four, cmd::kWriteRates4, {120, 7, 0, 0});
  EXPECT_EQ(Send(four, cmd::kReadRates4).first, (Bytes{kAck, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Send(four, cmd::kWriteRates4, {22, 7, 0xFF, 3}).first, Bytes{kAck});
  EXPECT_EQ(four.Memory().Rates()[1], 700);
  EXPECT_EQ(four.Memory().Rates()[2], TAURAVAT_RATE_RESERVED);
}

TEST(Rates, WriteRefusedAtOnceAfterReceiptsOfTheDayAndDuringOne) {
  PrinterConfig c = ProgrammedConfig(7);
  c.receiptCounter = 1;
  Printer p(c);
  // At once: the computer sends no parameters after a NAK.
  EXPECT_EQ(Send(p, cmd::kWriteRates7).first, Bytes{kNak});
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  Send(p, cmd::kReceiptBegin);
  EXPECT_EQ(Send(p, cmd::kWriteRates7).first, Bytes{kNak}) << "a receipt is open";
  Send(p, cmd::kCancel);
  EXPECT_EQ(Send(p, cmd::kWriteRates7, SevenRates({2200, 800, 500, 0, 0, 0, 0})).first,
            Bytes{kAck});
  EXPECT_EQ(p.Memory().Rates()[0], 2200);
}

class ReceiptTest : public ::testing::Test {
 protected:
  Printer p{ProgrammedConfig(7)};

  void Item(uint32_t qty, uint8_t mp, uint32_t price, uint8_t rate, uint32_t value) {
    EXPECT_EQ(Send(p, cmd::kItemLine, ItemBlock("Chleb", qty, mp, price, rate, value)), Reply{})
        << "item lines are never answered";
  }
  bool CancelledByPrinter() { return Status(p, cmd::kPrintStatus) & 0x10; }
};

uint64_t Total40(const Bytes& reply, int rate) {
  uint64_t v = 0;
  for (int i = 4; i >= 0; --i) v = (v << 8) | reply[static_cast<std::size_t>(1 + 5 * rate + i)];
  return v;
}

TEST_F(ReceiptTest, DiscountRoundsAnExactHalfDownAndTheTotalMustMatch) {
  ASSERT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  Item(1500, 3, 199, 1, 299);  // 298.5 rounds up
  Item(1, 0, 350, 2, 350);
  Item(1, 0, 1005, 6, 1005);  // code 6 is rate E, exempt here
  EXPECT_TRUE(Send(p, cmd::kDiscount, {10}).first.empty());
  Send(p, cmd::kTotal, Amount(1488));  // A 269.1 -> 269, B 315, E 904.5 -> 904
  EXPECT_FALSE(CancelledByPrinter()) << p.LastCancelReason();
  ASSERT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kAck});
  const Bytes totals = Send(p, cmd::kRateTotals).first;
  ASSERT_EQ(totals.size(), 36u);
  EXPECT_EQ((std::array{Total40(totals, 0), Total40(totals, 1), Total40(totals, 4)}),
            (std::array<uint64_t, 3>{269, 315, 904}));
  EXPECT_NE(p.Paper().Text().find("1,500x1.99"), std::string::npos);
  Send(p, cmd::kReceiptBegin);
  Item(1, 0, 1999, 1, 1999);
  Send(p, cmd::kTotal, Amount(2000));
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_TRUE(CancelledByPrinter());
  EXPECT_EQ(p.LastCancelReason(), "total differs from the printer's sum");
}

TEST_F(ReceiptTest, MalformedItemBlocksMakeThePrinterCancel) {
  Bytes noEsc = ItemBlock("Chleb", 1, 0, 100, 1, 100);
  noEsc[43] = 0;
  for (const Bytes& bad : {ItemBlock("Chleb", 1, 5, 100, 1, 0),    // five decimals
                           ItemBlock("Chleb", 1, 0, 100, 9, 100),  // no such rate code
                           noEsc}) {
    ASSERT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
    EXPECT_FALSE(CancelledByPrinter()) << "a new receipt clears the mark";
    Item(1, 0, 699, 1, 699);
    Send(p, cmd::kItemLine, bad);
    EXPECT_FALSE(p.ReceiptOpen());
    EXPECT_TRUE(CancelledByPrinter());
    EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak});
  }
  EXPECT_EQ(Send(p, cmd::kCounters).first[1], 3) << "each counted as a cancelled receipt";
  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first, (Bytes{kAck, 0, 0}));
}

TEST_F(ReceiptTest, CancelOnRequestAndReceiptsThatCannotBeginOrEnd) {
  Send(p, cmd::kReceiptBegin);
  Item(1, 0, 1999, 1, 1999);
  EXPECT_EQ(Send(p, cmd::kCancel).first, Bytes{kAck});
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_FALSE(CancelledByPrinter()) << "cancelled on request, not by the printer";
  EXPECT_EQ(Send(p, cmd::kCancel).first, Bytes{kAck}) << "nothing pending is fine";
  Send(p, cmd::kReceiptBegin);
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kNak}) << "already open";
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kNak}) << "not during a receipt";
  EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak}) << "nothing sold";
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(p.Memory().CancelledToday(), 1);
  Printer unprogrammed{PrinterConfig{}};
  EXPECT_EQ(Send(unprogrammed, cmd::kReceiptBegin).first, Bytes{kNak}) << "no rates";
  // A package on a model without them: refused, its parameters swallowed.
  Printer old(ProgrammedConfig(0));
  Send(old, cmd::kReceiptBegin);
  EXPECT_EQ(Send(old, cmd::kPackage, {' ', 'S', 1, 0, 2, 0, 50, 0, 0, 0}), (Reply{{kNak}, {}}));
  EXPECT_TRUE(!old.MidSequence() && old.ReceiptOpen());
}

TEST(Reports, PeriodicByDatesAndByNumberAndThePrintedReports) {
  Printer p(ProgrammedConfig(7));  // 2024-03-15
  ASSERT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kPeriodReportShort, {2, 4, 0, 3, 0, 1, 2, 4, 0, 3, 3, 1}),
            (Reply{{kAck}, {}}));
  EXPECT_EQ(Send(p, cmd::kStateReport).first, Bytes{kAck});
  for (const std::string& expected :
       {"Liczba raportów" + std::string(24, ' ') + "1", std::string("RAPORT STANU DRUKARKI")})
    EXPECT_NE(p.Paper().Text().find(expected), std::string::npos) << expected;
  auto result = [&](Bytes params) {
    const Reply reply = Send(p, cmd::kPeriodicReport, params);
    EXPECT_EQ(reply.first, Bytes{kAck});
    return reply.second.size() == 1 ? reply.second[0] : 0xEE;
  };
  EXPECT_EQ(result({7, 0, 0, 0, 0}), 5) << "unknown kind";
  EXPECT_EQ(result({2, 2, 4, 0, 3}), 4) << "the month is not over";
  p.Advance(std::chrono::hours(24 * 20));
  EXPECT_EQ(result({2, 2, 4, 0, 3}), 0);
  EXPECT_NE(p.Paper().Text().find("RAPORT OKRESOWY SZCZEGÓŁOWY"), std::string::npos);
}

constexpr uint8_t kPrinting = 0x01, kStopped = 0x40, kWaiting = 0x02;  // kWaiting is in 0x94

PrinterConfig Timed(int pollsPerLine, int startPolls = 0) {
  PrinterConfig c = ProgrammedConfig(3);
  c.timing.pollsPerLine = pollsPerLine;
  c.timing.startPolls = startPolls;
  return c;
}

TEST(Printing, APrintoutLastsItsPollsOrItsTime) {
  Printer p(Timed(2));
  Send(p, cmd::kLockedNamesReport);  // four lines
  EXPECT_EQ(p.Paper().PrintedLines(), 0u);
  int polls = 0;
  while (Status(p, cmd::kPrintStatus) & kPrinting) ++polls;
  EXPECT_EQ(polls, 8);
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);
  PrinterConfig c = Timed(0);
  c.timing.timePerLine = std::chrono::milliseconds(100);
  Printer timed(c);
  Send(timed, cmd::kLockedNamesReport);
  timed.Advance(std::chrono::milliseconds(250));
  EXPECT_EQ(timed.Paper().PrintedLines(), 2u);
  EXPECT_TRUE(timed.PrintStatus() & kPrinting);
  timed.Advance(std::chrono::milliseconds(150));
  EXPECT_EQ(timed.Paper().PrintedLines(), 4u);
  EXPECT_FALSE(timed.PrintStatus() & kPrinting);
}

// Any timing: the document waits (not printing) for its start polls or a resume, then all prints.
TEST(Printing, EveryTimingWaitsThenEndsIdleWithTheWholeDocument) {
  for (int startPolls : {0, 4})
    for (int polls : {0, 1, 3})
      for (bool resume : {false, true}) {
        SCOPED_TRACE(testing::Message() << startPolls << " " << polls << " " << resume);
        Printer p(Timed(polls, startPolls));
        Send(p, cmd::kLockedNamesReport);
        if (startPolls > 0 && polls > 0) {
          EXPECT_TRUE(p.MemoryStatus() & kWaiting);
          EXPECT_FALSE(p.PrintStatus() & kPrinting) << "waiting, not printing";
        }
        if (resume) Send(p, cmd::kResume);
        EXPECT_TRUE(!resume || polls == 0 || (p.PrintStatus() & kPrinting)) << "started at once";
        bool idle = false;  // polls both status bytes, as the driver does
        for (int round = 0; round < 500 && !idle; ++round)
          idle = !(Status(p, cmd::kMemoryStatus) & kWaiting) &&
                 !(Status(p, cmd::kPrintStatus) & (kPrinting | kStopped));
        EXPECT_TRUE(idle);
        EXPECT_EQ(p.Paper().PrintedLines(), 4u);
      }
}

const Bytes kIdent{kAck, 0x2C};
const Bytes kItem = ItemBlock("Chleb", 1, 0, 100, 1, 100);

// Each kind struck once: the reply and printer show it, the next command is served as usual.
TEST(Faults, EachKindMangles) {
  using P = Printer&;
  using R = const Reply&;
  using K = FaultKind;
  // Kind, command, parameters, before it (0 no receipt, 1 open, 2 with an item), first reply.
  // clang-format off
  const std::tuple<FaultKind, uint8_t, Bytes, int, std::optional<Bytes>,
                   std::function<void(Printer&, const Reply&)>> cases[] = {
      {K::kNak, cmd::kDailyReport, {}, 0, Bytes{kNak}, [](P p, R) {
         EXPECT_EQ(p.Memory().DailyReportNumber(), 0) << "not carried out";
         EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck}) << "fired once only"; }},
      // The computer timed out and sends no parameters.
      {K::kSilence, cmd::kWriteRates7, {}, 0, Bytes{}, [](P p, R) {
         EXPECT_EQ(p.Memory().Rates()[0], 2300); }},
      // A command without a reply loses its parameters.
      {K::kSilence, cmd::kItemLine, kItem, 1, Bytes{}, [](P p, R r) {
         EXPECT_TRUE(r.second.empty()); EXPECT_EQ(p.OpenReceipt()->Items(), 0); }},
      {K::kWrongFirstByte, cmd::kReceiptBegin, {}, 0, Bytes{0xC8}, [](P p, R) {
         EXPECT_FALSE(p.ReceiptOpen()); }},
      {K::kWrongFirstByte, cmd::kPrintStatus, {}, 0, Bytes{0xC8}, nullptr},
      {K::kGarbage, cmd::kReceiptCounter, {}, 0, std::nullopt, [](P, R r) {
         ASSERT_GT(r.first.size(), 3u); EXPECT_LE(r.first.size(), 7u);
         EXPECT_EQ(Bytes(r.first.begin(), r.first.begin() + 3), (Bytes{kAck, 0, 0})); }},
      {K::kDropByte, cmd::kReadRates7, {}, 0, std::nullopt, [](P p, R r) {
         EXPECT_EQ(r.first.size(), 14u); EXPECT_EQ(Send(p, cmd::kReadRates7).first.size(), 15u); }},
      {K::kDropByte, cmd::kPackage, {' ', 'Z', 1, 0, 1, 0, 1, 0, 0, 0}, 1, Bytes{}, [](P, R r) {
         EXPECT_TRUE(r.second.empty()) << "its ACK is lost"; }},
      {K::kCancelReceipt, cmd::kTotal, Amount(100), 2, std::nullopt, [](P p, R) {
         EXPECT_FALSE(p.ReceiptOpen()); EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x10, 0x10);
         EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak}); }},
  };
  // clang-format on
  for (const auto& [kind, command, params, receipt, first, more] : cases) {
    SCOPED_TRACE(testing::Message() << FaultName(kind) << " on " << std::hex << int{command});
    EXPECT_EQ(ParseFaultKind(FaultName(kind)), kind);
    PrinterConfig config = ProgrammedConfig(7);
    config.faults.rules.push_back({command, kind, 0, 1});
    config.faults.wrongByte = 0xC8;
    Printer p(config);
    if (receipt > 0) Send(p, cmd::kReceiptBegin);
    if (receipt > 1) Send(p, cmd::kItemLine, kItem);
    const Reply r = Send(p, command, params);
    EXPECT_EQ(r.first, first.value_or(r.first));
    if (more) more(p, r);
    EXPECT_FALSE(p.MidSequence());
    EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
    EXPECT_EQ(p.Faults().Injected(), 1u);
    EXPECT_EQ(p.Faults().Struck(command, kind), 1u);
  }
  EXPECT_FALSE(ParseFaultKind("explode"));
}

TEST(Faults, DelayAsksTheServerToHoldTheReplyBackOnce) {
  PrinterConfig config = ProgrammedConfig(7);
  config.faults.rules.push_back({cmd::kIdentify, FaultKind::kDelay, 0, 1});
  config.faults.delay = std::chrono::milliseconds(250);
  EXPECT_EQ(ParseFaultKind(FaultName(FaultKind::kDelay)), FaultKind::kDelay);
  Printer p(config);
  for (const int held : {250, 0}) {
    Bytes out;
    std::chrono::milliseconds hold{0};
    p.Receive(kEsc, out, hold);
    p.Receive(cmd::kIdentify, out, hold);
    EXPECT_EQ(out, kIdent);
    EXPECT_EQ(hold, std::chrono::milliseconds(held));
  }
}

TEST(Faults, RandomFaultsAreReproducibleFromTheSeed) {
  auto run = [](uint32_t seed) {
    PrinterConfig c = ProgrammedConfig(7);
    c.faults.seed = seed;
    c.faults.random = {0.3, {FaultKind::kNak, FaultKind::kSilence, FaultKind::kGarbage}};
    Printer p(c);
    Bytes all;
    for (int i = 0; i < 200; ++i) {
      const Bytes r = Send(p, cmd::kIdentify).first;
      all.insert(all.end(), r.begin(), r.end());
    }
    uint64_t struck = 0;
    for (auto kind : {FaultKind::kNak, FaultKind::kSilence, FaultKind::kGarbage})
      struck += p.Faults().Struck(cmd::kIdentify, kind);
    EXPECT_EQ(struck, p.Faults().Injected());
    return std::pair{all, p.Faults().Injected()};
  };
  const auto a = run(7);
  EXPECT_EQ(a, run(7));
  EXPECT_NE(a.first, run(8).first);
  EXPECT_GT(a.second, 30u);
  EXPECT_LT(a.second, 100u);
}

TEST(Robustness, EscInParametersIsDataOverlongLinesEndAndCutSequencesAreDropped) {
  Printer p(ProgrammedConfig(7));
  Send(p, cmd::kReceiptBegin);
  Send(p, cmd::kItemLine, ItemBlock(std::string(28, '\x1B'), 1, 0, 100, 1, 100));
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(p.OpenReceipt()->Items(), 1);
  Send(p, cmd::kExtraLine, Bytes(300, 'x'));  // no line feed; the tail is ignored noise
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
  // A sequence cut short is dropped after a quiet time.
  Send(p, cmd::kItemLine, Bytes(20, ' '));
  p.Advance(std::chrono::milliseconds(499));
  EXPECT_TRUE(p.MidSequence()) << "a short pause is not the end of a sequence";
  p.Advance(std::chrono::milliseconds(1));
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(p.SequencesDropped(), 1u);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
  EXPECT_EQ(p.OpenReceipt()->Items(), 1) << "the cut item is not sold";
}

TEST(Robustness, RandomInputNeverDerailsThePrinter) {
  std::mt19937 rng(20240315);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(1, 400);
  for (int type : {0, 2, 7, 8, 11}) {
    Printer p(ProgrammedConfig(type));
    const Bytes ident = Send(p, cmd::kIdentify).first;
    for (int round = 0; round < 150; ++round) {
      Bytes out;
      const int n = length(rng);
      for (int i = 0; i < n; ++i) p.Receive(i % 3 == 0 ? kEsc : uint8_t(byte(rng)), out);
      p.Advance(std::chrono::milliseconds(500));
      ASSERT_FALSE(p.MidSequence());
      ASSERT_EQ(Send(p, cmd::kIdentify).first, ident) << "type " << type << " round " << round;
      const Bytes counter = Send(p, cmd::kReceiptCounter).first;
      ASSERT_EQ(counter.size(), 3u);
      ASSERT_EQ(counter[1] | counter[2] << 8, p.Memory().ReceiptsToday());
      ASSERT_EQ(Send(p, cmd::kPrintStatus).first.size(), 1u);
      for (auto v : p.Memory().DayTotals()) ASSERT_GE(v, 0);
    }
    EXPECT_GT(p.CommandsSeen(), 1000u);
  }
}

}  // namespace
}  // namespace kestra::emu::test
