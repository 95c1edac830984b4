#include "emulated_service.hpp"

#include <stdexcept>

#include "api.hpp"
#include "handle_backend.hpp"

namespace tauravatd::testing {

using nlohmann::json;
using namespace std::chrono_literals;

kestra::emu::PrinterConfig Luno(std::chrono::milliseconds lineTime) {
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {
      2300, 800, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED};
  config.timing.pollsPerLine = 0;
  config.timing.timePerLine = lineTime;
  return config;
}

std::string Sale(const std::string& id, const std::string& extra) {
  return R"({"id": ")" + id + R"(", "items": [{"name": "Towar )" + id +
         R"(", "quantity": "1", "price": "2.50", "rate": "A"}])" +
         (extra.empty() ? "" : ", " + extra) + "}";
}

EmulatedService::EmulatedService(kestra::emu::PrinterConfig printer)
    : printer_(std::move(printer)), driver_(MakeHandleDriver()) {
  printer_.Start();
  config_.journalPath = directory_.Path("journal.sqlite");
  // Long enough for a sanitizer build on a busy machine, short enough for silences.
  config_.printers.push_back({"till1", printer_.SlavePath(), 9600, 300});
  config_.receiptWait = config_.operationWait = 30s;
  config_.worker.backoff = {5ms, 50ms};
  config_.worker.pollInterval = 50ms;
}

EmulatedService::~EmulatedService() {
  Stop();
  printer_.Stop();
}

void EmulatedService::Start(bool awaitConnection) {
  service_ = std::make_unique<Service>(config_, *driver_);
  desk_ = std::make_unique<ReceiptDesk>(*service_);
  service_->Start();
  http_ = std::make_unique<HttpServer>(MakeRoutes(*service_, *desk_), service_->Answer(),
                                       HttpOptions{config_.token, config_.bodyLimit, 4});
  port_ = http_->Bind("127.0.0.1", 0);
  serving_ = std::thread([this] { http_->Serve(); });
  if (awaitConnection &&
      !Eventually([&] { return Get("").body.value("connection", "") == "connected"; })) {
    throw std::runtime_error("the service did not connect to the emulated printer");
  }
}

void EmulatedService::Stop() {
  if (!http_) return;
  service_->Stop();  // answers what waits, so the server's threads can finish
  http_->Stop();
  serving_.join();
  http_.reset();
  desk_.reset();
  service_.reset();
}

Reply EmulatedService::Post(const std::string& body) {
  return Send("POST", "/v1/printers/till1/receipts", body);
}

Reply EmulatedService::Get(const std::string& path) {
  return Send("GET", "/v1/printers/till1" + path, "");
}

Reply EmulatedService::Put(const std::string& path, const std::string& body) {
  return Send("PUT", "/v1/printers/till1" + path, body);
}

Reply EmulatedService::Send(const std::string& method, const std::string& path,
                            const std::string& body) {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(60, 0);
  if (config_.token) client.set_bearer_token_auth(*config_.token);
  const httplib::Result result = method == "GET"   ? client.Get(path)
                                 : method == "PUT" ? client.Put(path, body, "application/json")
                                                   : client.Post(path, body, "application/json");
  if (!result) return {};
  return {result->status, json::parse(result->body, nullptr, false), result->body,
          result->get_header_value("Retry-After")};
}

int EmulatedService::Sales(const std::string& item) {
  const std::string paper = OnPrinter([](kestra::emu::Printer& p) { return p.Paper().Text(); });
  const std::string header = "KESTRA - STANOWISKO TESTOWE";
  int sales = 0;
  for (size_t at = paper.find(header); at != std::string::npos;) {
    const size_t next = paper.find(header, at + header.size());
    const std::string document = paper.substr(at, next == std::string::npos ? next : next - at);
    if (document.find(item) != std::string::npos && document.find("\n#0") != std::string::npos &&
        document.find("PARAGON ANULOWANY") == std::string::npos) {
      ++sales;
    }
    at = next;
  }
  return sales;
}

int EmulatedService::ReceiptsCounted() {
  return OnPrinter([](kestra::emu::Printer& p) { return int{p.Memory().ReceiptsToday()}; });
}

int EmulatedService::CancelledCounted() {
  return OnPrinter([](kestra::emu::Printer& p) { return int{p.Memory().CancelledToday()}; });
}

}  // namespace tauravatd::testing
