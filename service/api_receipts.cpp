#include "api.hpp"
#include "receipt_desk.hpp"

namespace tauravatd {

void AddReceiptRoutes(std::vector<Route>& routes, ReceiptDesk& desk) {
  routes.push_back({"POST", "/v1/printers/{name}/receipts", [&desk](const ApiRequest& request) {
                      return desk.Post(request.params.at(0), request.body);
                    }});
  routes.push_back({"GET", "/v1/printers/{name}/receipts", [&desk](const ApiRequest& request) {
                      return desk.List(request.params.at(0), request.query);
                    }});
  routes.push_back({"GET", "/v1/printers/{name}/receipts/{id}", [&desk](const ApiRequest& request) {
                      return desk.Get(request.params.at(0), request.params.at(1));
                    }});
}

}  // namespace tauravatd
