#include <gtest/gtest.h>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

Printer WithRule(std::optional<uint8_t> command, FaultKind kind, int skip = 0, int times = 1) {
  PrinterConfig c = ProgrammedConfig(7);
  c.faults.rules.push_back({command, kind, skip, times});
  c.faults.delay = std::chrono::milliseconds(250);
  c.faults.wrongByte = 0xC8;
  return Printer(c);
}

const Bytes kIdent{kAck, 0x2C};

TEST(Faults, NakRefusesAndDoesNotCarryOut) {
  Printer p = WithRule(cmd::kDailyReport, FaultKind::kNak);
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kNak});
  EXPECT_EQ(p.Memory().DailyReportNumber(), 0);
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck}) << "fired once only";
  EXPECT_EQ(p.Memory().DailyReportNumber(), 1);
  EXPECT_EQ(p.Faults().Injected(), 1u);
}

TEST(Faults, SilenceAnswersNothingAndTheNextCommandIsServed) {
  Printer p = WithRule(cmd::kWriteRates7, FaultKind::kSilence);
  const auto before = p.Memory().Rates();
  EXPECT_TRUE(Send(p, cmd::kWriteRates7).first.empty());
  EXPECT_FALSE(p.MidSequence()) << "the computer timed out and sends no parameters";
  EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
  EXPECT_EQ(p.Memory().Rates(), before);

  // On a command that has no reply, its parameters are swallowed.
  Printer item = WithRule(cmd::kItemLine, FaultKind::kSilence);
  Send(item, cmd::kReceiptBegin);
  const Reply r = Send(item, cmd::kItemLine, ItemBlock("Chleb", 1, 0, 100, 1, 100));
  EXPECT_TRUE(r.first.empty() && r.second.empty());
  EXPECT_EQ(item.OpenReceipt()->Items(), 0) << "the line was lost";
  EXPECT_EQ(Send(item, cmd::kIdentify).first, kIdent);
}

TEST(Faults, WrongFirstByteGarbageAndADroppedByteMangleOnlyTheReply) {
  Printer wrong = WithRule(cmd::kReceiptBegin, FaultKind::kWrongFirstByte);
  EXPECT_EQ(Send(wrong, cmd::kReceiptBegin).first, Bytes{0xC8});
  EXPECT_FALSE(wrong.ReceiptOpen());
  Printer bare = WithRule(cmd::kPrintStatus, FaultKind::kWrongFirstByte);
  EXPECT_EQ(Send(bare, cmd::kPrintStatus).first, Bytes{0xC8});

  Printer garbage = WithRule(cmd::kReceiptCounter, FaultKind::kGarbage);
  const Bytes r = Send(garbage, cmd::kReceiptCounter).first;
  ASSERT_GT(r.size(), 3u);
  EXPECT_LE(r.size(), 7u);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 3), (Bytes{kAck, 0, 0})) << "carried out";

  Printer dropped = WithRule(cmd::kReadRates7, FaultKind::kDropByte);
  EXPECT_EQ(Send(dropped, cmd::kReadRates7).first.size(), 14u);
  EXPECT_EQ(Send(dropped, cmd::kReadRates7).first.size(), 15u);
  Printer pkg = WithRule(cmd::kPackage, FaultKind::kDropByte);
  Send(pkg, cmd::kReceiptBegin);
  const Reply package = Send(pkg, cmd::kPackage, {' ', 'Z', 1, 0, 1, 0, 1, 0, 0, 0});
  EXPECT_TRUE(package.first.empty() && package.second.empty()) << "the package's ACK is lost";
}

TEST(Faults, DelayAsksTheServerToHoldTheReplyBack) {
  Printer p = WithRule(cmd::kIdentify, FaultKind::kDelay);
  Bytes out;
  std::chrono::milliseconds hold{0};
  p.Receive(kEsc, out, hold);
  p.Receive(cmd::kIdentify, out, hold);
  EXPECT_EQ(out, kIdent);
  EXPECT_EQ(hold, std::chrono::milliseconds(250));
  hold = {};
  out.clear();
  p.Receive(kEsc, out, hold);
  p.Receive(cmd::kIdentify, out, hold);
  EXPECT_EQ(hold, std::chrono::milliseconds(0));
}

TEST(Faults, PrinterCancelsTheOpenReceipt) {
  Printer p = WithRule(cmd::kTotal, FaultKind::kCancelReceipt);
  Send(p, cmd::kReceiptBegin);
  Send(p, cmd::kItemLine, ItemBlock("Chleb", 1, 0, 100, 1, 100));
  Send(p, cmd::kTotal, Amount(100));
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x10, 0x10);
  EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak});
}

TEST(Faults, SkipAndRepeatCountsAndAnyCommand) {
  Printer p = WithRule(std::nullopt, FaultKind::kNak, 2, 2);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first.size(), 3u);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, Bytes{kNak});
  EXPECT_EQ(Send(p, cmd::kIdentify).first, Bytes{kNak});
  EXPECT_EQ(Send(p, cmd::kIdentify).first, kIdent);
  // Each strike is counted by command and kind.
  EXPECT_EQ(p.Faults().Struck(cmd::kIdentify, FaultKind::kNak), 2u);
  EXPECT_EQ(p.Faults().Struck(cmd::kIdentify, FaultKind::kSilence), 0u);
  EXPECT_EQ(p.Faults().Struck(cmd::kReceiptCounter, FaultKind::kNak), 0u);
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

TEST(Faults, KindsByName) {
  for (auto k :
       {FaultKind::kNak, FaultKind::kSilence, FaultKind::kWrongFirstByte, FaultKind::kGarbage,
        FaultKind::kDropByte, FaultKind::kDelay, FaultKind::kCancelReceipt}) {
    EXPECT_EQ(ParseFaultKind(FaultName(k)), k);
  }
  EXPECT_FALSE(ParseFaultKind("explode"));
}

}  // namespace
}  // namespace kestra::emu::test
