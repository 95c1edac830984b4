// The bodies of the printer's other requests: rates to write, reports, the drawer.
//
//   PUT  .../rates            {"confirm": true, "force": false,
//                              "rates": {"A": "23", "B": "8.00", "C": "reserved"}}
//   POST .../reports/daily    {"force": false}                         (body optional)
//   POST .../reports/period   {"kind": "short", "from": "2024-05-01", "to": "2024-05-31"}
//   POST .../reports/monthly  {"kind": "detailed", "month": "2024-05"}
//   POST .../reports/numbers  {"kind": "short", "from": 12, "to": 40}
//   POST .../drawer           {"drawer": 1}
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "printer_backend.hpp"
#include "request_error.hpp"

namespace tauravatd {

struct RatesWrite {
  // The letters given, from A without a gap, as `count`; each a percent with at most two
  // places below 100, "exempt" or "reserved". The rates after them stay as the printer
  // holds them; whether the printer takes the table is the driver's check.
  RateTable rates;
  bool force = false;  // write even when the printer already holds these rates
};

std::variant<RatesWrite, RequestError> ParseRatesWrite(std::string_view body);

struct ReportRequest {
  enum class Type { kDaily, kPeriod, kMonthly, kNumbers };
  Type type = Type::kDaily;
  ReportKind kind = ReportKind::kShort;
  bool force = false;  // daily: print even with no receipt since the last one
  Date from;           // period
  Date to;
  int32_t year = 0;  // monthly: four digits
  int32_t month = 0;
  int32_t fromNumber = 0;  // numbers: daily report numbers
  int32_t toNumber = 0;
};

// `type` is the last part of the path: daily, period, monthly or numbers. Nothing with an
// empty error for an unknown type (the path does not exist).
std::variant<ReportRequest, RequestError> ParseReport(std::string_view type, std::string_view body);

std::variant<int32_t, RequestError> ParseDrawer(std::string_view body);

}  // namespace tauravatd
