// The cost of handing each byte to the writer thread: one byte out and back through
// WriteByte/ReadByte over a pty with an echo peer, against the same round trip done
// with plain write/poll/read on the caller's thread. Also the CPU an idle open port
// costs (it must not poll).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "../tests/serial/pty_pair.hpp"
#include "comm.hpp"
#include "printer.hpp"
#include "printer_internals.hpp"
#include "tauravat.h"

namespace {

using kestradr::testing::EchoPeer;
using kestradr::testing::PortPathVariable;
using kestradr::testing::PtyPair;

constexpr uint8_t kPort = 211;

void BM_HandOverRoundTrip(benchmark::State& state) {
  PtyPair pty;
  PortPathVariable path(kPort, pty.SlavePath());
  EchoPeer echo(pty.Master());
  if (OpenPort(kPort, 28800, 3, 2) != 0) {
    state.SkipWithError("cannot open the pty through the driver");
    return;
  }
  kestradr::SerialLink& link = kestradr::PrinterInternals(kestradr::DefaultPrinter()).Link();
  uint8_t value = 0;
  for (auto _ : state) {
    uint8_t back = 0;
    if (!link.WriteByte(value) || !link.ReadByte(back) || back != value) {
      state.SkipWithError("byte lost");
      break;
    }
    ++value;
  }
  ClosePort();
}
BENCHMARK(BM_HandOverRoundTrip)->UseRealTime()->MinTime(2.0);

void BM_PlainRoundTrip(benchmark::State& state) {
  PtyPair pty;
  EchoPeer echo(pty.Master());
  const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios raw{};
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &raw);
  uint8_t value = 0;
  for (auto _ : state) {
    uint8_t back = 0;
    pollfd p{fd, POLLIN, 0};
    if (write(fd, &value, 1) != 1 || poll(&p, 1, 2000) != 1 || read(fd, &back, 1) != 1 ||
        back != value) {
      state.SkipWithError("byte lost");
      break;
    }
    ++value;
  }
  close(fd);
}
BENCHMARK(BM_PlainRoundTrip)->UseRealTime()->MinTime(2.0);

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_IdleOpenPortCpu(benchmark::State& state) {
  PtyPair pty;
  PortPathVariable path(kPort, pty.SlavePath());
  if (OpenPort(kPort, 28800, 3, 2) != 0) {
    state.SkipWithError("cannot open the pty through the driver");
    return;
  }
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpuBefore = CpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    cpu += CpuSeconds() - cpuBefore;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  }
  state.counters["idle_cpu_ms"] = cpu * 1e3;
  state.counters["idle_cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
  ClosePort();
}
BENCHMARK(BM_IdleOpenPortCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
