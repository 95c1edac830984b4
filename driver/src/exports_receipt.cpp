// Exported receipt operations: each runs its body through the exception guard; the
// p-twins take NUL-terminated text and refuse a null output buffer before anything.
#include <optional>
#include <string>
#include <string_view>

#include "legacy_call.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

using kestradr::CopyOut;
using kestradr::Deref;
using kestradr::kNullBuffer;
using kestradr::OnDefaultPrinter;
using kestradr::Printer;
using kestradr::TextIn;

namespace {

// The legacy item: Typ 1 sells, any other value cancels; Wartosc is the caller's own value
// in (0: none) and the value sent out.
int32_t LegacyItem(Printer& p, int32_t Typ, std::string_view Nazwa, int32_t Stawka,
                   int32_t Komunikat, int32_t Ilosc, int32_t MP, std::string_view Jedn,
                   int32_t Cena, int32_t& Wartosc) {
  const kestradr::ItemLine line{.cancel = Typ != 1,
                                .name = Nazwa,
                                .rate = Stawka,
                                .message = Komunikat,
                                .quantity = Ilosc,
                                .decimals = MP,
                                .unit = Jedn,
                                .price = Cena,
                                .value = Wartosc};
  // The core sets the value once the line is about to go out, whatever then happens.
  int64_t sent = Wartosc;
  const int32_t result = p.ReceiptItem(line, sent);
  Wartosc = static_cast<int32_t>(sent);
  return result;
}

// ReadTotal (no selector) and ReadSelTotal: the total as decimal digits, `Total`
// untouched on failure.
int32_t LegacyTotal(Printer& p, std::optional<std::string_view> selector, std::string& Total) {
  int64_t total = 0;
  const int32_t result =
      selector ? p.ReadSelTotal(kestradr::SelectorOf(*selector), total) : p.ReadTotal(total);
  if (result == 0) Total = std::to_string(total);
  return result;
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReceiptBegin(void) {
  return OnDefaultPrinter([](Printer& p) { return p.ReceiptBegin(); });
}

TAURAVAT_API int32_t TAURAVAT_CALL ReceiptItem(int32_t Typ, const std::string& Nazwa,
                                               int32_t Stawka, int32_t Komunikat, int32_t Ilosc,
                                               int32_t MP, const std::string& Jedn, int32_t Cena,
                                               int32_t& Wartosc) {
  return OnDefaultPrinter([&](Printer& p) {
    return LegacyItem(p, Typ, Nazwa, Stawka, Komunikat, Ilosc, MP, Jedn, Cena, Wartosc);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pReceiptItem(int32_t Typ, const char* Nazwa,
                                                           int32_t Stawka, int32_t Komunikat,
                                                           int32_t Ilosc, int32_t MP,
                                                           const char* Jedn, int32_t Cena,
                                                           int32_t* Wartosc) {
  return OnDefaultPrinter([&](Printer& p) {
    return LegacyItem(p, Typ, TextIn(Nazwa), Stawka, Komunikat, Ilosc, MP, TextIn(Jedn), Cena,
                      Deref(Wartosc));
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PackageItem(int32_t Param, uint16_t firstValue,
                                                          uint16_t secondValue, int32_t amount) {
  return OnDefaultPrinter([&](Printer& p) {
    return p.PackageItem({.kind = static_cast<kestradr::PackageKind>(Param),
                          .firstValue = firstValue,
                          .secondValue = secondValue,
                          .amount = amount});
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PrintSubtotal(void) {
  return OnDefaultPrinter([](Printer& p) { return p.PrintSubtotal(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReceiptEnd(int32_t Rabat) {
  return OnDefaultPrinter([&](Printer& p) { return p.ReceiptEnd(Rabat); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReceiptCancel(void) {
  return OnDefaultPrinter([](Printer& p) { return p.ReceiptCancel(); });
}

TAURAVAT_API int32_t TAURAVAT_CALL FillPayment(int32_t Number, const std::string& Name,
                                               int32_t FirstAmount, int32_t SecondAmount) {
  return OnDefaultPrinter([&](Printer& p) {
    return p.FillPayment(
        {.slot = Number, .name = Name, .firstAmount = FirstAmount, .secondAmount = SecondAmount});
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pFillPayment(int32_t Number, const char* Name,
                                                           int32_t FirstAmount,
                                                           int32_t SecondAmount) {
  return OnDefaultPrinter([&](Printer& p) {
    return p.FillPayment({.slot = Number,
                          .name = TextIn(Name),
                          .firstAmount = FirstAmount,
                          .secondAmount = SecondAmount});
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL FillLines(int32_t LineCode, const std::string& Text,
                                             int32_t& FreeLines) {
  return OnDefaultPrinter(
      [&](Printer& p) { return p.FillLines({.code = LineCode, .text = Text}, FreeLines); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pFillLines(int32_t LineCode, const char* Text,
                                                         int32_t* FreeLines) {
  return OnDefaultPrinter([&](Printer& p) {
    return p.FillLines({.code = LineCode, .text = TextIn(Text)}, Deref(FreeLines));
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ErasePayments(void) {
  return OnDefaultPrinter([](Printer& p) { return p.ErasePayments(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL EraseLines(void) {
  return OnDefaultPrinter([](Printer& p) { return p.EraseLines(); });
}

TAURAVAT_API int32_t TAURAVAT_CALL ReadTotal(std::string& Total) {
  return OnDefaultPrinter([&](Printer& p) { return LegacyTotal(p, std::nullopt, Total); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pReadTotal(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return OnDefaultPrinter([&](Printer& p) {
    std::string total;
    const int32_t result = LegacyTotal(p, std::nullopt, total);
    if (result == 0) CopyOut(buffer, total);
    return result;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL ReadSelTotal(const std::string& N, std::string& Total) {
  return OnDefaultPrinter([&](Printer& p) { return LegacyTotal(p, N, Total); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pReadSelTotal(const char* N, char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return OnDefaultPrinter([&](Printer& p) {
    std::string total;
    const int32_t result = LegacyTotal(p, TextIn(N), total);
    if (result == 0) CopyOut(buffer, total);
    return result;
  });
}
