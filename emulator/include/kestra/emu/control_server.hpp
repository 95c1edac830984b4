#pragma once

#include <string>
#include <thread>

#include "kestra/emu/pty_server.hpp"
#include "kestra/emu/unique_fd.hpp"

namespace kestra::emu {

// kestra-emu's control socket: a Unix stream socket at a path, taking one JSON command a
// line from any number of clients and answering each with one JSON line (see
// control_commands.hpp). Commands run on the served printer under the server's lock, so
// they fall between the bytes of the line, never inside the handling of one.
class ControlServer {
 public:
  ControlServer(PtyServer& server, std::string path);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens and starts serving; throws std::system_error when the path cannot be bound
  // (in use by a live emulator, too long, not writable). A socket left behind by an
  // emulator that died is replaced.
  void Start();
  // Stops the thread, closes every connection and removes the socket.
  void Stop();

  const std::string& Path() const { return path_; }

 private:
  void Serve(std::stop_token stop);

  PtyServer& server_;
  std::string path_;
  UniqueFd listener_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  bool bound_ = false;
  std::jthread thread_;
};

}  // namespace kestra::emu
