#include "operation_requests.hpp"

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "decimal.hpp"
#include "result_codes.hpp"
#include "strict_json.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

constexpr std::string_view kLetters = "ABCDEFG";

template <class Result, class Fn>
std::variant<Result, RequestError> Parsed(std::string_view body, Fn&& read) {
  auto parsed = ParseStrictJson(body.empty() ? std::string_view("{}") : body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return std::move(*error);
  try {
    return read(std::get<json>(parsed));
  } catch (const FieldFault& fault) {
    return fault.error;
  }
}

uint32_t RateValue(const std::string& text, const std::string& where) {
  if (text == "reserved") return TAURAVAT_RATE_RESERVED;
  if (text == "exempt") return TAURAVAT_RATE_EXEMPT;
  const auto hundredths = ParseMoney(text);
  if (!hundredths || *hundredths > 9999) {
    Refuse(where,
           "expected a percent below 100 with at most 2 places (\"23\", \"8.50\"), "
           "\"exempt\" or \"reserved\"",
           TAURAVAT_E_PARAMETER_RANGE);
  }
  return static_cast<uint32_t>(*hundredths);
}

ReportKind Kind(const ObjectReader& reader) {
  const std::string kind = reader.String("kind");
  if (kind == "short") return ReportKind::kShort;
  if (kind == "detailed") return ReportKind::kDetailed;
  Refuse(reader.PathOf("kind"), "expected \"short\" or \"detailed\"");
}

int32_t Digits(std::string_view text, size_t at, size_t count) {
  int32_t value = 0;
  for (size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

bool DigitsAt(std::string_view text, std::initializer_list<size_t> positions) {
  for (const size_t at : positions)
    if (text[at] < '0' || text[at] > '9') return false;
  return true;
}

// "YYYY-MM-DD" in the years the printer's two-digit dates can name.
Date DateField(const ObjectReader& reader, std::string_view key) {
  const std::string text = reader.String(key);
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      !DigitsAt(text, {0, 1, 2, 3, 5, 6, 8, 9})) {
    Refuse(reader.PathOf(key), "expected a date \"YYYY-MM-DD\"");
  }
  const Date date{Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2)};
  const std::chrono::year_month_day ymd{std::chrono::year(date.year),
                                        std::chrono::month(static_cast<unsigned>(date.month)),
                                        std::chrono::day(static_cast<unsigned>(date.day))};
  if (!ymd.ok() || date.year < 2000 || date.year > 2099) {
    Refuse(reader.PathOf(key), "not a date from 2000-01-01 to 2099-12-31");
  }
  return date;
}

bool Before(const Date& a, const Date& b) {
  return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
}

ReportRequest Report(std::string_view type, const json& root) {
  ReportRequest report;
  if (type == "daily") {
    const ObjectReader reader(root, "", {"force"});
    report.type = ReportRequest::Type::kDaily;
    report.force = reader.Boolean("force", false);
  } else if (type == "period") {
    const ObjectReader reader(root, "", {"kind", "from", "to"});
    report.type = ReportRequest::Type::kPeriod;
    report.kind = Kind(reader);
    report.from = DateField(reader, "from");
    report.to = DateField(reader, "to");
    if (Before(report.to, report.from)) Refuse("to", "before \"from\"");
  } else if (type == "monthly") {
    const ObjectReader reader(root, "", {"kind", "month"});
    report.type = ReportRequest::Type::kMonthly;
    report.kind = Kind(reader);
    const std::string month = reader.String("month");
    if (month.size() != 7 || month[4] != '-' || !DigitsAt(month, {0, 1, 2, 3, 5, 6})) {
      Refuse("month", "expected a month \"YYYY-MM\"");
    }
    report.year = Digits(month, 0, 4);
    report.month = Digits(month, 5, 2);
    if (report.year < 2000 || report.year > 2099 || report.month < 1 || report.month > 12) {
      Refuse("month", "not a month from 2000-01 to 2099-12");
    }
  } else if (type == "numbers") {
    const ObjectReader reader(root, "", {"kind", "from", "to"});
    report.type = ReportRequest::Type::kNumbers;
    report.kind = Kind(reader);
    report.fromNumber = static_cast<int32_t>(reader.Integer("from", 1, 65535));
    report.toNumber = static_cast<int32_t>(reader.Integer("to", 1, 65535));
    if (report.toNumber < report.fromNumber) Refuse("to", "below \"from\"");
  } else {
    Refuse("", "no such report");
  }
  return report;
}

}  // namespace

std::variant<RatesWrite, RequestError> ParseRatesWrite(std::string_view body) {
  return Parsed<RatesWrite>(body, [](const json& root) {
    const ObjectReader reader(root, "", {"confirm", "force", "rates"});
    if (!reader.Boolean("confirm", false)) {
      Refuse("confirm",
             "the printer's fiscal memory takes few rate changes: send \"confirm\": true");
    }
    RatesWrite write;
    write.force = reader.Boolean("force", false);
    const ObjectReader rates(reader.At("rates"), "rates", {"A", "B", "C", "D", "E", "F", "G"});
    RateTable& table = write.rates;
    for (size_t i = 0; i < kLetters.size(); ++i) {
      const std::string letter(1, kLetters[i]);
      if (!rates.Has(letter)) break;
      table.values[i] = RateValue(rates.String(letter), rates.PathOf(letter));
      table.count = static_cast<int32_t>(i + 1);
    }
    for (size_t i = static_cast<size_t>(table.count); i < kLetters.size(); ++i) {
      const std::string letter(1, kLetters[i]);
      if (rates.Has(letter)) {
        Refuse(rates.PathOf(letter), "given without the letters before it");
      }
    }
    if (table.count == 0) Refuse("rates", "must not be empty");
    return write;
  });
}

std::variant<ReportRequest, RequestError> ParseReport(std::string_view type,
                                                      std::string_view body) {
  return Parsed<ReportRequest>(body, [type](const json& root) { return Report(type, root); });
}

std::variant<int32_t, RequestError> ParseDrawer(std::string_view body) {
  return Parsed<int32_t>(body, [](const json& root) {
    const ObjectReader reader(root, "", {"drawer"});
    return static_cast<int32_t>(reader.Integer("drawer", 1, 3, TAURAVAT_E_DRAWER_RANGE));
  });
}

}  // namespace tauravatd
