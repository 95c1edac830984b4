// Version 1 of the HTTP interface as a table of routes, each a method, a path as the
// OpenAPI document writes it ("/v1/printers/{name}") and its handler. The HTTP server
// registers them and the document's test reads them: one list for both.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "answers.hpp"
#include "receipt_query.hpp"

namespace tauravatd {

class Service;
class ReceiptDesk;
struct PrinterStatus;

struct ApiRequest {
  std::vector<std::string> params;  // the path's {parameters}, in order
  QueryParameters query;
  std::string body;
};

struct Route {
  std::string method;
  std::string path;
  std::function<Answer(const ApiRequest&)> handle;
  // Served without the access token: the page's own files, which hold no data.
  bool open = false;
};

std::vector<Route> MakeRoutes(Service& service, ReceiptDesk& desk);

// The parts of the table: api.cpp (the service's own), api_printers.cpp, api_receipts.cpp (the
// receipts and their content), api_operations.cpp, event_stream.cpp, web_page.cpp.
void AddServiceRoutes(std::vector<Route>& routes, Service& service);
void AddPrinterRoutes(std::vector<Route>& routes, Service& service);
void AddReceiptRoutes(std::vector<Route>& routes, ReceiptDesk& desk);
void AddOperationRoutes(std::vector<Route>& routes, Service& service);
void AddEventRoutes(std::vector<Route>& routes, Service& service);
void AddPageRoutes(std::vector<Route>& routes, Service& service);
void AddReceiptContentRoutes(std::vector<Route>& routes, Service& service);

// A printer's status as GET /v1/printers/{name} answers it.
nlohmann::json PrinterJson(const PrinterStatus& status, const Answers& answers);

// The OpenAPI 3 document served at /v1/openapi.json.
const std::string& OpenApiDocument();

}  // namespace tauravatd
