// Whole operations against the emulated printer on a pseudo-terminal paced like a real
// line (11 bits per byte, both ways), each as a ratio to its pure wire time: the bytes
// that cross the line times 11 bits over the speed. The bytes are counted once by
// running the same operation on an in-process line; printing is instant in both, so
// the count does not depend on how fast the driver polls.
//
// Also the CPU the driver spends following a printout to its end: the printer runs in a
// child process, so this process's CPU time is the driver's (and the caller's) alone.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "bench_printer.hpp"
#include "emulator_line.hpp"
#include "kestra/emu/pty_server.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;

constexpr int kPort = 9;

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

int32_t RateProgramming() {
  int32_t count = 0;
  return ::SetVAT(&count, 2300, 800, 700, 500, 10000, 0, 25500);
}

// Bytes one run of `operation` puts on the line, counted on an in-process line.
uint64_t WireBytes(const std::string& name, const std::function<int32_t()>& operation) {
  static std::map<std::string, uint64_t> counted;
  if (auto found = counted.find(name); found != counted.end()) return found->second;
  kestradr::testing::EmulatorPort port(BenchLuno());
  port.Line().PassTimeOnSilence(1s);
  uint64_t bytes = 0;
  if (::CommunicationInit(1, 9600, 1) == 0) {
    port.Line().Reset(BenchLuno());
    if (const int32_t r = operation(); r == 0) {
      bytes = port.Line().BytesOnLine();
    } else {
      std::fprintf(stderr, "%s on the in-process line: %d\n", name.c_str(), r);
    }
  }
  ::CommunicationEnd();
  counted[name] = bytes;
  return bytes;
}

void RunOnPacedLine(benchmark::State& state, const std::string& name,
                    const std::function<int32_t()>& operation) {
  const int baud = static_cast<int>(state.range(0));
  const uint64_t bytes = WireBytes(name, operation);
  if (bytes == 0) {
    state.SkipWithError("the operation fails on the in-process line");
    return;
  }
  emu::PtyServerOptions options;
  options.baud = baud;
  emu::PtyServer server(BenchLuno(), options);
  server.Start();
  ::setenv("TAURAVAT_COM9", server.SlavePath().c_str(), 1);
  if (::CommunicationInit(kPort, static_cast<uint32_t>(baud), 2) != 0) {
    state.SkipWithError("cannot connect over the pty");
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (const int32_t r = operation(); r != 0) {
      state.SkipWithError(("operation answered " + std::to_string(r)).c_str());
      break;
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ::CommunicationEnd();
  server.Stop();
  const double wireSeconds = static_cast<double>(bytes) * 11.0 / baud;
  state.counters["bytes"] = static_cast<double>(bytes);
  state.counters["wire_ms"] = wireSeconds * 1000;
  // Real time per run over wire time: what the driver and the hand-overs add.
  state.counters["x_wire"] = wall / (wireSeconds * static_cast<double>(state.iterations()));
}

void BM_Receipt100Items(benchmark::State& state) {
  RunOnPacedLine(state, "receipt", Receipt100);
}
BENCHMARK(BM_Receipt100Items)
    ->Arg(9600)
    ->Arg(19200)
    ->Arg(28800)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_RateProgramming(benchmark::State& state) {
  RunOnPacedLine(state, "rates", RateProgramming);
}
BENCHMARK(BM_RateProgramming)
    ->Arg(9600)
    ->Arg(19200)
    ->Arg(28800)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// This process's CPU time and the times its threads gave up or lost the core.
struct Usage {
  double cpuSeconds = 0;
  double switches = 0;
};

Usage ProcessUsage() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime),
          static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw)};
}

// A printer in a child process, serving at `baud` with lines that take `perLine` to
// print. The child ends when the parent kills it.
struct ChildPrinter {
  pid_t pid = -1;
  std::string path;

  ChildPrinter(int baud, std::chrono::milliseconds perLine) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      auto config = BenchLuno();
      config.timing = {0, perLine, 0, 0ms};
      emu::PtyServerOptions options;
      options.baud = baud;
      emu::PtyServer server(config, options);
      server.Start();
      const std::string slave = server.SlavePath() + "\n";
      if (write(fds[1], slave.data(), slave.size()) < 0) _exit(1);
      close(fds[1]);
      for (;;) pause();
    }
    close(fds[1]);
    char buffer[256] = {};
    const ssize_t got = read(fds[0], buffer, sizeof buffer - 1);
    close(fds[0]);
    if (got > 0) path.assign(buffer, static_cast<size_t>(got) - 1);
  }
  ~ChildPrinter() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

// Following printouts of about 5 lines × 200 ms at 9600 b/s, the printer polled without
// pause as the driver does. The cost is per second of printing, reported as % of one
// core, with the context switches per second that make most of it.
void BM_PrintoutSupervisionCpu(benchmark::State& state) {
  ChildPrinter printer(9600, 200ms);
  if (printer.path.empty()) {
    state.SkipWithError("no printer process");
    return;
  }
  ::setenv("TAURAVAT_COM9", printer.path.c_str(), 1);
  if (::CommunicationInit(kPort, 9600, 2) != 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  double cpu = 0, switches = 0, wall = 0;
  for (auto _ : state) {
    const Usage before = ProcessUsage();
    const auto wallBefore = std::chrono::steady_clock::now();
    const int32_t r = ::PrinterStatusReport();
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const Usage after = ProcessUsage();
    cpu += after.cpuSeconds - before.cpuSeconds;
    switches += after.switches - before.switches;
    if (r != 0) {
      state.SkipWithError(("report answered " + std::to_string(r)).c_str());
      break;
    }
  }
  ::CommunicationEnd();
  state.counters["printout_s"] = wall / static_cast<double>(state.iterations());
  state.counters["cpu_pct"] = wall > 0 ? 100.0 * cpu / wall : 0;
  state.counters["switches_per_s"] = wall > 0 ? switches / wall : 0;
}
BENCHMARK(BM_PrintoutSupervisionCpu)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
