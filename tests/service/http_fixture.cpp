#include "http_fixture.hpp"

#include <gtest/gtest.h>

namespace tauravatd::testing {

using namespace std::chrono_literals;

HttpFixture::HttpFixture(std::vector<std::string> printers) {
  config_.journalPath = directory_.Path("journal.sqlite");
  config_.receiptWait = 20s;
  config_.operationWait = 20s;
  config_.worker.backoff = {5ms, 20ms};
  config_.worker.pollInterval = 50ms;
  for (const std::string& name : printers) {
    config_.printers.push_back({name, "/dev/" + name, 9600, 1000});
    printers_[name] = driver_.Add("/dev/" + name);
  }
}

void HttpFixture::Start() {
  service_ = std::make_unique<Service>(config_, driver_);
  desk_ = std::make_unique<ReceiptDesk>(*service_);
  service_->Start();
  HttpOptions options{config_.token, config_.bodyLimit, config_.httpThreads};
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

Reply HttpFixture::Send(const std::string& method, const std::string& path, const std::string& body,
                        const std::string& token) {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(60, 0);
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  httplib::Result result = method == "GET"    ? client.Get(path, headers)
                           : method == "POST" ? client.Post(path, headers, body, "application/json")
                                              : client.Put(path, headers, body, "application/json");
  if (!result) {
    ADD_FAILURE() << method << " " << path << ": " << httplib::to_string(result.error());
    return {};
  }
  return {result->status, nlohmann::json::parse(result->body, nullptr, false), result->body};
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
