// Tax rates: read failures, the exact bytes written, and the refusals and verification
// around the write (each format's round trip is shown on the emulator).
#include <gtest/gtest.h>

#include <array>

#include "driver_fixture.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

struct Rates {
  int32_t count = -1;
  std::array<uint32_t, 7> v = {77, 77, 77, 77, 77, 77, 77};
  int32_t Read() { return ::ReadVAT(&count, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]); }
};

std::vector<uint8_t> Ack(std::vector<uint8_t> data) {
  data.insert(data.begin(), 0x06);
  return data;
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
  Rates rates;
  line_->Reply(0xD1, {0x01});
  EXPECT_EQ(rates.Read(), 101);
  line_->Reply(0xD1, {0x15});
  line_->Reply(0xD0, {0x42});
  EXPECT_EQ(rates.Read(), 23);
  line_->Reply(0xD1, {0x15});
  line_->Reply(0xD0, {0x15});
  EXPECT_EQ(rates.Read(), 21);  // 0x70 unanswered
  EXPECT_EQ(rates.count, -1);
  EXPECT_EQ(rates.v[0], 77u);
  DefaultPrinter().ReceiptOpen = true;
  EXPECT_EQ(rates.Read(), 200);
}

TEST_F(TaxRates, SevenRateWriteBytesAndVerification) {
  Connect(7);
  ZeroCounter();
  const std::vector<uint8_t> wire = {0x08, 0x98, 0x03, 0x20, 0x01, 0xF4, 0x00,
                                     0x00, 0x40, 0x00, 0x08, 0xFC, 0x80, 0x00};
  line_->Reply(0xD5, {0x06});
  line_->Reply(0xD1, Ack(wire));
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 0);
  EXPECT_EQ(count_, 7);
  ASSERT_EQ(Sent(0xD5).size(), 1u);
  EXPECT_EQ(Sent(0xD5)[0], wire);
  EXPECT_EQ(Captions().front(), Cp("Zapis stawek podatkowych..."));

  // The printer kept something else: 217.
  std::vector<uint8_t> other = wire;
  other[1] = 0x99;
  line_->Reply(0xD5, {0x06});
  line_->Reply(0xD1, Ack(other));
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 217);
}

TEST_F(TaxRates, FourRateWriteSendsWholePercentsAndRefusesWhatWouldBeCut) {
  Connect(4);
  ZeroCounter();
  line_->Always(0x44, {0x06});
  line_->Always(0xD1, {0x15});
  line_->Always(0xD0, {0x15});
  line_->Always(0x70, Ack({22, 8, 0xFF, 0}));
  EXPECT_EQ(Set({2200, 800, 25500, 0, 1, 2, 3}), 0);  // E..G are not the model's
  EXPECT_EQ(count_, 4);
  EXPECT_EQ(Sent(0x44).at(0), (std::vector<uint8_t>{22, 8, 0xFF, 0}));

  // Refused before the write: a rate with hundredths (it would be written as 22 %), and
  // one that would wrap its byte.
  for (const uint32_t a : {2250u, 2201u, 30000u}) {
    line_->ClearRecord();
    EXPECT_EQ(Set({a, 800, 25500, 0, 0, 0, 0}), 215) << a;
    EXPECT_FALSE(WasSent(0x44)) << a;
  }
}

TEST_F(TaxRates, ReceiptsSinceTheDailyReportRefuseTheWrite) {
  Connect(7);
  line_->Always(0x66, {0x06, 0x01, 0x00});
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 218);
  // The LUNO's long counter counts as well.
  line_->Always(0x66, {0x06, 0x00, 0x00});
  line_->Always(0xF7, {0x06, 0x00, 0x01, 0, 0, 0, 0, 0});
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 218);
  EXPECT_FALSE(WasSent(0xD5));
}

}  // namespace
}  // namespace kestradr::testing
