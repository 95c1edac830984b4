// The receipt transaction: begin, item and package lines, subtotal, end with discount,
// payments and extra lines, cancel, and the printer's running totals. The exports of
// exports_receipt.cpp wrap these in the exception guard.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestradr {

// The largest value one item line may carry, in grosz.
inline constexpr int64_t kMaxLineValue = 999'999'999;

// Ilosc × Cena / 10^MP exactly, an exact half rounded up.
int64_t LineValue(int32_t quantity, int32_t decimals, int32_t price);
// The sum sent with command 0x07 when the receipt ends: each rate total less the
// discount, an exact half rounded down, summed in 32 bits as the printer does.
int32_t DiscountedSum(int32_t discountPercent);

int32_t ReceiptBegin();
int32_t ReceiptItem(int32_t Typ, std::string_view Nazwa, int32_t Stawka, int32_t Komunikat,
                    int32_t Ilosc, int32_t MP, std::string_view Jedn, int32_t Cena,
                    int32_t& Wartosc);
int32_t PackageItem(int32_t Param, uint16_t firstValue, uint16_t secondValue, int32_t amount);
int32_t PrintSubtotal();
int32_t ReceiptEnd(int32_t Rabat);
int32_t ReceiptCancel();
int32_t FillPayment(int32_t Number, std::string_view Name, int32_t FirstAmount,
                    int32_t SecondAmount);
int32_t FillLines(int32_t LineCode, std::string_view Text, int32_t& FreeLines);
int32_t ErasePayments();
int32_t EraseLines();
int32_t ReadTotal(std::string& Total);
int32_t ReadSelTotal(std::string_view N, std::string& Total);

}  // namespace kestradr
