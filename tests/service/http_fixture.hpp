// The whole service on a free local port, against fake printers, with an HTTP client.
#pragma once

#include <httplib.h>

#include <filesystem>
#include <memory>
#include <optional>
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
  // The printers of `settings`, reached through `driver`.
  HttpFixture(std::unique_ptr<Driver> driver, std::vector<PrinterSettings> settings);
  ~HttpFixture();

  // Starts (or starts again, on the same journal) the service as configured.
  void Start();
  void Stop();

  ServiceConfig& Config() { return config_; }
  // A fake printer (with the first constructor).
  FakePrinter& Printer(const std::string& name) { return *printers_.at(name); }
  Service& Running() { return *service_; }

  Reply Get(const std::string& path, const std::string& token = "");
  Reply Post(const std::string& path, const std::string& body, const std::string& token = "");
  Reply Put(const std::string& path, const std::string& body, const std::string& token = "");

 private:
  Reply Send(const std::string& method, const std::string& path, const std::string& body,
             const std::string& token);

  std::filesystem::path directory_;
  ServiceConfig config_;
  std::unique_ptr<Driver> driver_;
  std::map<std::string, std::shared_ptr<FakePrinter>> printers_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<ReceiptDesk> desk_;
  std::unique_ptr<HttpServer> http_;
  std::thread serving_;
  int port_ = 0;
};

// A receipt body with `items` lines named after `id`.
std::string ReceiptBody(const std::string& id, int items = 1, const std::string& extra = "");

}  // namespace tauravatd::testing
