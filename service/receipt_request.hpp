// The body of POST /v1/printers/{name}/receipts, checked completely before it is
// journalled or reaches a printer:
//
//   {"id": "till1-000123",
//    "items": [{"name": "Chleb razowy", "quantity": "1.5", "unit": "kg", "price": "4.99",
//               "rate": "A", "message": 0}],
//    "discount_percent": 0,
//    "payments": [{"name": "Karta", "amount": "10.00"}],
//    "lines": [{"code": 0, "text": "Dziękujemy"}],
//    "retry_unknown": false}
//
// Read here: the body's form (types, decimals, known fields). What a printer takes, every
// bound of every field, is the driver's check (sale_check.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "decimal.hpp"
#include "request_error.hpp"

namespace tauravatd {

struct SaleLine {
  std::string name;     // UTF-8; the printer prints its first 28 characters
  Decimal quantity;     // at most 4 places
  std::string unit;     // UTF-8, up to 4 characters
  int64_t price = 0;    // grosz
  int32_t rate = 1;     // 1..7 for A..G
  int64_t value = 0;    // grosz: quantity x price, half a grosz rounded up
  int32_t message = 0;  // the printer's message 0..7 printed with the line
};

struct PaymentLine {
  std::string name;    // UTF-8, up to 13 characters
  int64_t amount = 0;  // grosz
};

struct ExtraLine {
  int32_t code = 0;  // 0..15, the printer's line kind
  std::string text;  // UTF-8
};

struct ReceiptRequest {
  std::string id;
  std::vector<SaleLine> items;
  int32_t discountPercent = 0;
  std::vector<PaymentLine> payments;
  std::vector<ExtraLine> lines;
  // Not part of the receipt: permission to print again a receipt whose outcome is unknown.
  bool retryUnknown = false;
};

inline constexpr size_t kMaxItems = 500;

std::variant<ReceiptRequest, RequestError> ParseReceiptRequest(std::string_view body);

// The receipt as stored in the journal and compared when an id comes again: every field
// but retry_unknown, in a fixed form, so spacing or key order do not make two bodies differ.
std::string CanonicalJson(const ReceiptRequest& request);

// Reads a journalled receipt back (the journal holds only canonical, valid bodies).
ReceiptRequest FromCanonicalJson(std::string_view canonical);

bool ValidReceiptId(std::string_view id);

}  // namespace tauravatd
