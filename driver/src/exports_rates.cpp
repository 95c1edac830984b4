// Exported tax-rate and report operations.
#include "legacy_call.hpp"
#include "tauravat.h"

using namespace kestradr;

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReadVAT(int32_t* Count, uint32_t* A, uint32_t* B,
                                                      uint32_t* C, uint32_t* D, uint32_t* E,
                                                      uint32_t* F, uint32_t* G) {
  return OnDefaultPrinter([&](Printer& p) -> int32_t {
    int32_t& count = Deref(Count);
    uint32_t* const outputs[7] = {&Deref(A), &Deref(B), &Deref(C), &Deref(D),
                                  &Deref(E), &Deref(F), &Deref(G)};
    // What the printer's format does not carry keeps the caller's values.
    TaxRates rates;
    for (size_t i = 0; i < 7; ++i) rates.values[i] = *outputs[i];
    const int32_t result = p.ReadVAT(rates);
    if (result == TAURAVAT_OK) count = rates.count;
    for (size_t i = 0; i < 7; ++i) *outputs[i] = rates.values[i];
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL SetVAT(int32_t* Count, uint32_t A, uint32_t B,
                                                     uint32_t C, uint32_t D, uint32_t E, uint32_t F,
                                                     uint32_t G) {
  return OnDefaultPrinter([&](Printer& p) {
    int32_t& count = Deref(Count);
    TaxRates rates{.count = count, .values = {A, B, C, D, E, F, G}};
    const int32_t result = p.SetVAT(rates);
    count = rates.count;
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL DailyReport(int32_t Force) {
  return OnDefaultPrinter([&](Printer& p) { return p.DailyReport(Force != 0); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL LockedArticlesReport(void) {
  return OnDefaultPrinter([](Printer& p) { return p.LockedArticlesReport(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PrinterStatusReport(void) {
  return OnDefaultPrinter([](Printer& p) { return p.PrinterStatusReport(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PeriodReport(int32_t Kind, int32_t FromYear,
                                                           int32_t FromMonth, int32_t FromDay,
                                                           int32_t ToYear, int32_t ToMonth,
                                                           int32_t ToDay) {
  return OnDefaultPrinter([&](Printer& p) {
    return p.PeriodReport(static_cast<ReportKind>(Kind),
                          {.from = {.year = FromYear, .month = FromMonth, .day = FromDay},
                           .to = {.year = ToYear, .month = ToMonth, .day = ToDay}});
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL MonthlyReport(int32_t Kind, int32_t Year,
                                                            int32_t Month) {
  return OnDefaultPrinter(
      [&](Printer& p) { return p.MonthlyReport(static_cast<ReportKind>(Kind), Year, Month); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL NumberReport(int32_t Kind, int32_t From, int32_t To) {
  return OnDefaultPrinter([&](Printer& p) {
    return p.NumberReport(static_cast<ReportKind>(Kind), {.first = From, .last = To});
  });
}
