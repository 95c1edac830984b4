// TCP sockets on POSIX (Linux first) for the network serial devices.
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net_socket.hpp"
#include "os_error.hpp"
#include "serial_device.hpp"

namespace kestradr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Keep-alive: a silent peer is asked after 10 s, then every 5 s, and given up after 3
// unanswered probes. Data left unacknowledged for 20 s ends the connection as well.
constexpr int kKeepIdleSeconds = 10;
constexpr int kKeepIntervalSeconds = 5;
constexpr int kKeepProbes = 3;
constexpr unsigned kUnacknowledgedLimitMs = 20000;

void SetOptions(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds, sizeof kKeepIntervalSeconds);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
  setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedLimitMs,
             sizeof kUnacknowledgedLimitMs);
}

int LeftMs(Clock::time_point until) {
  const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// One address: a non-blocking connect finished by poll within the time left. 0 or errno.
int ConnectOne(int fd, const addrinfo& address, Clock::time_point until) {
  if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  pollfd wait{fd, POLLOUT, 0};
  for (;;) {
    const int ready = poll(&wait, 1, LeftMs(until));
    if (ready == 0) return ETIMEDOUT;
    if (ready > 0) break;
    if (errno != EINTR) return errno;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

// Name resolution failures read as "no such device": the name points nowhere.
uint32_t ResolveError(int code) {
  return code == EAI_SYSTEM ? TranslateOsError(errno) : kErrorFileNotFound;
}

}  // namespace

uint32_t ConnectionResetError() {
  return TranslateOsError(ECONNRESET);
}

uint32_t TimedOutError() {
  return TranslateOsError(ETIMEDOUT);
}

struct TcpSocket::Native {
  int fd = -1;
};

TcpSocket::TcpSocket(std::unique_ptr<Native> native) : native_(std::move(native)) {}

TcpSocket::~TcpSocket() {
  if (native_ && native_->fd >= 0) close(native_->fd);
}

SocketOpen TcpSocket::Connect(const std::string& host, const std::string& port,
                              std::chrono::milliseconds limit) {
  SocketOpen result;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (const int code = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); code != 0) {
    result.osError = ResolveError(code);
    return result;
  }
  const Clock::time_point until = Clock::now() + limit;
  int error = ENOENT;
  for (const addrinfo* a = found; a != nullptr && !result.socket; a = a->ai_next) {
    const int fd =
        socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = errno;
      continue;
    }
    error = ConnectOne(fd, *a, until);
    if (error != 0) {
      close(fd);
      if (error == ETIMEDOUT) break;  // the time is spent for every address
      continue;
    }
    SetOptions(fd);
    auto native = std::make_unique<Native>();
    native->fd = fd;
    result.socket.reset(new TcpSocket(std::move(native)));
  }
  freeaddrinfo(found);
  // Nobody listening at the port: the device is not there, and the user reads why.
  if (!result.socket && error == ECONNREFUSED) {
    result.osError = kErrorFileNotFound;
    result.nativeError = ECONNREFUSED;
  } else if (!result.socket) {
    result.osError = TranslateOsError(error);
  }
  return result;
}

SocketIo TcpSocket::Send(const uint8_t* data, size_t size) {
  for (;;) {
    const ssize_t sent = send(native_->fd, data, size, MSG_NOSIGNAL);
    if (sent >= 0) return {SocketIo::Kind::Moved, static_cast<size_t>(sent), 0};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {SocketIo::Kind::WouldBlock, 0, 0};
    return {SocketIo::Kind::Failed, 0, TranslateOsError(errno)};
  }
}

SocketIo TcpSocket::Receive(uint8_t* data, size_t size) {
  for (;;) {
    const ssize_t got = recv(native_->fd, data, size, 0);
    if (got > 0) {
      // Acknowledge at once, every time (the kernel forgets it): a device server that
      // leaves Nagle on holds the next byte of an answer until our ACK, which the kernel
      // would otherwise delay by up to 40 ms.
      const int on = 1;
      setsockopt(native_->fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
      return {SocketIo::Kind::Moved, static_cast<size_t>(got), 0};
    }
    if (got == 0) return {SocketIo::Kind::Closed, 0, 0};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {SocketIo::Kind::WouldBlock, 0, 0};
    return {SocketIo::Kind::Failed, 0, TranslateOsError(errno)};
  }
}

SocketReady TcpSocket::Wait(bool send, const Event& abort, int timeoutMs) {
  if (!abort.Valid()) return SocketReady::Failed;
  pollfd fds[2] = {{native_->fd, static_cast<short>(send ? POLLOUT : POLLIN), 0},
                   {static_cast<int>(abort.NativeHandle()), POLLIN, 0}};
  const Clock::time_point until = Clock::now() + milliseconds(timeoutMs);
  for (;;) {
    const int ready = poll(fds, 2, timeoutMs < 0 ? -1 : LeftMs(until));
    if (ready == 0) return SocketReady::TimedOut;
    if (ready < 0) {
      if (errno == EINTR) continue;
      return SocketReady::Failed;
    }
    // An error or hang-up is for the next transfer to find and report.
    if (fds[0].revents != 0) return SocketReady::Ready;
    if (fds[1].revents & POLLIN) return SocketReady::Aborted;
    return SocketReady::Failed;
  }
}

TcpSocket::PeerWait TcpSocket::WaitPeerClosed(const Event& stop, const Event& wake) {
  if (!stop.Valid() || !wake.Valid()) return PeerWait::Failed;
  pollfd fds[3] = {{static_cast<int>(stop.NativeHandle()), POLLIN, 0},
                   {static_cast<int>(wake.NativeHandle()), POLLIN, 0},
                   {native_->fd, POLLRDHUP, 0}};
  for (;;) {
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return PeerWait::Failed;
    }
    if (fds[0].revents & POLLIN) return PeerWait::Stopped;
    if (fds[1].revents & POLLIN) return PeerWait::Woken;
    if (fds[2].revents != 0) return PeerWait::Closed;
    return PeerWait::Failed;
  }
}

size_t TcpSocket::Unacknowledged() const {
  int queued = 0;
  return ioctl(native_->fd, SIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<size_t>(queued) : 0;
}

}  // namespace kestradr
