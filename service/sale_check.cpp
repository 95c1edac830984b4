#include "sale_check.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "decimal.hpp"
#include "printable_text.hpp"
#include "tauravat.h"

namespace tauravatd {
namespace {

// Whatever answers as a printer of no known type: the driver treats it as the newest kind,
// which takes the most.
constexpr int32_t kAnyDevice = 11;

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::string_view Without(std::string_view text, std::string_view end) {
  return text.substr(0, text.size() - end.size());
}

// The driver names its own members; the request has fewer of them.
std::string RequestField(std::string_view field) {
  if (EndsWith(field, ".value")) return std::string(Without(field, ".value"));  // computed
  if (EndsWith(field, ".decimals")) return std::string(Without(field, ".decimals")) + ".quantity";
  if (EndsWith(field, ".first_amount")) {
    return std::string(Without(field, ".first_amount")) + ".amount";
  }
  return std::string(field);
}

std::string Bound(std::string_view field, int64_t limit) {
  const bool money = EndsWith(field, ".price") || EndsWith(field, "amount") ||
                     EndsWith(field, ".value") || field == "total";
  return money ? FormatMoney(limit) : std::to_string(limit);
}

std::string Detail(const tauravat_problem& problem) {
  const std::string_view field = problem.field;
  const std::string limit = Bound(field, problem.limit);
  switch (problem.rule) {
    case TAURAVAT_RULE_NOT_PRINTABLE:
      return "the printer cannot print " + CodePointName(problem.code_point) + ", character " +
             std::to_string(problem.offset) + " of the text";
    case TAURAVAT_RULE_NOT_UTF8:
      return "not UTF-8 from character " + std::to_string(problem.offset);
    case TAURAVAT_RULE_TOO_LONG:
      return "longer than " + limit + " characters";
    case TAURAVAT_RULE_TOO_FEW:
      if (problem.code == TAURAVAT_E_NAME_TOO_SHORT) {
        return "this printer needs at least " + limit +
               " letters or digits among the name's first 28 characters";
      }
      return "fewer than " + limit;
    case TAURAVAT_RULE_TOO_MANY:
      return "more than " + limit;
    case TAURAVAT_RULE_TOO_SMALL:
      return "below " + limit;
    case TAURAVAT_RULE_TOO_LARGE:
      if (EndsWith(field, ".value")) return "the line's value is above " + limit;
      if (EndsWith(field, ".decimals")) return "more than " + limit + " decimal places";
      return "above " + limit + ", the most this printer takes";
    case TAURAVAT_RULE_NOT_ALLOWED:
      if (field == "payments") return "this printer prints no payment forms";
      return "not taken by this printer";
    case TAURAVAT_RULE_RESERVED:
      return "this rate is not in use on this printer (reserved)";
    default:
      return "refused by the driver's check";
  }
}

}  // namespace

DriverSale::DriverSale(const ReceiptRequest& request, bool values) {
  items_.reserve(request.items.size());
  for (const SaleLine& line : request.items) {
    tauravat_item item{};
    item.size = sizeof item;
    item.kind = TAURAVAT_ITEM_SALE;
    item.name = line.name.c_str();
    item.rate = line.rate;
    item.message = line.message;
    item.quantity = line.quantity.units;
    item.decimals = line.quantity.places;
    item.unit = line.unit.empty() ? nullptr : line.unit.c_str();
    item.price = line.price;
    item.value = values ? line.value : 0;
    items_.push_back(item);
  }
  for (const PaymentLine& line : request.payments) {
    tauravat_payment payment{};
    payment.size = sizeof payment;
    payment.name = line.name.c_str();
    payment.first_amount = line.amount;
    payments_.push_back(payment);
  }
  for (const ExtraLine& extra : request.lines) {
    tauravat_line line{};
    line.size = sizeof line;
    line.code = extra.code;
    line.text = extra.text.c_str();
    lines_.push_back(line);
  }
  sale_.size = sizeof sale_;
  sale_.items = items_.data();
  sale_.item_count = items_.size();
  sale_.discount_percent = request.discountPercent;
  sale_.payments = payments_.empty() ? nullptr : payments_.data();
  sale_.payment_count = payments_.size();
  sale_.lines = lines_.empty() ? nullptr : lines_.data();
  sale_.line_count = lines_.size();
}

std::optional<RequestError> CheckSale(const ReceiptRequest& request, const PrinterFacts* printer) {
  tauravat_model_info model{};
  model.size = sizeof model;
  if (tauravat_model_by_type(printer != nullptr ? printer->device.type : kAnyDevice, &model) !=
      TAURAVAT_OK) {
    tauravat_model_by_type(kAnyDevice, &model);
  }
  tauravat_rates rates{};
  rates.size = sizeof rates;
  if (printer != nullptr) {
    rates.count = printer->rates.count;
    for (size_t i = 0; i < printer->rates.values.size(); ++i) {
      rates.values[i] = printer->rates.values[i];
    }
  }

  const DriverSale sale(request, false);
  tauravat_problem problem{};
  problem.size = sizeof problem;
  if (tauravat_check_sale(&model, printer != nullptr ? &rates : nullptr, &sale.Sale(), &problem) ==
      TAURAVAT_OK) {
    return std::nullopt;
  }
  RequestError error(problem.code, RequestField(problem.field), Detail(problem));
  if (problem.rule == TAURAVAT_RULE_NOT_PRINTABLE) {
    error.offset = static_cast<size_t>(problem.offset);
    error.codePoint = problem.code_point;
  }
  return error;
}

}  // namespace tauravatd
