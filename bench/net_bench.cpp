// A 100-item receipt through a serial device server against the same receipt on the
// emulator's pseudo-terminal directly: ser2net in front of the pty, raw and RFC 2217, at
// 9600 and 28800 b/s, with ser2net's accepter as shipped (Nagle on) and with nodelay. The
// pty is paced like a real line in every case, so the ratio of the real times is what the
// network path adds.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <string>

#include "kestra/emu/pty_server.hpp"
#include "ser2net.hpp"
#include "tauravat.hpp"

namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;

// The server's accepter leaves Nagle on (ser2net's default) or turns it off (nodelay).
enum Path { kPty, kRaw, kRfc2217, kRawNodelay, kRfc2217Nodelay };

emu::PrinterConfig Luno() {
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {
      2300, 800, TAURAVAT_RATE_RESERVED, 500, TAURAVAT_RATE_EXEMPT, 0, TAURAVAT_RATE_RESERVED};
  config.timing = {0, 0ms, 0, 0ms};  // printing takes no time: the line is what is measured
  config.keptPaperLines = 200;
  return config;
}

int32_t Receipt100() {
  if (const int32_t r = ::ReceiptBegin(); r != 0) return r;
  static constexpr int32_t kRates[] = {1, 2, 4, 5};  // C is reserved on this printer
  for (int i = 0; i < 100; ++i) {
    int32_t value = 0;
    if (const int32_t r = ::ReceiptItem(1, "Chleb zytni krojony", kRates[i % 4], 0, 1 + i % 3, 0,
                                        "szt", 199 + i, value);
        r != 0)
      return r;
  }
  return ::ReceiptEnd(0);
}

void BM_Receipt100Items(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  const auto path = static_cast<Path>(state.range(1));
  emu::PtyServerOptions options;
  options.baud = baud;
  // The printer's end of the conversation, to set against the driver's TAURAVAT_TRACE.
  if (const char* trace = ::getenv("NET_BENCH_PRINTER_TRACE")) options.tracePath = trace;
  emu::PtyServer server(Luno(), options);
  server.Start();
  std::unique_ptr<kestradr::testing::Ser2net> ser2net;
  std::string device = server.SlavePath();
  if (path != kPty) {
    if (!kestradr::testing::Ser2net::Installed()) {
      state.SkipWithError("ser2net is not installed");
      return;
    }
    const bool nodelay = path == kRawNodelay || path == kRfc2217Nodelay;
    ser2net = std::make_unique<kestradr::testing::Ser2net>(device, nodelay);
    ser2net->Start();
    device = path == kRaw || path == kRawNodelay ? ser2net->Raw() : ser2net->Rfc2217();
  }
  ::setenv("TAURAVAT_COM9", device.c_str(), 1);
  if (::CommunicationInit(9, static_cast<uint32_t>(baud), 2) != 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  for (auto _ : state) {
    if (const int32_t r = Receipt100(); r != 0) {
      state.SkipWithError(("the receipt answered " + std::to_string(r)).c_str());
      break;
    }
  }
  ::CommunicationEnd();
  ::unsetenv("TAURAVAT_COM9");
}
BENCHMARK(BM_Receipt100Items)
    ->ArgNames({"baud", "path"})
    ->ArgsProduct({{9600, 28800}, {kPty, kRaw, kRfc2217, kRawNodelay, kRfc2217Nodelay}})
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
