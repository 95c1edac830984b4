// kestra-emu: serves one emulated fiscal printer on a pseudo-terminal.

#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "emu_options.hpp"
#include "kestra/emu/control_server.hpp"
#include "kestra/emu/pty_server.hpp"
#include "tauravat_version.h"

namespace {

using kestra::emu::PtyServer;

bool WriteSnapshot(PtyServer& server, const std::string& path) {
  if (path.empty()) return true;
  const std::string json = server.WithPrinter([](auto& p) { return p.SnapshotJson(); });
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << json << '\n';
    if (!out) return false;
  }
  // Readers never see a half-written snapshot.
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = kestra::emu::ParseEmuOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::cerr << "kestra-emu: " << error << "\n(see --help)\n";
    return 2;
  }
  if (options->help) {
    std::cout << kestra::emu::EmuUsage();
    return 0;
  }
  if (options->version) {
    std::cout << "kestra-emu " << TAURAVAT_VERSION_STRING << "\n";
    return 0;
  }

  // The signals are taken by sigwait below; blocked before any thread starts so the
  // server thread never receives them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // The trace is opened by the server's thread; a file that cannot be written would
  // otherwise be noticed by nobody, and the run leave no trace.
  if (!options->server.tracePath.empty() &&
      !std::ofstream(options->server.tracePath, std::ios::app)) {
    std::cerr << "kestra-emu: cannot open the trace " << options->server.tracePath << '\n';
    return 1;
  }

  std::unique_ptr<std::ofstream> paperFile;
  std::ostream* paper = nullptr;
  if (options->paperPath == "-") {
    paper = &std::cout;
  } else if (!options->paperPath.empty()) {
    paperFile = std::make_unique<std::ofstream>(options->paperPath, std::ios::app);
    if (!*paperFile) {
      std::cerr << "kestra-emu: cannot open " << options->paperPath << '\n';
      return 1;
    }
    paper = paperFile.get();
  }

  PtyServer server(options->printer, options->server);
  if (paper) {
    server.WithPrinter([paper](auto& p) {
      p.Paper().SetSink([paper](const std::string& line) { *paper << line << std::endl; });
      return 0;
    });
  }
  std::optional<kestra::emu::ControlServer> control;
  try {
    server.Start();
    if (!options->controlPath.empty()) control.emplace(server, options->controlPath).Start();
  } catch (const std::exception& e) {
    std::cerr << "kestra-emu: " << e.what() << '\n';
    return 1;
  }
  // The first line says both the line and the control socket are ready.
  std::cout << server.SlavePath() << std::endl;

  for (;;) {
    int sig = 0;
    if (sigwait(&signals, &sig) != 0) break;
    if (sig == SIGUSR1) {
      if (!WriteSnapshot(server, options->snapshotPath)) {
        std::cerr << "kestra-emu: cannot write " << options->snapshotPath << '\n';
      }
      continue;
    }
    break;
  }
  control.reset();
  server.Stop();
  if (!WriteSnapshot(server, options->snapshotPath)) {
    std::cerr << "kestra-emu: cannot write " << options->snapshotPath << '\n';
    return 1;
  }
  return 0;
}
