// Faults the printer is told to make, and input no printer should get: the sequence
// framing holds up either way.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

const Bytes kIdent{kAck, 0x2C};

struct FaultCase {
  FaultKind kind;
  uint8_t command;
  Bytes params;
  std::function<void(Printer&)> before;  // what the command needs, e.g. an open receipt
  std::function<void(Printer&, const Reply&)> check;
};

void Begin(Printer& p) {
  Send(p, cmd::kReceiptBegin);
}

// Each kind struck once on a command: what the reply and the printer show, then the
// next command is served as usual and the strike is counted by command and kind.
TEST(Faults, EachKindMangles) {
  using P = Printer&;
  using R = const Reply&;
  const Bytes item = ItemBlock("Chleb", 1, 0, 100, 1, 100);
  const FaultCase cases[] = {
      {FaultKind::kNak,
       cmd::kDailyReport,
       {},
       nullptr,
       [](P p, R r) {
         EXPECT_EQ(r.first, Bytes{kNak});
         EXPECT_EQ(p.Memory().DailyReportNumber(), 0) << "not carried out";
         EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck}) << "fired once only";
       }},
      // The computer timed out and sends no parameters.
      {FaultKind::kSilence,
       cmd::kWriteRates7,
       {},
       nullptr,
       [](P p, R r) {
         EXPECT_TRUE(r.first.empty());
         EXPECT_EQ(p.Memory().Rates()[0], 2300);
       }},
      // A command without a reply loses its parameters.
      {FaultKind::kSilence, cmd::kItemLine, item, Begin,
       [](P p, R r) {
         EXPECT_TRUE(r.first.empty() && r.second.empty());
         EXPECT_EQ(p.OpenReceipt()->Items(), 0);
       }},
      {FaultKind::kWrongFirstByte,
       cmd::kReceiptBegin,
       {},
       nullptr,
       [](P p, R r) {
         EXPECT_EQ(r.first, Bytes{0xC8});
         EXPECT_FALSE(p.ReceiptOpen());
       }},
      {FaultKind::kWrongFirstByte,
       cmd::kPrintStatus,
       {},
       nullptr,
       [](P, R r) { EXPECT_EQ(r.first, Bytes{0xC8}); }},
      {FaultKind::kGarbage,
       cmd::kReceiptCounter,
       {},
       nullptr,
       [](P, R r) {
         ASSERT_GT(r.first.size(), 3u);
         EXPECT_LE(r.first.size(), 7u);
         EXPECT_EQ(Bytes(r.first.begin(), r.first.begin() + 3), (Bytes{kAck, 0, 0}));
       }},
      {FaultKind::kDropByte,
       cmd::kReadRates7,
       {},
       nullptr,
       [](P p, R r) {
         EXPECT_EQ(r.first.size(), 14u);
         EXPECT_EQ(Send(p, cmd::kReadRates7).first.size(), 15u);
       }},
      {FaultKind::kDropByte,
       cmd::kPackage,
       {' ', 'Z', 1, 0, 1, 0, 1, 0, 0, 0},
       Begin,
       [](P, R r) { EXPECT_TRUE(r.first.empty() && r.second.empty()) << "its ACK is lost"; }},
      {FaultKind::kCancelReceipt, cmd::kTotal, Amount(100),
       [&item](P p) { Begin(p), Send(p, cmd::kItemLine, item); },
       [](P p, R) {
         EXPECT_FALSE(p.ReceiptOpen());
         EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x10, 0x10);
         EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak});
       }},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(testing::Message() << FaultName(c.kind) << " on " << std::hex << int{c.command});
    EXPECT_EQ(ParseFaultKind(FaultName(c.kind)), c.kind);
    PrinterConfig config = ProgrammedConfig(7);
    config.faults.rules.push_back({c.command, c.kind, 0, 1});
    config.faults.wrongByte = 0xC8;
    Printer p(config);
    if (c.before) c.before(p);
    c.check(p, Send(p, c.command, c.params));
    EXPECT_FALSE(p.MidSequence());
    EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
    EXPECT_EQ(p.Faults().Injected(), 1u);
    EXPECT_EQ(p.Faults().Struck(c.command, c.kind), 1u);
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

TEST(Robustness, EscInsideParametersIsDataAndAnOverlongLineEndsAtItsLimit) {
  Printer p(ProgrammedConfig(7));
  Send(p, cmd::kReceiptBegin);
  Send(p, cmd::kItemLine, ItemBlock(std::string(28, '\x1B'), 1, 0, 100, 1, 100));
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(p.OpenReceipt()->Items(), 1);
  Send(p, cmd::kExtraLine, Bytes(300, 'x'));  // no line feed; the tail is ignored noise
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
}

TEST(Robustness, CutShortSequenceIsDroppedAfterQuietTime) {
  Printer p(ProgrammedConfig(7));
  Send(p, cmd::kReceiptBegin);
  Send(p, cmd::kItemLine, Bytes(20, ' '));
  p.Advance(std::chrono::milliseconds(499));
  EXPECT_TRUE(p.MidSequence()) << "a short pause is not the end of a sequence";
  p.Advance(std::chrono::milliseconds(1));
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(p.SequencesDropped(), 1u);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
  EXPECT_EQ(p.OpenReceipt()->Items(), 0);
}

// Random input, ESCs and every command code, then a quiet pause: the printer answers
// and keeps its books consistent.
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
      ASSERT_EQ(Le16(counter, 1), p.Memory().ReceiptsToday());
      ASSERT_EQ(Send(p, cmd::kPrintStatus).first.size(), 1u);
      for (auto v : p.Memory().DayTotals()) ASSERT_GE(v, 0);
    }
    EXPECT_GT(p.CommandsSeen(), 1000u);
  }
}

}  // namespace
}  // namespace kestra::emu::test
