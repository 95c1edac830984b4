// Status bytes and counters read before the printer is trusted with a receipt or a write.
#include <algorithm>

#include "callbacks.hpp"
#include "connection.hpp"
#include "cp1250.hpp"
#include "exchange.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "receipt_state.hpp"

namespace kestradr {

namespace {

constexpr uint8_t kLastReceiptNumber = 0x66;
constexpr uint8_t kLastReceiptNumberLong = 0xF7;
constexpr uint8_t kFiscalStatus = 0x9B;
constexpr uint8_t kFiscalModeBit = 0x08;
constexpr uint8_t kLockStatus = 0x60;
constexpr uint8_t kStatus94 = 0x5E;

constexpr uint8_t kRates7 = 0xD1;
constexpr uint8_t kRates6 = 0xD0;
constexpr uint8_t kRates4 = 0x70;

// One data byte after the acknowledgement.
int32_t ReadDataByte(uint8_t command, uint8_t& value) {
  Block reply{};
  const uint8_t result = SendSequence(command, 2, reply);
  if (result == kOk) value = reply[0];
  return result;
}

bool HasSixStatusBytes(uint8_t type, uint32_t version) {
  return (type == 3 && version >= 3) || (type == 6 && version >= 6) || type == 7 || type == 8 ||
         type == kDeviceNone;
}

bool HasSevenStatusBytes(uint8_t type) {
  return type == 7 || type == 8 || type == kDeviceNone;
}

// The verdict of the rate read once RateReserved holds its first `count` rates.
int32_t RatesSetAmong(int count, bool& flag) {
  flag = std::any_of(RateReserved.begin() + 1, RateReserved.begin() + 1 + count,
                     [](bool reserved) { return !reserved; });
  return flag ? kOk : kNoTaxRates;
}

}  // namespace

int32_t ReadStatusByte(uint8_t command, uint8_t& status) {
  Block reply{};
  const uint8_t result = SendSequence(command, 1, reply);
  if (result == kOk) status = reply[0];
  return result;
}

int32_t ReadStatusBytes(StatusBytes& status) {
  static const std::string caption = Cp1250("Odczyt bajtów statusu...");
  status.eighthPresent = false;
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, false); result != kOk) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != kOk) return result;

  struct Step {
    uint8_t command;
    int index;
  };
  static constexpr Step kFirstFour[] = {{0x5B, 1}, {0x54, 2}, {0x55, 3}, {0x56, 4}};
  for (const Step& step : kFirstFour) {
    if (const int32_t result = ReadDataByte(step.command, status.s[step.index]); result != kOk)
      return result;
  }
  status.count = 4;

  if (HasSixStatusBytes(type, version)) {
    status.count = 6;
    if (const int32_t result = ReadDataByte(0x5F, status.s[5]); result != kOk) return result;
    if (const int32_t result = ReadDataByte(0x50, status.s[6]); result != kOk) return result;
    if (HasSevenStatusBytes(type)) {
      status.count = 7;
      if (const int32_t result = ReadDataByte(0xF3, status.s[7]); result != kOk) return result;
    }
  }
  if (type == 6 || type == 8) {
    if (const int32_t result = ReadDataByte(0x5D, status.s[8]); result != kOk) return result;
    status.eighthPresent = true;
  }
  return kOk;
}

int32_t ReadLastReceiptNumber(int32_t& number) {
  static const std::string caption = Cp1250("Odczyt numeru ostatniego paragonu...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != kOk) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != kOk) return result;

  if (const int32_t result = ReadReceiptCounter(number); result != kOk) return result;
  // The LUNO models keep the short counter at 0 and count in the long one.
  if (number == 0 && (type == 7 || type == 8)) {
    Block reply{};
    if (const uint8_t result = SendSequence(kLastReceiptNumberLong, 8, reply); result != kOk)
      return result;
    number = reply[0] + 256 * reply[1];
  }
  return kOk;
}

int32_t ReadReceiptCounter(int32_t& counter) {
  Block reply{};
  if (const uint8_t result = SendSequence(kLastReceiptNumber, 3, reply); result != kOk)
    return result;
  counter = reply[0] + 256 * reply[1];
  return kOk;
}

int32_t CheckFiscalMode(int32_t& flag) {
  static const std::string caption = Cp1250("Test czy tryb fiskalny...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(false, false); result != kOk) return result;
  uint8_t status = 0;
  if (const int32_t result = ReadStatusByte(kFiscalStatus, status); result != kOk) return result;
  flag = (status & kFiscalModeBit) != 0 ? 1 : 0;
  return kOk;
}

int32_t CheckTaxRatesSet(bool& flag) {
  static const std::string caption = Cp1250("Odczyt stawek podatkowych...");
  ShowCentreMessage(caption);
  flag = false;
  RateReserved.fill(false);
  Block reply{};

  // Newest format first; a NAK means the model predates the command. Any other failure
  // is the line's or the printer's, not an answer about the rates, and is passed on as
  // it came: "no rates" from a printer that never answered sends the user after rates
  // that are there.
  uint8_t result = SendSequence(kRates7, 15, reply);
  if (result == kOk) {
    for (int entry = 0; entry < 7; ++entry) RateReserved[entry + 1] = reply[2 * entry] >= 0x80;
    return RatesSetAmong(7, flag);
  }
  if (result != kNak) return result;

  result = SendSequence(kRates6, 13, reply);
  if (result == kOk) {
    for (int entry = 0; entry < 6; ++entry) RateReserved[entry + 1] = reply[2 * entry] == 0xFF;
    return RatesSetAmong(6, flag);
  }
  if (result != kNak) return result;

  result = SendSequence(kRates4, 5, reply);
  if (result != kOk) return result;
  // One byte per rate in this format: the four data bytes are the four rates.
  for (int entry = 0; entry < 4; ++entry) RateReserved[entry + 1] = reply[entry] == 0xFF;
  return RatesSetAmong(4, flag);
}

int32_t ReadStatus94And96(uint8_t& first, uint8_t& second) {
  return Guarded([&]() -> int32_t {
    if (!Connected) {
      if (const int32_t result = ConnectPrinter(PortNumber, true); result != kOk) return result;
    }
    if (const int32_t result = ReadStatusByte(kLockStatus, second); result != kOk) return result;
    return ReadStatusByte(kStatus94, first);
  });
}

}  // namespace kestradr
