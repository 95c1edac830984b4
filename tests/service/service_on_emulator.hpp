// The whole service as tauravatd runs it (the driver's handle interface behind it) on a
// free local port, against one emulated LUNO named "till1" that this process serves on a
// pseudo-terminal, as `tauravatd --emulator` does; and a client that sends requests byte
// for byte, as a till's HTTP library might.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include <nlohmann/json.hpp>

#include "kestra/emu/pty_server.hpp"
#include "service_config.hpp"

namespace tauravatd {

class Service;
class ReceiptDesk;
class HttpServer;
class Driver;

namespace testing {

class ServiceOnEmulator {
 public:
  // `configure` adjusts the service's configuration before it starts.
  explicit ServiceOnEmulator(const std::function<void(ServiceConfig&)>& configure = {});
  ~ServiceOnEmulator();
  ServiceOnEmulator(const ServiceOnEmulator&) = delete;
  ServiceOnEmulator& operator=(const ServiceOnEmulator&) = delete;

  int Port() const { return port_; }
  kestra::emu::PtyServer& Emulator() { return *emulator_; }
  // Lines the emulated printer has printed since it started.
  size_t PaperLines();
  // Waits (boundedly) until the service has opened the printer.
  bool AwaitConnected();

 private:
  std::filesystem::path directory_;
  std::unique_ptr<kestra::emu::PtyServer> emulator_;
  std::unique_ptr<Driver> driver_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<ReceiptDesk> desk_;
  std::unique_ptr<HttpServer> http_;
  std::thread serving_;
  int port_ = 0;
};

struct RawReply {
  int status = 0;                              // 0 when no answer came
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  nlohmann::json json;  // discarded when the body is not valid JSON
  std::chrono::steady_clock::duration took{};
};

// Sends `request` as written on a new connection to the service and reads one answer,
// keeping the connection open meanwhile (a client that has sent all it means to). Gives
// up after `limit`.
RawReply Exchange(int port, std::string_view request,
                  std::chrono::seconds limit = std::chrono::seconds(30));

// A request of `method` for `path` with `headers` (each ending in CRLF) and `body` exactly
// as given: no Content-Length is added.
std::string Request(std::string_view method, std::string_view path, std::string_view headers = {},
                    std::string_view body = {});

// A request with `body` of `contentType` and its Content-Length.
std::string WithBody(std::string_view method, std::string_view path, std::string_view contentType,
                     std::string_view body);

}  // namespace testing
}  // namespace tauravatd
