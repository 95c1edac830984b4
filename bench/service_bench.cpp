// Receipts per minute through tauravatd against the emulator on a pseudo-terminal paced
// at 9600 b/s, beside the driver alone on the same kind of line, each as a ratio to the
// wire-time limit (the bytes of one receipt x 11 bits over the speed). The bytes are
// counted once from the emulator's trace of the driver's receipts. Printing takes no time
// in the emulator: the line is what is measured.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "handle_backend.hpp"
#include "http_server.hpp"
#include "kestra/emu/pty_server.hpp"
#include "receipt_desk.hpp"
#include "service.hpp"
#include "tauravat.h"

namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;

constexpr int kBaud = 9600;
constexpr int kReceipts = 12;
constexpr int kItems = 5;

emu::PrinterConfig Luno() {
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {
      2300, 800, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED};
  config.timing = {0, 0ms, 0, 0ms};
  config.keptPaperLines = 200;
  return config;
}

std::string ItemName(int receipt, int item) {
  return "Chleb zytni " + std::to_string(receipt) + "/" + std::to_string(item);
}

// One receipt through the handle interface, as a till linking the driver would print it.
int32_t DriverReceipt(tauravat_printer* printer, int receipt) {
  if (const int32_t code = tauravat_receipt_begin(printer); code != 0) return code;
  for (int i = 0; i < kItems; ++i) {
    const std::string name = ItemName(receipt, i);
    tauravat_item item{};
    item.size = sizeof item;
    item.kind = TAURAVAT_ITEM_SALE;
    item.name = name.c_str();
    item.rate = 1 + i % 2;
    item.quantity = 1;
    item.price = 199 + i;
    if (const int32_t code = tauravat_receipt_item(printer, &item, nullptr); code != 0) return code;
  }
  return tauravat_receipt_end(printer, 0);
}

tauravat_printer* Open(const emu::PtyServer& server) {
  tauravat_options options{};
  options.size = sizeof options;
  options.baud = kBaud;
  options.timeout_ms = 1000;
  tauravat_printer* printer = nullptr;
  return tauravat_open(server.SlavePath().c_str(), &options, &printer) == 0 ? printer : nullptr;
}

std::string ReceiptBody(int receipt, const std::string& prefix) {
  nlohmann::json body = {{"id", prefix + std::to_string(receipt)},
                         {"items", nlohmann::json::array()}};
  for (int i = 0; i < kItems; ++i) {
    body["items"].push_back({{"name", ItemName(receipt, i)},
                             {"quantity", "1"},
                             {"price", tauravatd::FormatMoney(199 + i)},
                             {"rate", i % 2 == 0 ? "A" : "B"}});
  }
  return body.dump();
}

// Bytes on the line per receipt: the driver's receipts on an unpaced emulator, counted
// in its trace (one line per byte) after the opening's own exchanges.
double BytesPerReceipt() {
  static double bytes = 0;
  if (bytes > 0) return bytes;
  const auto trace = std::filesystem::temp_directory_path() /
                     ("tauravatd-bench-" + std::to_string(::getpid()) + ".trace");
  const auto lines = [&trace] {
    size_t count = 0;
    std::ifstream file(trace);
    for (std::string line; std::getline(file, line);) ++count;
    return count;
  };
  emu::PtyServerOptions options;
  options.tracePath = trace.string();
  size_t opening = 0;
  {
    emu::PtyServer server(Luno(), options);
    server.Start();
    tauravat_printer* printer = Open(server);
    if (printer == nullptr) return 0;
    // The trace is written when the line falls quiet.
    std::this_thread::sleep_for(200ms);
    opening = lines();
    for (int r = 0; r < kReceipts; ++r) DriverReceipt(printer, r);
    tauravat_close(printer);
    server.Stop();
  }
  bytes = static_cast<double>(lines() - opening) / kReceipts;
  std::filesystem::remove(trace);
  return bytes;
}

void Report(benchmark::State& state, double seconds) {
  const double wireSeconds = BytesPerReceipt() * 11.0 / kBaud * kReceipts;
  state.counters["receipts_per_minute"] = kReceipts * 60.0 / seconds;
  state.counters["wire_limit_per_minute"] = kReceipts * 60.0 / wireSeconds;
  state.counters["of_wire_limit"] = wireSeconds / seconds;
  state.counters["bytes_per_receipt"] = BytesPerReceipt();
}

emu::PtyServerOptions Paced() {
  emu::PtyServerOptions options;
  options.baud = kBaud;
  return options;
}

void BM_DriverAlone(benchmark::State& state) {
  emu::PtyServer server(Luno(), Paced());
  server.Start();
  tauravat_printer* printer = Open(server);
  if (printer == nullptr) {
    state.SkipWithError("cannot open the emulator");
    return;
  }
  double seconds = 0;
  for (auto _ : state) {
    const auto started = std::chrono::steady_clock::now();
    for (int r = 0; r < kReceipts; ++r) {
      if (const int32_t code = DriverReceipt(printer, r); code != 0) {
        state.SkipWithError(("receipt answered " + std::to_string(code)).c_str());
        break;
      }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  }
  tauravat_close(printer);
  Report(state, seconds);
}
BENCHMARK(BM_DriverAlone)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// One till posting its receipts one after the other, each waiting for its answer.
void BM_ThroughService(benchmark::State& state) {
  emu::PtyServer server(Luno(), Paced());
  server.Start();
  const auto directory =
      std::filesystem::temp_directory_path() / ("tauravatd-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(directory);
  tauravatd::ServiceConfig config;
  config.journalPath = (directory / "journal.sqlite").string();
  config.printers.push_back({"till1", server.SlavePath(), kBaud, 1000});
  auto driver = tauravatd::MakeHandleDriver();
  double seconds = 0;
  {
    tauravatd::Service service(config, *driver);
    tauravatd::ReceiptDesk desk(service);
    tauravatd::HttpServer http(tauravatd::MakeRoutes(service, desk), service.Answer(), {});
    const int port = http.Bind("127.0.0.1", 0);
    std::thread serving([&] { http.Serve(); });
    service.Start();
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    // The printer is opened and identified before the clock starts, as for the driver.
    while (true) {
      auto reply = client.Get("/v1/printers/till1");
      if (reply && nlohmann::json::parse(reply->body)["connection"] == "connected") break;
      std::this_thread::sleep_for(10ms);
    }
    for (auto _ : state) {
      const auto started = std::chrono::steady_clock::now();
      for (int r = 0; r < kReceipts; ++r) {
        auto reply = client.Post("/v1/printers/till1/receipts", ReceiptBody(r, "bench-"),
                                 "application/json");
        if (!reply || reply->status != 201) {
          state.SkipWithError("a receipt was not printed");
          break;
        }
      }
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }
    service.Stop();
    http.Stop();
    serving.join();
  }
  std::filesystem::remove_all(directory);
  Report(state, seconds);
}
BENCHMARK(BM_ThroughService)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
