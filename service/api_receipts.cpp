// The receipts of a printer: printed through the desk, listed, looked up, and what a
// journalled receipt held (its items, payments and lines as the till sent them, for
// whoever looks at a receipt after the fact, the shop's page).
#include "api.hpp"
#include "receipt_desk.hpp"
#include "service.hpp"

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

void AddReceiptContentRoutes(std::vector<Route>& routes, Service& service) {
  routes.push_back(
      {"GET", "/v1/printers/{name}/receipts/{id}/request", [&service](const ApiRequest& request) {
         const std::string& printer = request.params.at(0);
         const std::string& id = request.params.at(1);
         const Answers& answers = service.Answer();
         if (service.Find(printer) == nullptr) {
           return answers.Error(ErrorKind::kNotFound, 404, "no printer named \"" + printer + "\"");
         }
         std::optional<JournalEntry> entry;
         try {
           entry = service.ReceiptJournal().Find(id);
         } catch (const JournalError& e) {
           Answer answer = answers.Error(ErrorKind::kJournal, 503, e.what());
           return answer;
         }
         if (!entry || entry->printer != printer) {
           return answers.Error(ErrorKind::kNotFound, 404,
                                "no receipt " + id + " for printer " + printer);
         }
         // The journal holds only bodies that were read and checked as they came.
         return Answer{200, nlohmann::json::parse(entry->request)};
       }});
}

}  // namespace tauravatd
