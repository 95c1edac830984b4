// Version 1's table of routes, put together from its parts, and the service's own routes:
// health, metrics and the interface's description.
#include "api.hpp"

#include "service.hpp"

namespace tauravatd {

std::vector<Route> MakeRoutes(Service& service, ReceiptDesk& desk) {
  std::vector<Route> routes;
  AddServiceRoutes(routes, service);
  AddPrinterRoutes(routes, service);
  AddReceiptRoutes(routes, desk);
  AddOperationRoutes(routes, service);
  AddReceiptContentRoutes(routes, service);
  AddEventRoutes(routes, service);
  AddPageRoutes(routes, service);
  return routes;
}

void AddServiceRoutes(std::vector<Route>& routes, Service& service) {
  routes.push_back({"GET", "/v1/health", [&service](const ApiRequest&) {
                      nlohmann::json printers = nlohmann::json::object();
                      bool allWell = true;
                      for (const auto& worker : service.Workers()) {
                        const PrinterStatus status = worker->Status();
                        printers[worker->Name()] = status.Connection();
                        allWell = allWell && status.connected && !status.stalled;
                      }
                      return Answer{200,
                                    {{"status", allWell ? "ok" : "degraded"},
                                     {"version", TAURAVATD_VERSION},
                                     {"printers", printers}}};
                    }});
  routes.push_back({"GET", "/metrics", [&service](const ApiRequest&) {
                      std::vector<Metrics::PrinterGauge> gauges;
                      for (const auto& worker : service.Workers()) {
                        const PrinterStatus s = worker->Status();
                        gauges.push_back({worker->Name(), s.queueLength, s.connected, s.stalled});
                      }
                      Answer answer;
                      answer.text = service.Counters().Render(gauges);
                      answer.contentType = "text/plain; version=0.0.4; charset=utf-8";
                      return answer;
                    }});
  routes.push_back({"GET", "/v1/openapi.json", [](const ApiRequest&) {
                      Answer answer;
                      answer.text = OpenApiDocument();
                      return answer;
                    }});
}

}  // namespace tauravatd
