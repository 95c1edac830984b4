// The printer's other requests: rates, reports, clock, counters, drawer. Each runs on
// the printer's worker in its turn, like a receipt.
#include <algorithm>
#include <string>
#include <string_view>

#include "api.hpp"
#include "decimal.hpp"
#include "operation_requests.hpp"
#include "result_codes.hpp"
#include "service.hpp"
#include "tauravat.h"

namespace tauravatd {
namespace {

using nlohmann::json;

Answer Run(Service& service, const std::string& printer, OperationJob::Operation operation,
           std::chrono::milliseconds allowance = {}) {
  auto outcome = service.RunOperation(printer, std::move(operation), allowance);
  if (auto* answer = std::get_if<Answer>(&outcome)) return std::move(*answer);
  OperationResult& result = std::get<OperationResult>(outcome);
  if (result.invalid) return service.Answer().Invalid(*result.invalid);
  if (result.code != TAURAVAT_OK) return service.Answer().PrinterError(result.code, result.detail);
  if (result.body.is_null() && !result.detail.empty()) {
    return service.Answer().Error(ErrorKind::kUnavailable, 503, result.detail);
  }
  return {200, std::move(result.body)};
}

OperationResult ReadRates(WorkerContext& context) {
  if (const int32_t code = context.session.RefreshRates(); code != TAURAVAT_OK) return {code};
  return {TAURAVAT_OK, RatesJson(context.session.Facts().rates)};
}

// The driver refused the table: its own check, on the table as it would have been written
// (the rates not given as the printer holds them), names the rate and the rule.
RequestError RatesRefusal(WorkerContext& context, const RateTable& given) {
  RequestError error{TAURAVAT_E_PARAMETER_RANGE, "rates", "this printer does not take these rates"};
  if (context.session.RefreshRates() != TAURAVAT_OK) return error;
  const PrinterFacts& facts = context.session.Facts();
  tauravat_model_info model{};
  model.size = sizeof model;
  if (tauravat_model_by_type(facts.device.type, &model) != TAURAVAT_OK) return error;
  tauravat_rates table{};
  table.size = sizeof table;
  table.count = std::max(given.count, facts.rates.count);
  for (size_t i = 0; i < given.values.size(); ++i) {
    const bool isGiven = static_cast<int32_t>(i) < given.count;
    table.values[i] = isGiven ? given.values[i] : facts.rates.values[i];
  }
  tauravat_problem problem{};
  problem.size = sizeof problem;
  if (tauravat_check_rates(&model, &table, &problem) == TAURAVAT_OK) return error;
  const std::string_view field = problem.field;  // "rates[2]"
  if (field.size() == 8 && field.starts_with("rates[")) {
    error.field = std::string("rates.") + static_cast<char>('A' + (field[6] - '0'));
  }
  switch (problem.rule) {
    case TAURAVAT_RULE_TOO_LARGE:
      // Hundredths of a percent, written like money: "99.83".
      error.detail =
          "above " + FormatMoney(problem.limit) + ", the highest rate this printer takes";
      break;
    case TAURAVAT_RULE_NOT_ALLOWED:
      error.detail = "this printer cannot hold this rate as given (exempt or reserved)";
      break;
    case TAURAVAT_RULE_ORDER:
      error.detail = "above the rate before it: this printer takes its rates from the highest";
      break;
    case TAURAVAT_RULE_WHOLE_PERCENT:
      error.detail = "this printer holds whole percents only";
      break;
    default:
      break;
  }
  return error;
}

// Fiscal memory is never spent for nothing: the driver writes only a change, unless forced.
OperationResult WriteRates(WorkerContext& context, const RatesWrite& wanted) {
  bool written = false;
  if (const int32_t code =
          context.session.Backend().WriteRates(wanted.rates, wanted.force, written);
      code != TAURAVAT_OK) {
    if (code == TAURAVAT_E_PARAMETER_RANGE)
      return OperationResult::Unfit(RatesRefusal(context, wanted.rates));
    return {code};
  }
  OperationResult result = ReadRates(context);
  if (result.code == TAURAVAT_OK) result.body["written"] = written;
  return result;
}

int32_t PrintReport(PrinterBackend& printer, const ReportRequest& report) {
  switch (report.type) {
    case ReportRequest::Type::kDaily:
      return printer.DailyReport(report.force);
    case ReportRequest::Type::kPeriod:
      return printer.PeriodReport(report.kind, report.from, report.to);
    case ReportRequest::Type::kMonthly:
      return printer.MonthlyReport(report.kind, report.year, report.month);
    case ReportRequest::Type::kNumbers:
      return printer.NumberReport(report.kind, report.fromNumber, report.toNumber);
  }
  return TAURAVAT_E_INTERNAL;
}

// When this service last printed the printer's daily report; null when it has not since it
// started.
json ReportTime(Service& service, const std::string& printer) {
  const auto time = service.DailyReports().Last(printer);
  return time ? json(*time) : json(nullptr);
}

template <class Parsed>
const RequestError* Invalid(const Parsed& parsed) {
  return std::get_if<RequestError>(&parsed);
}

}  // namespace

void AddOperationRoutes(std::vector<Route>& routes, Service& service) {
  routes.push_back({"GET", "/v1/printers/{name}/rates", [&service](const ApiRequest& request) {
                      return Run(service, request.params.at(0), ReadRates);
                    }});
  routes.push_back({"PUT", "/v1/printers/{name}/rates", [&service](const ApiRequest& request) {
                      auto parsed = ParseRatesWrite(request.body);
                      if (const auto* error = Invalid(parsed)) {
                        return service.Answer().Invalid(*error);
                      }
                      const RatesWrite wanted = std::get<RatesWrite>(parsed);
                      return Run(service, request.params.at(0),
                                 [wanted](WorkerContext& c) { return WriteRates(c, wanted); });
                    }});
  for (const char* type : {"daily", "period", "monthly", "numbers"}) {
    routes.push_back({"POST", std::string("/v1/printers/{name}/reports/") + type,
                      [&service, type](const ApiRequest& request) {
                        auto parsed = ParseReport(type, request.body);
                        if (const auto* error = Invalid(parsed))
                          return service.Answer().Invalid(*error);
                        const ReportRequest report = std::get<ReportRequest>(parsed);
                        // A report prints for as long as the driver follows a printout.
                        return Run(
                            service, request.params.at(0),
                            [report, &service](WorkerContext& context) {
                              const int32_t code = PrintReport(context.session.Backend(), report);
                              // When it was made, which the printer does not tell.
                              if (report.type == ReportRequest::Type::kDaily && code == TAURAVAT_OK)
                                service.DailyReports().Record(context.settings.name);
                              return OperationResult{code, {{"printed", code == TAURAVAT_OK}}};
                            },
                            service.Config().printLimit);
                      }});
  }
  routes.push_back({"GET", "/v1/printers/{name}/clock", [&service](const ApiRequest& request) {
                      return Run(service, request.params.at(0), [](WorkerContext& context) {
                        std::string clock;
                        const int32_t code = context.session.Backend().ReadClock(clock);
                        // ISO 8601, as every time this service answers with.
                        std::replace(clock.begin(), clock.end(), ' ', 'T');
                        return OperationResult{code, {{"clock", clock}}};
                      });
                    }});
  routes.push_back(
      {"GET", "/v1/printers/{name}/counters", [&service](const ApiRequest& request) {
         return Run(service, request.params.at(0), [&service](WorkerContext& context) {
           ReceiptCounter receipt;
           int32_t daily = 0;
           int32_t code = context.session.ReadCounter(receipt);
           if (code == TAURAVAT_OK) code = context.session.Backend().DailyReportNumber(daily);
           // Null where the counter cannot tell the last receipt's number.
           return OperationResult{
               code,
               {{"receipt_number", receipt.known ? json(receipt.number) : json(nullptr)},
                {"daily_report_number", daily},
                {"daily_report_time", ReportTime(service, context.settings.name)}}};
         });
       }});
  routes.push_back({"POST", "/v1/printers/{name}/drawer", [&service](const ApiRequest& request) {
                      auto parsed = ParseDrawer(request.body);
                      if (const auto* error = Invalid(parsed)) {
                        return service.Answer().Invalid(*error);
                      }
                      const int32_t drawer = std::get<int32_t>(parsed);
                      return Run(service, request.params.at(0), [drawer](WorkerContext& context) {
                        const int32_t code = context.session.Backend().OpenDrawer(drawer);
                        return OperationResult{code, {{"opened", drawer}}};
                      });
                    }});
}

}  // namespace tauravatd
