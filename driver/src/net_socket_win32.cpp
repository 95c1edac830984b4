// TCP sockets on Windows (Winsock 2) for the network serial devices.
// winsock2.h before windows.h, which would otherwise bring the old winsock.h.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <mutex>

#include "net_socket.hpp"
#include "serial_device.hpp"

namespace kestradr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Keep-alive: a silent peer is asked after 10 s, then every 5 s.
constexpr ULONG kKeepIdleMs = 10000;
constexpr ULONG kKeepIntervalMs = 5000;

bool Started() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data{};
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

uint32_t Translate(int error) {
  switch (error) {
    case WSAECONNREFUSED:
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATYPE_NOT_FOUND:
      return kErrorFileNotFound;  // nobody there, or the name points nowhere
    case WSAEACCES:
      return kErrorAccessDenied;
    case WSAEINVAL:
      return kErrorInvalidParameter;
    default:
      return static_cast<uint32_t>(error);
  }
}

void SetOptions(SOCKET s) {
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  tcp_keepalive keep{1, kKeepIdleMs, kKeepIntervalMs};
  DWORD returned = 0;
  WSAIoctl(s, SIO_KEEPALIVE_VALS, &keep, sizeof keep, nullptr, 0, &returned, nullptr, nullptr);
  // Acknowledge every segment at once: a device server that leaves Nagle on holds the
  // next byte of an answer until our ACK, which Windows would otherwise delay.
  DWORD everySegment = 1;
  WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0, &returned,
           nullptr, nullptr);
}

int LeftMs(Clock::time_point until) {
  const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// One address: a non-blocking connect finished by select within the time left.
int ConnectOne(SOCKET s, const addrinfo& address, Clock::time_point until) {
  if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return 0;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return WSAGetLastError();
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  const int left = LeftMs(until);
  timeval wait{left / 1000, (left % 1000) * 1000};
  const int ready = select(0, nullptr, &writable, &failed, &wait);
  if (ready == 0) return WSAETIMEDOUT;
  if (ready < 0) return WSAGetLastError();
  int error = 0;
  int length = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
    return WSAGetLastError();
  return error;
}

}  // namespace

uint32_t ConnectionResetError() {
  return WSAECONNRESET;
}

uint32_t TimedOutError() {
  return WSAETIMEDOUT;
}

struct TcpSocket::Native {
  SOCKET socket = INVALID_SOCKET;
  WSAEVENT event = WSA_INVALID_EVENT;
};

TcpSocket::TcpSocket(std::unique_ptr<Native> native) : native_(std::move(native)) {}

TcpSocket::~TcpSocket() {
  if (!native_) return;
  if (native_->socket != INVALID_SOCKET) closesocket(native_->socket);
  if (native_->event != WSA_INVALID_EVENT) WSACloseEvent(native_->event);
}

SocketOpen TcpSocket::Connect(const std::string& host, const std::string& port,
                              std::chrono::milliseconds limit) {
  SocketOpen result;
  if (!Started()) {
    result.osError = Translate(WSAGetLastError());
    return result;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (const int code = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); code != 0) {
    result.osError = Translate(code);
    return result;
  }
  const Clock::time_point until = Clock::now() + limit;
  int error = WSAHOST_NOT_FOUND;
  for (const addrinfo* a = found; a != nullptr && !result.socket; a = a->ai_next) {
    const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      error = WSAGetLastError();
      continue;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    error = ConnectOne(s, *a, until);
    if (error != 0) {
      closesocket(s);
      if (error == WSAETIMEDOUT) break;
      continue;
    }
    SetOptions(s);
    auto native = std::make_unique<Native>();
    native->socket = s;
    native->event = WSACreateEvent();
    result.socket.reset(new TcpSocket(std::move(native)));
  }
  freeaddrinfo(found);
  if (!result.socket) result.osError = Translate(error);
  return result;
}

SocketIo TcpSocket::Send(const uint8_t* data, size_t size) {
  const int sent =
      send(native_->socket, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
  if (sent >= 0) return {SocketIo::Kind::Moved, static_cast<size_t>(sent), 0};
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return {SocketIo::Kind::WouldBlock, 0, 0};
  return {SocketIo::Kind::Failed, 0, Translate(error)};
}

SocketIo TcpSocket::Receive(uint8_t* data, size_t size) {
  const int got = recv(native_->socket, reinterpret_cast<char*>(data), static_cast<int>(size), 0);
  if (got > 0) return {SocketIo::Kind::Moved, static_cast<size_t>(got), 0};
  if (got == 0) return {SocketIo::Kind::Closed, 0, 0};
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return {SocketIo::Kind::WouldBlock, 0, 0};
  if (error == WSAECONNRESET || error == WSAECONNABORTED) return {SocketIo::Kind::Closed, 0, 0};
  return {SocketIo::Kind::Failed, 0, Translate(error)};
}

SocketReady TcpSocket::Wait(bool send, const Event& abort, int timeoutMs) {
  if (!abort.Valid() || native_->event == WSA_INVALID_EVENT) return SocketReady::Failed;
  // Input already waiting is recorded at once; room to send only after a send that would
  // have blocked, which is the only time this is asked.
  const long events = FD_READ | FD_CLOSE | (send ? FD_WRITE : 0);
  if (WSAEventSelect(native_->socket, native_->event, events) != 0) return SocketReady::Failed;
  const HANDLE handles[2] = {native_->event, reinterpret_cast<HANDLE>(abort.NativeHandle())};
  const DWORD woken = WaitForMultipleObjects(
      2, handles, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  WSANETWORKEVENTS happened{};
  WSAEnumNetworkEvents(native_->socket, native_->event, &happened);
  if (woken == WAIT_OBJECT_0) return SocketReady::Ready;
  if (woken == WAIT_OBJECT_0 + 1) return SocketReady::Aborted;
  if (woken == WAIT_TIMEOUT) return SocketReady::TimedOut;
  return SocketReady::Failed;
}

TcpSocket::PeerWait TcpSocket::WaitPeerClosed(const Event& stop, const Event& wake) {
  // One event selection per socket, and the transfer thread's: the end of the connection
  // is found by the next transfer instead.
  switch (WaitForAny({&stop, &wake})) {
    case 0:
      return PeerWait::Stopped;
    case 1:
      return PeerWait::Woken;
    default:
      return PeerWait::Failed;
  }
}

size_t TcpSocket::Unacknowledged() const {
  return 0;
}

}  // namespace kestradr
