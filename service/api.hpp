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

struct ApiRequest {
  std::vector<std::string> params;  // the path's {parameters}, in order
  QueryParameters query;
  std::string body;
};

struct Route {
  std::string method;
  std::string path;
  std::function<Answer(const ApiRequest&)> handle;
};

std::vector<Route> MakeRoutes(Service& service, ReceiptDesk& desk);

// The parts of the table, one file each.
void AddServiceRoutes(std::vector<Route>& routes, Service& service);
void AddPrinterRoutes(std::vector<Route>& routes, Service& service);
void AddReceiptRoutes(std::vector<Route>& routes, ReceiptDesk& desk);
void AddOperationRoutes(std::vector<Route>& routes, Service& service);

// The OpenAPI 3 document served at /v1/openapi.json.
const std::string& OpenApiDocument();

}  // namespace tauravatd
