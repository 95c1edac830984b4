// A 100-item receipt through a serial device server against the same receipt on the
// emulator's pseudo-terminal directly: ser2net in front of a second emulated printer, raw
// and RFC 2217, at 9600 and 28800 b/s, with ser2net's accepter as shipped (Nagle on) and
// with nodelay. Both printers are paced like a real line and open at once (two handles);
// each iteration prints one receipt on each, in turn, the order alternating, so the ratio
// of each pair sees the same moment of a shared machine. The time reported is the network
// receipt's; the counters give the medians and the pairs' median ratio.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_printer.hpp"
#include "kestra/emu/pty_server.hpp"
#include "sale_item.hpp"
#include "ser2net.hpp"
#include "tauravat.h"

namespace {

namespace emu = kestra::emu;
using Clock = std::chrono::steady_clock;

// The server's accepter leaves Nagle on (ser2net's default) or turns it off (nodelay).
enum Path { kRaw = 1, kRfc2217, kRawNodelay, kRfc2217Nodelay };

// The milliseconds the receipt took, or a negative code.
double Receipt100(tauravat_printer* printer) {
  const auto start = Clock::now();
  if (const int32_t r = tauravat_receipt_begin(printer); r != 0) return -r;
  static constexpr int32_t kRates[] = {1, 2, 4, 5};  // C is reserved on this printer
  for (int i = 0; i < 100; ++i) {
    tauravat_item item = SaleItem("Chleb zytni krojony", 199 + i);
    item.rate = kRates[i % 4];
    item.quantity = 1 + i % 3;
    item.unit = "szt";
    if (const int32_t r = tauravat_receipt_item(printer, &item, nullptr); r != 0) return -r;
  }
  if (const int32_t r = tauravat_receipt_end(printer, 0); r != 0) return -r;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The pty printer's conversation, for bench/ser2net_turn_floor.py (NET_BENCH_TRACE).
void TraceLine(void* user, const char* line) {
  *static_cast<std::ofstream*>(user) << line << '\n';
}

tauravat_printer* Open(const std::string& device, int baud, std::ofstream* trace) {
  tauravat_options options{};
  options.size = sizeof options;
  options.baud = static_cast<uint32_t>(baud);
  if (trace != nullptr) {
    options.trace = TraceLine;
    options.user = trace;
  }
  tauravat_printer* printer = nullptr;
  return tauravat_open(device.c_str(), &options, &printer) == 0 ? printer : nullptr;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : (values[(n - 1) / 2] + values[n / 2]) / 2;
}

void BM_NetworkReceipt(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  const auto path = static_cast<Path>(state.range(1));
  if (!kestradr::testing::Ser2net::Installed()) {
    state.SkipWithError("ser2net is not installed");
    return;
  }
  emu::PtyServerOptions options;
  options.baud = baud;
  emu::PtyServer local(BenchLuno(), options);
  emu::PtyServer remote(BenchLuno(), options);
  local.Start();
  remote.Start();
  const bool nodelay = path == kRawNodelay || path == kRfc2217Nodelay;
  kestradr::testing::Ser2net ser2net(remote.SlavePath(), nodelay);
  ser2net.Start();
  std::unique_ptr<std::ofstream> trace;
  if (const char* file = ::getenv("NET_BENCH_TRACE")) trace = std::make_unique<std::ofstream>(file);
  tauravat_printer* pty = Open(local.SlavePath(), baud, trace.get());
  tauravat_printer* net =
      Open(path == kRaw || path == kRawNodelay ? ser2net.Raw() : ser2net.Rfc2217(), baud, nullptr);
  if (pty == nullptr || net == nullptr) {
    state.SkipWithError("cannot connect");
  } else {
    std::vector<double> ptyMs, netMs, ratios;
    bool netFirst = false;
    for (auto _ : state) {
      const double first = Receipt100(netFirst ? net : pty);
      const double second = Receipt100(netFirst ? pty : net);
      if (first < 0 || second < 0) {
        state.SkipWithError(
            ("the receipt answered " + std::to_string(-std::min(first, second))).c_str());
        break;
      }
      const double onPty = netFirst ? second : first, onNet = netFirst ? first : second;
      state.SetIterationTime(onNet / 1000);
      ptyMs.push_back(onPty);
      netMs.push_back(onNet);
      ratios.push_back(onNet / onPty);
      netFirst = !netFirst;
    }
    state.counters["pty_ms"] = Median(ptyMs);
    state.counters["net_ms"] = Median(netMs);
    state.counters["ratio"] = Median(ratios);
    if (!ratios.empty()) {
      state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
      state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
    }
  }
  tauravat_close(pty);
  tauravat_close(net);
}
BENCHMARK(BM_NetworkReceipt)
    ->ArgNames({"baud", "path"})
    ->ArgsProduct({{9600, 28800}, {kRaw, kRfc2217, kRawNodelay, kRfc2217Nodelay}})
    ->Iterations(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
