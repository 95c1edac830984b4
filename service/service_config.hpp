// Everything tauravatd is told at start: where to listen, who may call, where the journal
// is, which printers it owns.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "printer_backend.hpp"
#include "printer_worker.hpp"

namespace tauravatd {

// Where the service connects out to an MQTT broker, for receipts and commands from a
// chain's servers (docs/fleet.md).
struct BrokerConfig {
  std::string host;
  int port = 1883;
  bool tls = false;
  std::string site;  // the topics' {site}: 1 to 64 letters, digits, "_" or "-"
  std::optional<std::string> user;
  std::optional<std::string> password;  // read from a file; never logged
  std::optional<std::string> caFile;    // the system's authorities when not given
  int keepaliveSeconds = 30;
};

struct ServiceConfig {
  std::string listenHost = "127.0.0.1";
  int listenPort = 8787;
  std::optional<std::string> token;  // required by every request when set
  std::string journalPath;
  std::vector<PrinterSettings> printers;
  size_t bodyLimit = 64 * 1024;
  // How long a POST of a receipt waits for its outcome before answering 202.
  std::chrono::milliseconds receiptWait{60'000};
  // How long other printer requests wait (reports print for minutes).
  std::chrono::milliseconds operationWait{900'000};
  // The longest the driver follows one printout that does not end (the longest report).
  std::chrono::milliseconds printLimit{900'000};
  // How many requests may wait for one printer at once; more are answered 503 at once.
  size_t waitingPerPrinter = 8;
  // The server's threads besides one for every printer's waiting requests: for health,
  // metrics and whatever answers without waiting for a printer.
  size_t httpThreads = 16;
  // Event streams open at once (GET /v1/events); each holds a thread of its own for as
  // long as it is open, on top of all the others.
  size_t eventStreams = 8;
  // How often an event stream that has nothing to say sends a comment, so that proxies and
  // clients see it is alive and a client that is gone is noticed.
  std::chrono::milliseconds keepAlive{15'000};
  // The shop's page (index.html and what it loads); none served when empty.
  std::string webFolder;
  WorkerOptions worker;
  std::optional<BrokerConfig> broker;

  size_t HttpThreadsNeeded() const {
    return httpThreads + printers.size() * waitingPerPrinter + eventStreams;
  }
};

}  // namespace tauravatd
