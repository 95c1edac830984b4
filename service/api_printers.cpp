// The printers as the interface shows them: model, connection, paper, the receipt in
// hand, the queue and the rates.
#include "api.hpp"
#include "result_codes.hpp"
#include "service.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

std::string Paper(const PrinterStatus& status) {
  if (!status.connected || !status.conditions) return "unknown";
  if (*status.conditions == TAURAVAT_E_PAPER_OUT ||
      *status.conditions == TAURAVAT_E_STOPPED_FOR_PAPER)
    return "out";
  return "ok";
}

json PrinterJson(const PrinterStatus& status, const Answers& answers) {
  json printer = {{"name", status.settings.name},
                  {"device", status.settings.device},
                  {"baud", status.settings.baud},
                  {"connection", status.Connection()},
                  {"paper", Paper(status)},
                  {"receipt_open", status.receiptOpen},
                  {"settlement_pending", status.settlementPending},
                  {"queue_length", status.queueLength},
                  {"stalled", status.stalled},
                  {"model", nullptr},
                  {"rates", nullptr},
                  {"conditions", nullptr},
                  {"last_error", nullptr},
                  {"next_attempt_ms", nullptr}};
  if (status.facts) {
    printer["model"] = {{"device_type", status.facts->device.type},
                        {"version", status.facts->device.version},
                        {"name", status.facts->device.name}};
    printer["rates"] = RatesJson(status.facts->rates);
  }
  if (status.connected && status.conditions)
    printer["conditions"] = answers.Code(*status.conditions);
  if (!status.connected && status.lastFault != TAURAVAT_OK) {
    printer["last_error"] = answers.Code(status.lastFault);
  }
  if (status.nextAttemptIn) printer["next_attempt_ms"] = status.nextAttemptIn->count();
  return printer;
}

}  // namespace

void AddPrinterRoutes(std::vector<Route>& routes, Service& service) {
  routes.push_back({"GET", "/v1/printers", [&service](const ApiRequest&) {
                      json printers = json::array();
                      for (const auto& worker : service.Workers()) {
                        printers.push_back(PrinterJson(worker->Status(), service.Answer()));
                      }
                      return Answer{200, {{"printers", printers}}};
                    }});
  routes.push_back({"GET", "/v1/printers/{name}", [&service](const ApiRequest& request) {
                      const std::string& name = request.params.at(0);
                      PrinterWorker* worker = service.Find(name);
                      if (worker == nullptr) {
                        return service.Answer().Error(ErrorKind::kNotFound, 404,
                                                      "no printer named \"" + name + "\"");
                      }
                      return Answer{200, PrinterJson(worker->Status(), service.Answer())};
                    }});
}

}  // namespace tauravatd
