#include "receipt_request.hpp"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "printable_text.hpp"
#include "result_codes.hpp"
#include "strict_json.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

constexpr size_t kMaxNameCharacters = 254;
constexpr size_t kMaxUnitCharacters = 4;
constexpr size_t kMaxPaymentNameCharacters = 13;
// The code, the text and a line feed share a one-byte length on the wire.
constexpr size_t kMaxExtraLineCharacters = 253;
constexpr size_t kMaxPayments = 4;
constexpr size_t kMaxExtraLines = 6;

std::string Where(std::string_view list, size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

std::string PrintableText(const ObjectReader& reader, std::string_view key, size_t maxCharacters,
                          bool required, int32_t code) {
  const auto text = required ? std::optional(reader.String(key)) : reader.OptionalString(key);
  if (!text) return {};
  if (required && text->empty()) Refuse(reader.PathOf(key), "must not be empty", code);
  if (const auto unprintable = FindUnprintable(*text)) {
    // The driver's own code for it, whatever the field.
    RequestError error(kParameterOutOfRange, reader.PathOf(key),
                       "the printer cannot print " + CodePointName(unprintable->codePoint) +
                           ", character " + std::to_string(unprintable->offset) + " of the text");
    error.offset = unprintable->offset;
    error.codePoint = unprintable->codePoint;
    throw FieldFault{std::move(error)};
  }
  if (CharacterCount(*text) > maxCharacters) {
    Refuse(reader.PathOf(key), "longer than " + std::to_string(maxCharacters) + " characters",
           code);
  }
  return *text;
}

int64_t Money(const ObjectReader& reader, std::string_view key, int64_t min, int64_t max,
              int32_t code) {
  const std::string text = reader.String(key);
  const auto grosz = ParseMoney(text);
  if (!grosz) {
    Refuse(reader.PathOf(key), "expected a decimal amount with at most 2 places, like \"4.99\"",
           code);
  }
  if (*grosz < min || *grosz > max) {
    Refuse(reader.PathOf(key), "must be " + FormatMoney(min) + ".." + FormatMoney(max), code);
  }
  return *grosz;
}

int32_t RateLetter(const ObjectReader& reader) {
  const std::string letter = reader.String("rate");
  if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'G') {
    Refuse(reader.PathOf("rate"), "expected a rate letter \"A\"..\"G\"", kRateOutOfRange);
  }
  return letter[0] - 'A' + 1;
}

Decimal Quantity(const ObjectReader& reader) {
  const std::string text = reader.String("quantity");
  const auto quantity = ParseDecimal(text, 15);
  if (!quantity) {
    Refuse(reader.PathOf("quantity"), "expected a decimal number like \"1.5\"",
           kQuantityOutOfRange);
  }
  if (quantity->places > 4) {
    Refuse(reader.PathOf("quantity"), "at most 4 decimal places", kDecimalsOutOfRange);
  }
  if (quantity->units < 1 || quantity->units > kMaxQuantityUnits) {
    Refuse(reader.PathOf("quantity"),
           "must be above 0 and at most 9999999 counted in its last decimal place",
           kQuantityOutOfRange);
  }
  return *quantity;
}

int64_t LineValue(Decimal quantity, int64_t price) {
  int64_t scale = 1;
  for (int32_t i = 0; i < quantity.places; ++i) scale *= 10;
  const int64_t product = quantity.units * price;
  return product / scale + (2 * (product % scale) >= scale ? 1 : 0);
}

SaleLine Item(const json& value, const std::string& where) {
  const ObjectReader reader(value, where, {"name", "quantity", "unit", "price", "rate"});
  SaleLine line;
  line.name = PrintableText(reader, "name", kMaxNameCharacters, true, kNameTooShort);
  line.quantity = Quantity(reader);
  line.unit = PrintableText(reader, "unit", kMaxUnitCharacters, false, kUnitOutOfRange);
  line.price = Money(reader, "price", 1, kMaxPrice, kPriceOutOfRange);
  line.rate = RateLetter(reader);
  line.value = LineValue(line.quantity, line.price);
  if (line.value < 1 || line.value > kMaxLineValue) {
    Refuse(where, "the line's value " + FormatMoney(line.value) + " is outside 0.01..9999999.99",
           kLineValueTooLarge);
  }
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
  request.discountPercent = static_cast<int32_t>(
      reader.OptionalInteger("discount_percent", 0, 99, kParameterOutOfRange).value_or(0));

  const json& payments = reader.Array("payments", kMaxPayments, false);
  for (size_t i = 0; i < payments.size(); ++i) {
    const ObjectReader payment(payments[i], Where("payments", i), {"name", "amount"});
    request.payments.push_back(
        {PrintableText(payment, "name", kMaxPaymentNameCharacters, true, kParameterOutOfRange),
         Money(payment, "amount", 0, kMaxPrice, kParameterOutOfRange)});
  }

  const json& lines = reader.Array("lines", kMaxExtraLines, false);
  for (size_t i = 0; i < lines.size(); ++i) {
    const ObjectReader line(lines[i], Where("lines", i), {"code", "text"});
    ExtraLine extra;
    extra.code = static_cast<int32_t>(line.Integer("code", 0, 15, kParameterOutOfRange));
    extra.text = PrintableText(line, "text", kMaxExtraLineCharacters, true, kParameterOutOfRange);
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
    items.push_back({{"name", item.name},
                     {"quantity", FormatDecimal(item.quantity)},
                     {"unit", item.unit},
                     {"price", FormatMoney(item.price)},
                     {"rate", std::string(1, static_cast<char>('A' + item.rate - 1))}});
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
