// A whole receipt described in a JSON file, checked completely before anything is sent.
//
//   {
//     "items": [
//       {"name": "Chleb razowy krojony", "rate": "A", "quantity": 2, "price": 450},
//       {"name": "Ser żółty gouda", "rate": "B", "quantity": "0.350", "unit": "kg",
//        "price": 2999},
//       {"name": "Chleb razowy krojony", "rate": "A", "quantity": 1, "price": 450,
//        "cancel": true},
//       {"package": "S", "first": 1, "second": 50, "amount": 2},
//       {"subtotal": true}
//     ],
//     "discount": 5,
//     "payments": [{"name": "Gotówka", "first": 5000, "second": 0}],
//     "extra_lines": [{"code": 0, "text": "Dziękujemy"}]
//   }
//
// Money (price, value, a payment's first and second) is a decimal string in złoty ("4.50"),
// or a whole number of grosz (450) as files written before strings have it. A quantity is a whole number, or a decimal (as a number or a string).
// Texts are UTF-8, as JSON is. This is the file's shape alone: what a printer takes is the
// driver's check (tauravat_check_sale, receipt_sale.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tauravat::cli {

struct ItemLine {
  bool cancel = false;
  std::string name;  // UTF-8, as all the texts here
  int32_t rate = 1;  // 1..7 for A..G
  int32_t message = 0;
  int64_t quantity = 0;  // in units of 10^-decimals
  int32_t decimals = 0;
  std::string unit;
  int64_t price = 0;
  int64_t value = 0;  // 0: the driver's quantity x price
};

struct PackageLine {
  int32_t kind = 0;  // 0 " S", 1 " Z", 2 "-S", 3 "-Z"
  uint16_t first = 0;
  uint16_t second = 0;
  int32_t amount = 0;
};

struct SubtotalLine {};

using ReceiptLine = std::variant<ItemLine, PackageLine, SubtotalLine>;

struct PaymentSlot {
  int32_t slot = 1;  // 1..4
  std::string name;
  int64_t first = 0;
  int64_t second = 0;
};

struct ExtraLine {
  int32_t code = 0;  // 0..15
  std::string text;
};

struct ReceiptPlan {
  std::vector<ReceiptLine> lines;
  int32_t discount = 0;  // percent; 0 none
  std::vector<PaymentSlot> payments;
  std::vector<ExtraLine> extraLines;
};

// On a mistake gives nothing and names the place and the problem in `error`
// ("items[2].price: ...").
std::optional<ReceiptPlan> ParseReceiptPlan(std::string_view json, std::string& error);

}  // namespace tauravat::cli
