#include <gtest/gtest.h>

#include <random>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

TEST(Robustness, EscInsideParametersIsData) {
  Printer p(ProgrammedConfig(7));
  Send(p, cmd::kReceiptBegin);
  // An article name full of ESC bytes, besides the ESC at offset 43.
  Send(p, cmd::kItemLine, ItemBlock(std::string(28, '\x1B'), 1, 0, 100, 1, 100));
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(p.OpenReceipt()->Items(), 1);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
}

TEST(Robustness, CutShortSequenceIsDroppedAfterQuietTime) {
  Printer p(ProgrammedConfig(7));
  Send(p, cmd::kReceiptBegin);
  Bytes block = ItemBlock("Chleb", 1, 0, 100, 1, 100);
  block.resize(20);
  Send(p, cmd::kItemLine, block);
  EXPECT_TRUE(p.MidSequence());
  p.Advance(std::chrono::milliseconds(499));
  EXPECT_TRUE(p.MidSequence()) << "a short pause is not the end of a sequence";
  p.Advance(std::chrono::milliseconds(1));
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(p.SequencesDropped(), 1u);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  EXPECT_EQ(p.OpenReceipt()->Items(), 0);
}

TEST(Robustness, OverlongExtraLineEndsAtTheLengthLimit) {
  Printer p(ProgrammedConfig(7));
  Send(p, cmd::kReceiptBegin);
  Send(p, cmd::kExtraLine, Bytes(300, 'x'));  // no line feed; the tail is ignored noise
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
}

// Random input, including ESCs and every command code, then a quiet pause: the printer
// must answer identification and the status commands, and keep its books consistent.
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
      for (int i = 0; i < n; ++i) {
        // Plenty of ESCs so that commands actually start.
        const uint8_t b = (i % 3 == 0) ? kEsc : static_cast<uint8_t>(byte(rng));
        p.Receive(b, out);
      }
      p.Advance(std::chrono::milliseconds(500));
      ASSERT_FALSE(p.MidSequence());
      ASSERT_EQ(Send(p, cmd::kIdentify).first, ident) << "type " << type << " round " << round;
      const Bytes counter = Send(p, cmd::kReceiptCounter).first;
      ASSERT_EQ(counter.size(), 3u);
      ASSERT_EQ(Le16(counter, 1), p.Memory().ReceiptsToday());
      ASSERT_EQ(Send(p, cmd::kPrintStatus).first.size(), 1u);
      int64_t sum = 0;
      for (auto v : p.Memory().DayTotals()) {
        ASSERT_GE(v, 0);
        sum += v;
      }
      ASSERT_GE(sum, 0);
    }
    EXPECT_GT(p.CommandsSeen(), 1000u);
  }
}

}  // namespace
}  // namespace kestra::emu::test
