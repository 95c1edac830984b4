#include "tax_rates.hpp"

#include "device_models.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {

uint32_t Word(const Block& reply, int index) {
  return reply[2 * index] * 256u + reply[2 * index + 1];
}

uint32_t Decode7(uint32_t word) {
  if (word >= 0x8000) return TAURAVAT_RATE_RESERVED;
  if (word == 0x4000) return TAURAVAT_RATE_EXEMPT;
  return word;
}

uint32_t Decode6(uint32_t word) {
  return word >= 0xFF00 ? TAURAVAT_RATE_RESERVED : word;
}

uint32_t Decode4(uint8_t byte) {
  return byte == 0xFF ? TAURAVAT_RATE_RESERVED : byte * 100u;
}

void PutWord(Block& parameters, int index, uint8_t high, uint8_t low) {
  parameters[2 * index] = high;
  parameters[2 * index + 1] = low;
}

void PutValue(Block& parameters, int index, uint32_t value) {
  PutWord(parameters, index, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value));
}

}  // namespace

int32_t Printer::ReadTaxRates(TaxRates& rates) {
  Block reply{};
  uint8_t result = SendSequence(cmd::kReadRates7, reply);
  if (result == TAURAVAT_OK) {
    for (int i = 0; i < 7; ++i) rates.values[i] = Decode7(Word(reply, i));
    rates.count = 7;
    return TAURAVAT_OK;
  }
  if (result != TAURAVAT_E_NAK) return result;

  result = SendSequence(cmd::kReadRates6, reply);
  if (result == TAURAVAT_OK) {
    for (int i = 0; i < 6; ++i) rates.values[i] = Decode6(Word(reply, i));
    rates.count = 6;
    return TAURAVAT_OK;
  }
  if (result != TAURAVAT_E_NAK) return result;

  result = SendSequence(cmd::kReadRates4, reply);
  if (result != TAURAVAT_OK) return result;
  for (int i = 0; i < 4; ++i) rates.values[i] = Decode4(reply[i]);
  rates.count = 4;
  return TAURAVAT_OK;
}

bool EncodeTaxRates(uint8_t deviceType, const RateArray& values, RateWrite& write, bool& fits) {
  fits = true;
  switch (ModelOf(deviceType).rateCount) {
    case 4:
      write = {cmd::kWriteRates4.code, cmd::kWriteRates4.parameters, 4, {}};
      for (int i = 0; i < 4; ++i) {
        // Whole percents only; the reserved marker becomes the byte 0xFF. A rate
        // with hundredths would be written cut down to fiscal memory, whose changes are
        // few: it does not fit.
        const uint32_t percent = values[i] / 100;
        fits = fits && percent <= 0xFF && values[i] % 100 == 0;
        write.parameters[i] = static_cast<uint8_t>(percent);
      }
      return true;
    case 6:
      write = {cmd::kWriteRates6.code, cmd::kWriteRates6.parameters, 6, {}};
      for (int i = 0; i < 6; ++i) {
        if (values[i] == TAURAVAT_RATE_RESERVED)
          PutWord(write.parameters, i, 0xFF, 0x00);
        else
          PutValue(write.parameters, i, values[i]);
      }
      return true;
    case 7:
      write = {cmd::kWriteRates7.code, cmd::kWriteRates7.parameters, 7, {}};
      for (int i = 0; i < 7; ++i) {
        if (values[i] == TAURAVAT_RATE_RESERVED)
          PutWord(write.parameters, i, 0x80, 0x00);
        else if (values[i] == TAURAVAT_RATE_EXEMPT)
          PutWord(write.parameters, i, 0x40, 0x00);
        else
          PutValue(write.parameters, i, values[i]);
      }
      return true;
    default:
      return false;
  }
}

}  // namespace kestradr
