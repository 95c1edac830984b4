// Reading and writing the tax rates.
#include <algorithm>

#include "cp1250.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {
// Two bytes are the widest a rate travels in; anything wider would be written truncated.
constexpr uint32_t kWidestRate = 0xFFFF;
}  // namespace

int32_t Printer::ReadVAT(TaxRates& rates) {
  static const std::string caption = Cp1250("Odczyt stawek podatkowych...");
  ShowCentreMessage(caption);
  // A reconnection is followed by the read: the caller asked for the rates, and an
  // answer of 0 with its variables untouched would pass stale values for the printer's.
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;

  TaxRates read = rates;
  if (const int32_t result = ReadTaxRates(read); result != TAURAVAT_OK) return result;
  rates = read;
  return TAURAVAT_OK;
}

int32_t Printer::SetVAT(TaxRates& rates) {
  const RateArray wanted = rates.values;
  static const std::string caption = Cp1250("Zapis stawek podatkowych...");
  ShowCentreMessage(caption);
  // Rates land in the fiscal memory for good: one that cannot travel is refused here
  // rather than written wrapped.
  if (std::any_of(wanted.begin(), wanted.end(), [](uint32_t v) { return v > kWidestRate; }))
    return TAURAVAT_E_PARAMETER_RANGE;

  if (const int32_t result = PrintControl(PrintWait::kBefore, DeviceType); result != TAURAVAT_OK)
    return result;
  int32_t receipts = 0;
  if (const int32_t result = ReadLastReceiptNumber(receipts); result != TAURAVAT_OK) return result;
  // The printer takes new rates only right after a daily report.
  if (receipts != 0) return TAURAVAT_E_RECEIPT_COUNTER_NOT_ZERO;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != TAURAVAT_OK) return result;

  RateWrite write;
  bool fits = true;
  if (!EncodeTaxRates(type, wanted, write, fits)) return TAURAVAT_OK;
  if (!fits) return TAURAVAT_E_PARAMETER_RANGE;
  rates.count = write.count;
  Block reply{};
  if (const uint8_t result = SendSequence(write.command, 1, write.length, reply, write.parameters);
      result != TAURAVAT_OK)
    return result;
  if (const int32_t result = PrintControl(PrintWait::kFollow, DeviceType); result != TAURAVAT_OK)
    return result;

  TaxRates read;
  if (const int32_t result = ReadVAT(read); result != TAURAVAT_OK) return result;
  const bool same = read.count == rates.count &&
                    std::equal(wanted.begin(), wanted.begin() + rates.count, read.values.begin());
  return same ? TAURAVAT_OK : TAURAVAT_E_RATES_NOT_WRITTEN;
}

}  // namespace kestradr
