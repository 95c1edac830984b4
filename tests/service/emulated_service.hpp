// The whole service over HTTP on a free local port, with one printer, "till1": an emulated
// printer served in this process on a pseudo-terminal and reached through the shipped driver
// (handle_backend.hpp), so what a till is answered can be held against what the printer's
// paper and fiscal memory show.
#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "http_server.hpp"
#include "kestra/emu/pty_server.hpp"
#include "receipt_desk.hpp"
#include "scratch_directory.hpp"
#include "service.hpp"

namespace tauravatd::testing {

struct Reply {
  int status = 0;
  nlohmann::json body;
  std::string text;
  std::string retryAfter;  // the header, empty when not sent

  std::string State() const { return body.value("state", ""); }
  std::string ErrorKind() const {
    return body.contains("error") ? body["error"].value("kind", "") : "";
  }
};

// A LUNO (device type 7) with rates A..E set, printing a line every `lineTime`.
kestra::emu::PrinterConfig Luno(std::chrono::milliseconds lineTime = std::chrono::milliseconds(5));

// A receipt body: `id`, one line of 2.50 on rate A named "Towar <id>", and `extra` members.
std::string Sale(const std::string& id, const std::string& extra = "");

class EmulatedService {
 public:
  explicit EmulatedService(kestra::emu::PrinterConfig printer);
  ~EmulatedService();
  EmulatedService(const EmulatedService&) = delete;
  EmulatedService& operator=(const EmulatedService&) = delete;

  // Before Start: the journal, the time-outs and the service's pacing.
  ServiceConfig& Config() { return config_; }
  // Starts the service on the journal and the printer as they are, waiting until it has
  // connected unless told not to; Stop and Start again is a restart.
  void Start(bool awaitConnection = true);
  void Stop();

  int Port() const { return port_; }
  Service& Running() { return *service_; }
  Reply Post(const std::string& body);
  Reply Get(const std::string& path);                           // under /v1/printers/till1
  Reply Put(const std::string& path, const std::string& body);  // likewise
  Reply Send(const std::string& method, const std::string& path, const std::string& body);

  // Runs `fn` on the emulated printer while it is kept from the line.
  template <class Fn>
  auto OnPrinter(Fn&& fn) {
    return printer_.WithPrinter(std::forward<Fn>(fn));
  }
  // Receipts completed with `item` on the paper (numbered, not cancelled).
  int Sales(const std::string& item);
  // The receipts the fiscal memory counts since the daily report, and those cancelled.
  int ReceiptsCounted();
  int CancelledCounted();

 private:
  ScratchDirectory directory_{"tauravatd-emulated"};
  kestra::emu::PtyServer printer_;
  std::unique_ptr<Driver> driver_;
  ServiceConfig config_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<ReceiptDesk> desk_;
  std::unique_ptr<HttpServer> http_;
  std::thread serving_;
  int port_ = 0;
};

// Polls `condition` every 5 ms for at most `limit`.
template <class Condition>
bool Eventually(Condition&& condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace tauravatd::testing
