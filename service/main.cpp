// tauravatd: the print service (see options.hpp for how it is started, docs/service.md
// for the interface).
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

#include "broker_agent.hpp"
#include "emulated_printer.hpp"
#include "handle_backend.hpp"
#include "http_server.hpp"
#include "log.hpp"
#include "options.hpp"
#include "readiness.hpp"
#include "receipt_desk.hpp"
#include "service.hpp"
#include "web_page.hpp"

namespace {

using namespace tauravatd;

// A journal for the emulated printer's run only: the emulator starts afresh every time,
// and a journal kept from another run would speak of receipts it never saw.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tauravatd-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot make a temporary directory");
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Journal() const { return (path_ / "journal.sqlite").string(); }

 private:
  std::filesystem::path path_;
};

// Whether every printer has had its first attempt to open (it is connected or offline).
bool EveryPrinterTried(const Service& service) {
  for (const auto& worker : service.Workers())
    if (worker->Status().Connection() == "connecting") return false;
  return true;
}

int Run(Options options) {
  // SIGINT and SIGTERM are taken by a thread of their own; blocked before any other
  // thread starts, so every thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A client that hangs up must not end the service.
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<EmulatedPrinter> emulator;
  std::unique_ptr<ScratchDirectory> scratch;
  if (options.emulator) {
    emulator = std::make_unique<EmulatedPrinter>();
    options.config.printers.push_back(emulator->Settings());
    if (!options.journalGiven) {
      scratch = std::make_unique<ScratchDirectory>();
      options.config.journalPath = scratch->Journal();
    }
    LogNote("serving the emulated printer \"demo\" on " + emulator->Settings().device);
  }

  if (options.config.webFolder.empty()) {
    options.config.webFolder = FindPageFolder().value_or("");
    if (options.config.webFolder.empty()) LogWarning("the shop's page is not installed");
  }
  std::unique_ptr<Driver> driver = MakeHandleDriver();
  Service service(options.config, *driver);
  ReceiptDesk desk(service);
  HttpOptions http;
  http.token = options.config.token;
  http.bodyLimit = options.config.bodyLimit;
  http.threads = options.config.HttpThreadsNeeded();
  HttpServer server(MakeRoutes(service, desk), service.Answer(), http);
  const int port = server.Bind(options.config.listenHost, options.config.listenPort);
  std::unique_ptr<BrokerAgent> broker;
  if (options.config.broker) {
    broker = std::make_unique<BrokerAgent>(service, desk, *options.config.broker);
  }
  service.Start();
  if (broker) broker->Start();
  LogNote("listening on " + options.config.listenHost + ":" + std::to_string(port) + ", journal " +
          options.config.journalPath);

  // systemd (Type=notify) hears that the service is ready once every printer has had its
  // first attempt to open: what starts after it finds each printer connected or offline.
  std::jthread readiness([&service](std::stop_token stop) {
    while (!stop.stop_requested() && !EveryPrinterTried(service))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!stop.stop_requested()) NotifyServiceManager("READY=1");
  });

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    readiness.request_stop();
    NotifyServiceManager("STOPPING=1");
    LogNote("stopping: the request at each printer is finished, the queued are refused");
    // The workers first: whoever waits gets an answer, then the server can stop.
    service.Stop();
    if (broker) broker->Stop();  // the outcomes of the refused go out first
    server.Stop();
  });
  const bool served = server.Serve();
  if (!served) {
    // Serving ended by itself: wake the signal thread so that it can be joined.
    kill(getpid(), SIGTERM);
  }
  stopper.join();
  return served ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const char* stateDirectory = std::getenv("STATE_DIRECTORY");
    Options options =
        ParseOptions(std::vector<std::string>(argv + 1, argv + argc),
                     stateDirectory ? std::optional<std::string>(stateDirectory) : std::nullopt);
    if (options.help) {
      std::fputs(Usage().c_str(), stdout);
      return 0;
    }
    if (options.version) {
      std::printf("tauravatd %s\n", TAURAVATD_VERSION);
      return 0;
    }
    return Run(std::move(options));
  } catch (const OptionsError& e) {
    std::fprintf(stderr, "tauravatd: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    LogWarning(e.what());
    return 1;
  }
}
