// A connected TCP socket for the network serial devices, non-blocking, with the waits the
// serial device interface needs (an abort event, a deadline). One implementation file per
// platform: net_socket_posix.cpp, net_socket_win32.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "event.hpp"

namespace kestradr {

enum class SocketReady { Ready, Aborted, TimedOut, Failed };

struct SocketIo {
  enum class Kind { Moved, WouldBlock, Closed, Failed };
  Kind kind = Kind::Failed;
  size_t count = 0;
  uint32_t osError = 0;  // for Failed, in the driver's numbers (os_error.hpp)
};

// The platform's numbers for a connection the peer ended and for a wait that ran out.
uint32_t ConnectionResetError();
uint32_t TimedOutError();

class TcpSocket;
struct SocketOpen {
  std::unique_ptr<TcpSocket> socket;  // null on failure
  uint32_t osError = 0;
  int nativeError = 0;  // the platform's own number where osError stands for another
};

class TcpSocket {
 public:
  // Resolves `host` with getaddrinfo and connects to the first of its addresses that
  // answers within `limit` altogether. No delay (TCP_NODELAY): every byte is a whole
  // message to the printer. Keep-alive: a device server that vanished without a word
  // shows as a dropped connection.
  static SocketOpen Connect(const std::string& host, const std::string& port,
                            std::chrono::milliseconds limit);
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  SocketIo Send(const uint8_t* data, size_t size);
  SocketIo Receive(uint8_t* data, size_t size);  // Closed: the peer ended the connection
  // Waits until something can be received (or, with `send`, sent), `abort` is signalled,
  // or `timeoutMs` passed (-1: no limit). Only after an attempt that would have blocked.
  SocketReady Wait(bool send, const Event& abort, int timeoutMs);
  // Until `stop` or `wake` is signalled or the peer ends the connection. Receives
  // nothing: the transfer thread owns the input. Where the platform cannot watch for the
  // end without receiving, it waits for the events alone.
  enum class PeerWait { Stopped, Woken, Closed, Failed };
  PeerWait WaitPeerClosed(const Event& stop, const Event& wake);
  // Bytes sent that the peer has not yet acknowledged; 0 where the platform cannot tell.
  size_t Unacknowledged() const;

 private:
  struct Native;
  explicit TcpSocket(std::unique_ptr<Native> native);
  std::unique_ptr<Native> native_;
};

}  // namespace kestradr
