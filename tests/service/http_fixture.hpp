// The whole service on a free local port against fake printers, with an HTTP client.
#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "fake_printer.hpp"
#include "http_server.hpp"
#include "receipt_desk.hpp"
#include "service.hpp"

namespace tauravatd::testing {

struct Reply {
  int status = 0;
  nlohmann::json body;
  std::string text;
};

class HttpFixture {
 public:
  // Fake printers named `printers`, each on device "/dev/<name>".
  explicit HttpFixture(std::vector<std::string> printers = {"till1"});
  ~HttpFixture() { Stop(); }

  // Starts (or starts again, on the same journal) the service as configured.
  void Start();
  void Stop();

  ServiceConfig& Config() { return config_; }
  FakePrinter& Printer(const std::string& name) { return *printers_.at(name); }
  Service& Running() { return *service_; }

  Reply Send(const std::string& method, const std::string& path, const std::string& body = "",
             const std::string& token = "");
  Reply Get(const std::string& path, const std::string& token = "") {
    return Send("GET", path, "", token);
  }
  Reply PostReceipt(const std::string& body, const std::string& printer = "till1") {
    return Send("POST", "/v1/printers/" + printer + "/receipts", body);
  }
  // The body of GET /v1/printers/<path>.
  nlohmann::json Printers(const std::string& path) { return Get("/v1/printers/" + path).body; }

 private:
  ScratchDirectory directory_{"tauravatd-http"};
  ServiceConfig config_;
  FakeDriver driver_;
  std::map<std::string, std::shared_ptr<FakePrinter>> printers_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<ReceiptDesk> desk_;
  std::unique_ptr<HttpServer> http_;
  std::thread serving_;
  int port_ = 0;
};

// A receipt body with `items` lines named "Towar <id> <n>", 2.50 each, and `extra` members.
std::string ReceiptBody(const std::string& id, int items = 1, const std::string& extra = "");

// Polls a condition the service reaches on its own (a reconnection, a settlement).
template <class Condition>
bool Eventually(Condition&& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace tauravatd::testing
