// The printer's other requests: rates, reports, clock, counters, drawer. Each runs on
// the printer's worker in its turn, like a receipt.
#include "api.hpp"
#include "operation_requests.hpp"
#include "result_codes.hpp"
#include "service.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

Answer Run(Service& service, const std::string& printer, OperationJob::Operation operation,
           std::chrono::milliseconds allowance = {}) {
  auto outcome = service.RunOperation(printer, std::move(operation), allowance);
  if (auto* answer = std::get_if<Answer>(&outcome)) return std::move(*answer);
  OperationResult& result = std::get<OperationResult>(outcome);
  if (result.invalid) return service.Answer().Invalid(*result.invalid);
  if (result.code != kOk) return service.Answer().PrinterError(result.code, result.detail);
  if (result.body.is_null() && !result.detail.empty()) {
    return service.Answer().Error(ErrorKind::kUnavailable, 503, result.detail);
  }
  return {200, std::move(result.body)};
}

OperationResult ReadRates(WorkerContext& context) {
  if (const int32_t code = context.session.RefreshRates(); code != kOk) return {code};
  return {kOk, RatesJson(context.session.Facts().rates)};
}

OperationResult WriteRates(WorkerContext& context, const RateTable& wanted) {
  auto fitted = FitRatesTo(wanted, context.session.Facts().rates);
  if (auto* error = std::get_if<RequestError>(&fitted)) return OperationResult::Unfit(*error);
  RateTable rates = std::get<RateTable>(fitted);
  if (const int32_t code = context.session.Backend().WriteRates(rates); code != kOk) {
    return {code};
  }
  return ReadRates(context);
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
  return kInternalError;
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
                      const RateTable wanted = std::get<RateTable>(parsed);
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
                            [report](WorkerContext& context) {
                              const int32_t code = PrintReport(context.session.Backend(), report);
                              // A daily report starts the receipt counter again.
                              if (report.type == ReportRequest::Type::kDaily)
                                context.session.ForgetCounter();
                              return OperationResult{code, {{"printed", code == kOk}}};
                            },
                            service.Config().printLimit);
                      }});
  }
  routes.push_back({"GET", "/v1/printers/{name}/clock", [&service](const ApiRequest& request) {
                      return Run(service, request.params.at(0), [](WorkerContext& context) {
                        std::string clock;
                        const int32_t code = context.session.Backend().ReadClock(clock);
                        return OperationResult{code, {{"clock", clock}}};
                      });
                    }});
  routes.push_back(
      {"GET", "/v1/printers/{name}/counters", [&service](const ApiRequest& request) {
         return Run(service, request.params.at(0), [](WorkerContext& context) {
           ReceiptCounter receipt;
           int32_t daily = 0;
           int32_t code = context.session.ReadCounter(receipt);
           if (code == kOk) code = context.session.Backend().DailyReportNumber(daily);
           // Null where the counter cannot tell the last receipt's number.
           return OperationResult{
               code,
               {{"receipt_number", receipt.known ? json(receipt.number) : json(nullptr)},
                {"daily_report_number", daily}}};
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
