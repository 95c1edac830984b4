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

}  // namespace tauravatd
