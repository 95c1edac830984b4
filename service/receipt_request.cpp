#include "receipt_request.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "printable_text.hpp"
#include "result_codes.hpp"
#include "strict_json.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

// Bounds of the request's own, on what a body may hold at all; what a printer takes is the
// driver's check (sale_check.hpp).
constexpr size_t kMaxListEntries = 64;  // payments, extra lines

std::string Where(std::string_view list, size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

// Text for the driver, which takes C strings: a NUL would end it early, so it is refused
// here as the control character the printer cannot print.
std::string Text(const ObjectReader& reader, std::string_view key, bool required) {
  const auto text = required ? std::optional(reader.String(key)) : reader.OptionalString(key);
  if (!text) return {};
  if (const size_t nul = text->find('\0'); nul != std::string::npos) {
    const size_t offset = CharacterCount(std::string_view(*text).substr(0, nul));
    RequestError error(
        TAURAVAT_E_PARAMETER_RANGE, reader.PathOf(key),
        "the printer cannot print U+0000, character " + std::to_string(offset) + " of the text");
    error.offset = offset;
    error.codePoint = U'\0';
    throw FieldFault{std::move(error)};
  }
  return *text;
}

// A whole number for the driver, which decides its range: beyond 32 bits it is held at the
// nearest end, which no rule takes either.
int32_t Number(const ObjectReader& reader, std::string_view key, int32_t fallback) {
  const auto number = reader.OptionalInteger(key, INT64_MIN, INT64_MAX);
  if (!number) return fallback;
  return static_cast<int32_t>(std::clamp<int64_t>(*number, INT32_MIN, INT32_MAX));
}

int64_t Money(const ObjectReader& reader, std::string_view key, int32_t code) {
  const auto grosz = ParseMoney(reader.String(key));
  if (!grosz) {
    Refuse(reader.PathOf(key), "expected a decimal amount with at most 2 places, like \"4.99\"",
           code);
  }
  return *grosz;
}

int32_t RateLetter(const ObjectReader& reader) {
  const std::string letter = reader.String("rate");
  if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'G') {
    Refuse(reader.PathOf("rate"), "expected a rate letter \"A\"..\"G\"", TAURAVAT_E_RATE_RANGE);
  }
  return letter[0] - 'A' + 1;
}

Decimal Quantity(const ObjectReader& reader) {
  const auto quantity = ParseDecimal(reader.String("quantity"), 15);
  if (!quantity) {
    Refuse(reader.PathOf("quantity"), "expected a decimal number like \"1.5\"",
           TAURAVAT_E_QUANTITY_RANGE);
  }
  return *quantity;
}

// As the driver computes it: an exact half grosz rounded up. Held at the largest int64
// where the product would not fit, a value the driver's check refuses in any case.
int64_t LineValue(Decimal quantity, int64_t price) {
  int64_t scale = 1;
  for (int32_t i = 0; i < quantity.places; ++i) scale *= 10;
  int64_t product = 0;
  if (__builtin_mul_overflow(quantity.units, price, &product)) return INT64_MAX;
  return product / scale + (2 * (product % scale) >= scale ? 1 : 0);
}

SaleLine Item(const json& value, const std::string& where) {
  const ObjectReader reader(value, where, {"name", "quantity", "unit", "price", "rate", "message"});
  SaleLine line;
  line.name = Text(reader, "name", true);
  line.quantity = Quantity(reader);
  line.unit = Text(reader, "unit", false);
  line.price = Money(reader, "price", TAURAVAT_E_PRICE_RANGE);
  line.rate = RateLetter(reader);
  line.message = Number(reader, "message", 0);
  line.value = LineValue(line.quantity, line.price);
  return line;
}

ReceiptRequest Receipt(const json& root) {
  const ObjectReader reader(
      root, "", {"id", "items", "discount_percent", "payments", "lines", "retry_unknown"});
  ReceiptRequest request;
  request.id = reader.String("id");
  if (!ValidReceiptId(request.id)) {
    Refuse("id", "expected 1 to 64 of the characters A-Z a-z 0-9 . _ : -");
  }

  const json& items = reader.Array("items", kMaxItems, true);
  for (size_t i = 0; i < items.size(); ++i) {
    request.items.push_back(Item(items[i], Where("items", i)));
  }
  request.discountPercent = Number(reader, "discount_percent", 0);

  const json& payments = reader.Array("payments", kMaxListEntries, false);
  for (size_t i = 0; i < payments.size(); ++i) {
    const ObjectReader payment(payments[i], Where("payments", i), {"name", "amount"});
    request.payments.push_back(
        {Text(payment, "name", true), Money(payment, "amount", TAURAVAT_E_PARAMETER_RANGE)});
  }

  const json& lines = reader.Array("lines", kMaxListEntries, false);
  for (size_t i = 0; i < lines.size(); ++i) {
    const ObjectReader line(lines[i], Where("lines", i), {"code", "text"});
    ExtraLine extra;
    if (!line.Has("code")) Refuse(line.PathOf("code"), "missing");
    extra.code = Number(line, "code", 0);
    extra.text = Text(line, "text", true);
    request.lines.push_back(std::move(extra));
  }
  request.retryUnknown = reader.Boolean("retry_unknown", false);
  return request;
}

}  // namespace

bool ValidReceiptId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (const char c : id) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !digit && c != '.' && c != '_' && c != ':' && c != '-') return false;
  }
  return true;
}

std::variant<ReceiptRequest, RequestError> ParseReceiptRequest(std::string_view body) {
  auto parsed = ParseStrictJson(body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return std::move(*error);
  try {
    return Receipt(std::get<json>(parsed));
  } catch (const FieldFault& fault) {
    return fault.error;
  }
}

std::string CanonicalJson(const ReceiptRequest& request) {
  json items = json::array();
  for (const SaleLine& item : request.items) {
    json line = {{"name", item.name},
                 {"quantity", FormatDecimal(item.quantity)},
                 {"unit", item.unit},
                 {"price", FormatMoney(item.price)},
                 {"rate", std::string(1, static_cast<char>('A' + item.rate - 1))}};
    // Only when given, so receipts journalled before messages existed compare the same.
    if (item.message != 0) line["message"] = item.message;
    items.push_back(std::move(line));
  }
  json payments = json::array();
  for (const PaymentLine& payment : request.payments) {
    payments.push_back({{"name", payment.name}, {"amount", FormatMoney(payment.amount)}});
  }
  json lines = json::array();
  for (const ExtraLine& line : request.lines) {
    lines.push_back({{"code", line.code}, {"text", line.text}});
  }
  const json canonical = {{"id", request.id},
                          {"items", items},
                          {"discount_percent", request.discountPercent},
                          {"payments", payments},
                          {"lines", lines}};
  return canonical.dump();
}

ReceiptRequest FromCanonicalJson(std::string_view canonical) {
  auto parsed = ParseReceiptRequest(canonical);
  if (auto* request = std::get_if<ReceiptRequest>(&parsed)) return std::move(*request);
  throw std::runtime_error("journal holds a receipt that no longer parses: " +
                           std::get<RequestError>(parsed).detail);
}

}  // namespace tauravatd
