#include "receipt_fixture.hpp"

#include "printer.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {

void ScriptedReceipt::SetUp() {
  port_ = std::make_unique<ScriptedPort>(line_);
  line_->Reply(0x23, {0x15});  // nothing pending to cancel
  line_->Always(0xFF, {0x06, 0x2C});
  line_->Always(0xFE, {0x06, 0x7C, 0x01, 0x00});
  // Idle and fiscal: maker's and user data present, no fault bits, every rate in use
  // (A 22 %, B 8 %, C 5 %, D 0 %, E exempt, F 7 %, G 3 %).
  line_->Always(0x9B, {0x03});
  line_->Always(0x94, {0x00});
  line_->Always(0x95, {0x00});
  line_->Always(0x96, {0x00});
  line_->Always(0xD1,
                {0x06, 0x08, 0x98, 0x03, 0x20, 0x01, 0xF4, 0, 0, 0x40, 0, 0x02, 0xBC, 0x01, 0x2C});
  line_->Always(0x66, {0x06, 0x05, 0x00});  // five receipts since the daily report
  DefaultPrinter().ReceiptOpen = false;
  DefaultPrinter().ItemCount = 0;
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), 0);
  ASSERT_EQ(DefaultPrinter().DeviceType, 7);
  line_->ClearRecord();
}

void ScriptedReceipt::TearDown() {
  ::CommunicationEnd();
  DefaultPrinter().ReceiptOpen = false;
  port_.reset();
}

void ScriptedReceipt::Begin() {
  line_->Reply(0x21, {0x06});
  ASSERT_EQ(::ReceiptBegin(), 0);
  ASSERT_TRUE(DefaultPrinter().ReceiptOpen);
  line_->ClearRecord();
}

void ScriptedReceipt::Sale(int32_t rate, int32_t value, int32_t type) {
  int32_t wartosc = 0;
  ASSERT_EQ(::ReceiptItem(type, "Towar testowy nr 1", rate, 0, 1, 0, "szt", value, wartosc), 0);
  ASSERT_EQ(wartosc, value);
}

std::vector<std::vector<uint8_t>> ScriptedReceipt::Sent(uint8_t command) const {
  std::vector<std::vector<uint8_t>> sent;
  for (const auto& sequence : line_->Sequences())
    if (sequence.command == command) sent.push_back(sequence.parameters);
  return sent;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Le32(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(bits & 0xFF), static_cast<uint8_t>((bits >> 8) & 0xFF),
          static_cast<uint8_t>((bits >> 16) & 0xFF), static_cast<uint8_t>(bits >> 24)};
}

}  // namespace kestradr::testing
