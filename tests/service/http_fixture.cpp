#include "http_fixture.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>

namespace tauravatd::testing {

using namespace std::chrono_literals;

HttpFixture::HttpFixture(std::vector<std::string> printers)
    : HttpFixture(std::make_unique<FakeDriver>(), {}) {
  auto& fake = static_cast<FakeDriver&>(*driver_);
  for (const std::string& name : printers) {
    config_.printers.push_back({name, "/dev/" + name, 9600, 1000});
    printers_[name] = fake.Add("/dev/" + name);
  }
}

HttpFixture::HttpFixture(std::unique_ptr<Driver> driver, std::vector<PrinterSettings> settings)
    : driver_(std::move(driver)) {
  static std::atomic<int> serial{0};
  directory_ = std::filesystem::temp_directory_path() /
               ("tauravatd-http-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
  std::filesystem::remove_all(directory_);
  std::filesystem::create_directories(directory_);
  config_.journalPath = (directory_ / "journal.sqlite").string();
  config_.receiptWait = 20s;
  config_.operationWait = 20s;
  config_.worker.backoff = {5ms, 20ms};
  config_.worker.pollInterval = 50ms;
  config_.printers = std::move(settings);
}

HttpFixture::~HttpFixture() {
  Stop();
  std::filesystem::remove_all(directory_);
}

void HttpFixture::Start() {
  service_ = std::make_unique<Service>(config_, *driver_);
  desk_ = std::make_unique<ReceiptDesk>(*service_);
  service_->Start();
  HttpOptions options;
  options.token = config_.token;
  options.bodyLimit = config_.bodyLimit;
  options.threads = config_.httpThreads;
  http_ = std::make_unique<HttpServer>(MakeRoutes(*service_, *desk_), service_->Answer(), options);
  port_ = http_->Bind("127.0.0.1", 0);
  serving_ = std::thread([this] { http_->Serve(); });
  // cpp-httplib's client builds its regular expressions (function-local statics) on first
  // use, guarded inside the uninstrumented library where ThreadSanitizer cannot see it. One
  // request here, before a test starts client threads, builds them on this thread.
  Get("/v1/health", config_.token.value_or(""));
}

void HttpFixture::Stop() {
  if (!http_) return;
  service_->Stop();  // answers what waits, so the server's threads can finish
  http_->Stop();
  serving_.join();
  http_.reset();
  desk_.reset();
  service_.reset();
}

Reply HttpFixture::Get(const std::string& path, const std::string& token) {
  return Send("GET", path, "", token);
}

Reply HttpFixture::Post(const std::string& path, const std::string& body,
                        const std::string& token) {
  return Send("POST", path, body, token);
}

Reply HttpFixture::Put(const std::string& path, const std::string& body, const std::string& token) {
  return Send("PUT", path, body, token);
}

Reply HttpFixture::Send(const std::string& method, const std::string& path, const std::string& body,
                        const std::string& token) {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(60, 0);
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  httplib::Result result = method == "GET"    ? client.Get(path, headers)
                           : method == "POST" ? client.Post(path, headers, body, "application/json")
                                              : client.Put(path, headers, body, "application/json");
  Reply reply;
  if (!result) {
    ADD_FAILURE_AT(__FILE__, __LINE__)
        << method << " " << path << ": " << httplib::to_string(result.error());
    return reply;
  }
  reply.status = result->status;
  reply.text = result->body;
  reply.body = nlohmann::json::parse(result->body, nullptr, false);
  return reply;
}

std::string ReceiptBody(const std::string& id, int items, const std::string& extra) {
  nlohmann::json body = {{"id", id}, {"items", nlohmann::json::array()}};
  for (int i = 0; i < items; ++i) {
    body["items"].push_back({{"name", "Towar " + id + " " + std::to_string(i)},
                             {"quantity", "1"},
                             {"price", "2.50"},
                             {"rate", "A"}});
  }
  std::string text = body.dump();
  if (!extra.empty()) text.insert(text.size() - 1, "," + extra);
  return text;
}

}  // namespace tauravatd::testing
