// Exported tax-rate operations.
#include <algorithm>

#include "callbacks.hpp"
#include "connection.hpp"
#include "cp1250.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "tauravat.h"
#include "tax_rates.hpp"

using namespace kestradr;

namespace {
// Two bytes are the widest a rate travels in; anything wider would be written truncated.
constexpr uint32_t kWidestRate = 0xFFFF;
}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReadVAT(int32_t* Count, uint32_t* A, uint32_t* B,
                                                      uint32_t* C, uint32_t* D, uint32_t* E,
                                                      uint32_t* F, uint32_t* G) {
  return Guarded([&]() -> int32_t {
    int32_t& count = Deref(Count);
    uint32_t* const outputs[7] = {&Deref(A), &Deref(B), &Deref(C), &Deref(D),
                                  &Deref(E), &Deref(F), &Deref(G)};
    static const std::string caption = Cp1250("Odczyt stawek podatkowych...");
    ShowCentreMessage(caption);
    // A reconnection is followed by the read: the caller asked for the rates, and an
    // answer of 0 with its variables untouched would pass stale values for the printer's.
    if (const int32_t result = Prologue(true, true); result != kOk) return result;

    TaxRates rates;
    for (size_t i = 0; i < 7; ++i) rates.values[i] = *outputs[i];
    if (const int32_t result = ReadTaxRates(rates); result != kOk) return result;
    count = rates.count;
    for (size_t i = 0; i < 7; ++i) *outputs[i] = rates.values[i];
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL SetVAT(int32_t* Count, uint32_t A, uint32_t B,
                                                     uint32_t C, uint32_t D, uint32_t E, uint32_t F,
                                                     uint32_t G) {
  return Guarded([&]() -> int32_t {
    int32_t& count = Deref(Count);
    const std::array<uint32_t, 7> wanted = {A, B, C, D, E, F, G};
    static const std::string caption = Cp1250("Zapis stawek podatkowych...");
    ShowCentreMessage(caption);
    // Rates land in the fiscal memory for good: one that cannot travel is refused here
    // rather than written wrapped.
    if (std::any_of(wanted.begin(), wanted.end(), [](uint32_t v) { return v > kWidestRate; }))
      return kParameterOutOfRange;

    if (const int32_t result = PrintControl(1, DeviceType); result != kOk) return result;
    int32_t receipts = 0;
    if (const int32_t result = ReadLastReceiptNumber(receipts); result != kOk) return result;
    // The printer takes new rates only right after a daily report.
    if (receipts != 0) return kReceiptCounterNotZero;
    uint8_t type = kDeviceNone;
    uint32_t version = 0;
    if (const int32_t result = ReadDeviceType(type, version); result != kOk) return result;

    RateWrite write;
    bool fits = true;
    if (!EncodeTaxRates(type, wanted, write, fits)) return kOk;
    if (!fits) return kParameterOutOfRange;
    count = write.count;
    Block reply{};
    if (const uint8_t result =
            SendSequence(write.command, 1, write.length, reply, write.parameters);
        result != kOk)
      return result;
    if (const int32_t result = PrintControl(0, DeviceType); result != kOk) return result;

    int32_t readCount = 0;
    std::array<uint32_t, 7> read{};
    if (const int32_t result = ReadVAT(&readCount, &read[0], &read[1], &read[2], &read[3], &read[4],
                                       &read[5], &read[6]);
        result != kOk)
      return result;
    const bool same =
        readCount == count && std::equal(wanted.begin(), wanted.begin() + count, read.begin());
    return same ? kOk : kRatesNotWritten;
  });
}
