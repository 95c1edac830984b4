#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "kestra/emu/printer.hpp"
#include "kestra/emu/unique_fd.hpp"

namespace kestra::emu {

struct PtyServerOptions {
  std::string linkPath;               // when set, a symbolic link to the slave is made here
  int baud = 0;                       // when set, bytes take 11 bits of line time each, both ways
  std::chrono::milliseconds tick{5};  // how often time is handed to the printer
  std::string tracePath;              // when set, every byte is appended here (see wire_trace.hpp)
};

// Serves one Printer on a pseudo-terminal, on a thread of its own. The client (the
// driver) opens SlavePath(); the server keeps a slave descriptor open itself, so the
// master never sees a hang-up when a client closes and the next client finds the line
// as the last one left it.
class PtyServer {
 public:
  explicit PtyServer(PrinterConfig config = {}, PtyServerOptions options = {});
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens the pty and starts serving; throws std::system_error on failure.
  void Start();
  // Stops the thread (within one tick), closes the pty and removes the link.
  void Stop();

  const std::string& SlavePath() const { return slavePath_; }
  bool Running() const { return thread_.joinable(); }
  // The server's own descriptor of the line's client end, to read the settings a client
  // gave the line (its speed) while that client holds the line for itself.
  int LineDescriptor() const { return slave_.Get(); }

  // Runs `fn` on the printer while the server is kept away from it.
  template <class Fn>
  auto WithPrinter(Fn&& fn) {
    std::lock_guard lock(mutex_);
    return fn(printer_);
  }

 private:
  void Serve(std::stop_token stop);

  PtyServerOptions options_;
  std::mutex mutex_;
  Printer printer_;
  UniqueFd master_;
  UniqueFd slave_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::string slavePath_;
  bool linked_ = false;
  std::jthread thread_;
};

}  // namespace kestra::emu
