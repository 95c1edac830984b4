// Status bytes and counters read before the printer is trusted with a receipt or a write.
#include <algorithm>

#include "cp1250.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {
constexpr uint8_t kFiscalModeBit = 0x08;

// The verdict of the rate read once `reserved` holds its first `count` rates.
int32_t RatesSetAmong(const std::array<bool, 8>& reserved, int count, bool& flag) {
  flag = std::any_of(reserved.begin() + 1, reserved.begin() + 1 + count,
                     [](bool isReserved) { return !isReserved; });
  return flag ? TAURAVAT_OK : TAURAVAT_E_NO_TAX_RATES;
}
}  // namespace

// One data byte after the acknowledgement.
int32_t Printer::ReadDataByte(const Command& command, uint8_t& value) {
  Block reply{};
  const uint8_t result = SendSequence(command, reply);
  if (result == TAURAVAT_OK) value = reply[0];
  return result;
}

int32_t Printer::ReadStatusByte(uint8_t command, uint8_t& status) {
  Block reply{};
  const uint8_t result = SendSequence(command, 1, reply);
  if (result == TAURAVAT_OK) status = reply[0];
  return result;
}

int32_t Printer::ReadStatusBytes(StatusBytes& status) {
  static const std::string caption = Cp1250("Odczyt bajtów statusu...");
  status.eighthPresent = false;
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, false); result != TAURAVAT_OK) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != TAURAVAT_OK) return result;
  const DeviceModel& model = ModelOf(type);

  struct Step {
    const Command& command;
    int index;
  };
  static constexpr Step kFirstFour[] = {
      {cmd::kStatus1, 1}, {cmd::kStatus2, 2}, {cmd::kStatus3, 3}, {cmd::kStatus4, 4}};
  for (const Step& step : kFirstFour) {
    if (const int32_t result = ReadDataByte(step.command, status.s[step.index]);
        result != TAURAVAT_OK)
      return result;
  }
  status.count = 4;

  const int count = StatusByteCount(model, version);
  if (count >= 6) {
    status.count = 6;
    if (const int32_t result = ReadDataByte(cmd::kStatus5, status.s[5]); result != TAURAVAT_OK)
      return result;
    if (const int32_t result = ReadDataByte(cmd::kStatus6, status.s[6]); result != TAURAVAT_OK)
      return result;
    if (count >= 7) {
      status.count = 7;
      if (const int32_t result = ReadDataByte(cmd::kStatus7, status.s[7]); result != TAURAVAT_OK)
        return result;
    }
  }
  if (model.eighthStatusByte) {
    if (const int32_t result = ReadDataByte(cmd::kStatus8, status.s[8]); result != TAURAVAT_OK)
      return result;
    status.eighthPresent = true;
  }
  return TAURAVAT_OK;
}

int32_t Printer::ReadLastReceiptNumber(int32_t& number) {
  static const std::string caption = Cp1250("Odczyt numeru ostatniego paragonu...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != TAURAVAT_OK) return result;

  if (const int32_t result = ReadReceiptCounter(number); result != TAURAVAT_OK) return result;
  // Some models keep the short counter at 0 and count in the long one.
  if (number == 0 && ModelOf(type).longReceiptCounter) {
    Block reply{};
    if (const uint8_t result = SendSequence(cmd::kLongCounters, reply); result != TAURAVAT_OK)
      return result;
    number = reply[0] + 256 * reply[1];
  }
  return TAURAVAT_OK;
}

int32_t Printer::ReceiptCounter(int32_t& counter, bool& known) {
  static const std::string caption = Cp1250("Odczyt numeru ostatniego paragonu...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  if (const int32_t result = ReadReceiptCounter(counter); result != TAURAVAT_OK) return result;
  known = CounterTells(counter);
  return TAURAVAT_OK;
}

bool Printer::CounterTells(int32_t counter) const {
  return counter != 0 || !ModelOf(DeviceType).longReceiptCounter;
}

int32_t Printer::ReadReceiptCounter(int32_t& counter) {
  Block reply{};
  if (const uint8_t result = SendSequence(cmd::kReceiptCounter, reply); result != TAURAVAT_OK)
    return result;
  counter = reply[0] + 256 * reply[1];
  return TAURAVAT_OK;
}

int32_t Printer::CheckFiscalMode(bool& fiscal) {
  static const std::string caption = Cp1250("Test czy tryb fiskalny...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(false, false); result != TAURAVAT_OK) return result;
  uint8_t status = 0;
  if (const int32_t result = ReadStatusByte(cmd::kFiscalStatus.code, status); result != TAURAVAT_OK)
    return result;
  fiscal = (status & kFiscalModeBit) != 0;
  return TAURAVAT_OK;
}

int32_t Printer::CheckTaxRatesSet(bool& flag) {
  static const std::string caption = Cp1250("Odczyt stawek podatkowych...");
  ShowCentreMessage(caption);
  flag = false;
  RateReserved.fill(false);
  Block reply{};

  // Newest format first; a NAK means the model predates the command. Any other failure
  // is the line's or the printer's, not an answer about the rates, and is passed on as
  // it came: "no rates" from a printer that never answered sends the user after rates
  // that are there.
  uint8_t result = SendSequence(cmd::kReadRates7, reply);
  if (result == TAURAVAT_OK) {
    for (int entry = 0; entry < 7; ++entry) RateReserved[entry + 1] = reply[2 * entry] >= 0x80;
    return RatesSetAmong(RateReserved, 7, flag);
  }
  if (result != TAURAVAT_E_NAK) return result;

  result = SendSequence(cmd::kReadRates6, reply);
  if (result == TAURAVAT_OK) {
    for (int entry = 0; entry < 6; ++entry) RateReserved[entry + 1] = reply[2 * entry] == 0xFF;
    return RatesSetAmong(RateReserved, 6, flag);
  }
  if (result != TAURAVAT_E_NAK) return result;

  result = SendSequence(cmd::kReadRates4, reply);
  if (result != TAURAVAT_OK) return result;
  // One byte per rate in this format: the four data bytes are the four rates.
  for (int entry = 0; entry < 4; ++entry) RateReserved[entry + 1] = reply[entry] == 0xFF;
  return RatesSetAmong(RateReserved, 4, flag);
}

int32_t Printer::ReadStatus94And96(uint8_t& first, uint8_t& second) {
  return Guarded([&]() -> int32_t {
    if (!Connected) {
      if (const int32_t result = ConnectPrinter(PortNumber, true); result != TAURAVAT_OK)
        return result;
    }
    if (const int32_t result = ReadStatusByte(cmd::kLockStatus.code, second); result != TAURAVAT_OK)
      return result;
    return ReadStatusByte(cmd::kStatus5E.code, first);
  });
}

}  // namespace kestradr
