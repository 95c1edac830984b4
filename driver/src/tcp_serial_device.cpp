// The socket:// device, and what rfc2217:// shares with it: single-byte transfers over a
// TCP connection bounded by the port's time-outs, purges, and the dropped connection as
// a line error.
#include "tcp_serial_device.hpp"

#include <algorithm>
#include <cstddef>
#include <thread>

#include "os_error.hpp"

namespace kestradr {
namespace {

using std::chrono::milliseconds;

// A server that serves one client at a time answers a second one with a text and hangs up
// at once (ser2net: "Port's device already in use"); one that serves says nothing.
constexpr milliseconds kInUseWait{100};
// Closing must not hang on output the server never takes.
constexpr milliseconds kCloseDrainLimit{2000};

Transfer Failure(uint32_t osError) {
  return {TransferStatus::Failed, 0, osError};
}

}  // namespace

int TcpSerialDevice::Deadline::WaitMs() const {
  if (!at) return -1;
  const auto left = std::chrono::ceil<milliseconds>(*at - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

TcpSerialDevice::TcpSerialDevice(std::unique_ptr<TcpSocket> socket) : socket_(std::move(socket)) {}

DeviceOpenResult TcpSerialDevice::Open(const NetAddress& address) {
  DeviceOpenResult result;
  SocketOpen connected = TcpSocket::Connect(address.host, address.port, kNetConnectLimit);
  if (!connected.socket) {
    result.osError = connected.osError;
    result.nativeError = connected.nativeError;
    return result;
  }
  TcpSocket& socket = *connected.socket;
  const Event never;
  const auto until = Clock::now() + kInUseWait;
  for (;;) {
    uint8_t discard[256];  // a refusal's text; nothing a printer says unasked
    const SocketIo io = socket.Receive(discard, sizeof discard);
    if (io.kind == SocketIo::Kind::Closed ||
        (io.kind == SocketIo::Kind::Failed && io.osError == ConnectionResetError())) {
      result.osError = kErrorAccessDenied;
      result.nativeError = BusyNativeError();
      return result;
    }
    if (io.kind == SocketIo::Kind::Failed) {
      result.osError = io.osError;
      return result;
    }
    if (io.kind == SocketIo::Kind::Moved) continue;
    const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
    if (left <= 0 || socket.Wait(false, never, static_cast<int>(left)) != SocketReady::Ready) break;
  }
  result.device = std::make_unique<TcpSerialDevice>(std::move(connected.socket));
  return result;
}

uint32_t TcpSerialDevice::GetTimeouts(CommTimeouts& timeouts) {
  std::lock_guard lock(timeoutsMutex_);
  timeouts = timeouts_;
  return 0;
}

uint32_t TcpSerialDevice::SetTimeouts(const CommTimeouts& timeouts) {
  std::lock_guard lock(timeoutsMutex_);
  timeouts_ = timeouts;
  return 0;
}

uint32_t TcpSerialDevice::SetEventMask(uint32_t mask) {
  eventMask_ = mask;
  return 0;
}

TcpSerialDevice::Deadline TcpSerialDevice::WriteDeadline() {
  std::lock_guard lock(timeoutsMutex_);
  const uint32_t total = timeouts_.writeTotalMultiplier + timeouts_.writeTotalConstant;
  return total == 0 ? Deadline{} : Deadline::After(milliseconds(total));
}

void TcpSerialDevice::TakeIn(std::span<const uint8_t> received) {
  input_.insert(input_.end(), received.begin(), received.end());
}

uint32_t TcpSerialDevice::Drop(uint32_t osError) {
  dropped_ = true;
  return osError;
}

void TcpSerialDevice::RaiseLineErrors(uint32_t flags) {
  pendingErrors_.fetch_or(flags);
  lineEvent_.Set();
}

uint32_t TcpSerialDevice::Pull(const Event& abort, const Deadline& deadline) {
  if (dropped_) return ConnectionResetError();
  for (;;) {
    uint8_t buffer[512];
    const SocketIo io = socket_->Receive(buffer, sizeof buffer);
    switch (io.kind) {
      case SocketIo::Kind::Moved:
        TakeIn(std::span(buffer, io.count));
        // Answers the protocol owes the server go at once.
        if (!output_.empty()) return Push(idle_, Deadline::After(kNetConnectLimit));
        return 0;
      case SocketIo::Kind::Closed:
        return Drop(ConnectionResetError());
      case SocketIo::Kind::Failed:
        return Drop(io.osError);
      case SocketIo::Kind::WouldBlock:
        break;
    }
    if (deadline.Expired()) return kTimedOut;
    switch (socket_->Wait(false, abort, deadline.WaitMs())) {
      case SocketReady::Ready:
        continue;
      case SocketReady::TimedOut:
        return kTimedOut;
      case SocketReady::Aborted:
        return kAborted;
      case SocketReady::Failed:
        return Drop(LastOsError());
    }
  }
}

uint32_t TcpSerialDevice::Push(const Event& abort, const Deadline& deadline) {
  if (dropped_) return ConnectionResetError();
  while (!output_.empty()) {
    const SocketIo io = socket_->Send(output_.data(), output_.size());
    if (io.kind == SocketIo::Kind::Moved) {
      output_.erase(output_.begin(), output_.begin() + static_cast<ptrdiff_t>(io.count));
      continue;
    }
    if (io.kind != SocketIo::Kind::WouldBlock) return Drop(io.osError);
    switch (socket_->Wait(true, abort, deadline.WaitMs())) {
      case SocketReady::Ready:
        continue;
      case SocketReady::TimedOut:
        return kTimedOut;  // what is left goes first next time
      case SocketReady::Aborted:
        return kAborted;
      case SocketReady::Failed:
        return Drop(LastOsError());
    }
  }
  return 0;
}

Transfer TcpSerialDevice::Write(uint8_t byte, const Event& abort) {
  std::lock_guard lock(io_);
  const Deadline deadline = WriteDeadline();
  // The printer holds CTS low: wait as a local line would, taking in what arrives (the
  // notice that CTS is back among it).
  while (!ClearToSend()) {
    const uint32_t pulled = Pull(abort, deadline);
    if (pulled == kTimedOut) return {TransferStatus::Done, 0, 0};
    if (pulled == kAborted) return {TransferStatus::Aborted, 0, 0};
    if (pulled != 0) return Failure(pulled);
  }
  if (dropped_) return Failure(ConnectionResetError());
  const size_t before = output_.size();
  PutOut(byte);
  const size_t encoded = output_.size() - before;
  const uint32_t pushed = Push(abort, deadline);
  if (pushed == 0) return {TransferStatus::Done, 1, 0};
  if (pushed == kTimedOut || pushed == kAborted) {
    // Begun, it goes whole next time (half an IAC pair would garble the stream); not
    // begun, it was not written.
    if (output_.size() < encoded) return {TransferStatus::Done, 1, 0};
    output_.resize(output_.size() - encoded);
    if (pushed == kAborted) return {TransferStatus::Aborted, 0, 0};
    return {TransferStatus::Done, 0, 0};
  }
  return Failure(pushed);
}

Transfer TcpSerialDevice::Read(uint8_t& byte, const Event& abort) {
  std::lock_guard lock(io_);
  CommTimeouts t{};
  GetTimeouts(t);
  const bool returnAtOnce =
      t.readInterval == kMaxTimeout && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
  const uint32_t total = t.readTotalMultiplier + t.readTotalConstant;
  const Deadline deadline = returnAtOnce ? Deadline::After(milliseconds(0))
                            : total == 0 ? Deadline{}
                                         : Deadline::After(milliseconds(total));
  // A command the protocol held back for the next write (a purge) is due before waiting.
  if (input_.empty() && !output_.empty()) {
    const uint32_t pushed = Push(abort, deadline);
    if (pushed == kTimedOut) return {TransferStatus::Done, 0, 0};
    if (pushed == kAborted) return {TransferStatus::Aborted, 0, 0};
    if (pushed != 0) return Failure(pushed);
  }
  for (;;) {
    // What arrived before a drop is still the printer's.
    if (!input_.empty()) {
      byte = input_.front();
      input_.pop_front();
      return {TransferStatus::Done, 1, 0};
    }
    const uint32_t pulled = Pull(abort, deadline);
    if (pulled == kTimedOut) return {TransferStatus::Done, 0, 0};
    if (pulled == kAborted) return {TransferStatus::Aborted, 0, 0};
    if (pulled != 0 && input_.empty()) return Failure(pulled);
  }
}

uint32_t TcpSerialDevice::PurgeOutput() {
  std::lock_guard lock(io_);
  const Deadline deadline = WriteDeadline();
  // Handed to the connection it reaches the server, or the connection drops and that is
  // a line error. Waiting for the server's acknowledgement as well would cost its delayed
  // ACK (up to 40 ms) after every sequence that the printer does not answer.
  if (const uint32_t pushed = Push(idle_, deadline); pushed != 0)
    return pushed == kTimedOut ? TimedOutError() : pushed;
  return 0;
}

uint32_t TcpSerialDevice::PurgeInput() {
  std::lock_guard lock(io_);
  // Everything already here: a protocol's notices in it still count.
  while (!dropped_) {
    const uint32_t pulled = Pull(idle_, Deadline::After(milliseconds(0)));
    if (pulled != 0) break;
  }
  input_.clear();
  if (dropped_) return 0;  // the next transfer reports the dropped connection
  return PurgeServerInput();
}

uint32_t TcpSerialDevice::PurgeAll() {
  std::lock_guard lock(io_);
  const Deadline write = WriteDeadline();
  const Deadline limit = Deadline::After(kCloseDrainLimit);
  const Deadline sooner = write.at && *write.at < *limit.at ? write : limit;
  if (Push(idle_, sooner) == 0) {
    while (!dropped_ && socket_->Unacknowledged() > 0 && !sooner.Expired())
      std::this_thread::sleep_for(milliseconds(1));
  }
  input_.clear();
  return 0;
}

LineWait TcpSerialDevice::WaitLineEvent(const Event& stop, uint32_t& mask) {
  if (!(eventMask_.load() & kEventError))
    return WaitForAny({&stop}) == 0 ? LineWait::Stopped : LineWait::Failed;
  for (;;) {
    TcpSocket::PeerWait woken = TcpSocket::PeerWait::Failed;
    if (hangUpSeen_) {
      const int index = WaitForAny({&stop, &lineEvent_});
      woken = index == 0   ? TcpSocket::PeerWait::Stopped
              : index == 1 ? TcpSocket::PeerWait::Woken
                           : TcpSocket::PeerWait::Failed;
    } else {
      woken = socket_->WaitPeerClosed(stop, lineEvent_);
    }
    switch (woken) {
      case TcpSocket::PeerWait::Stopped:
        return LineWait::Stopped;
      case TcpSocket::PeerWait::Failed:
        return LineWait::Failed;
      case TcpSocket::PeerWait::Woken:
        lineEvent_.Reset();
        break;
      case TcpSocket::PeerWait::Closed:
        // The server or the network went away. The port is reopened, as after any line
        // error, before the next exchange; a break is what a line gone dead reads as.
        hangUpSeen_ = true;
        if (!dropped_.exchange(true)) pendingErrors_.fetch_or(kLineBreak);
        break;
    }
    if (pendingErrors_.load() != 0) {
      mask = kEventError;
      return LineWait::Event;
    }
  }
}

uint32_t TcpSerialDevice::ClearLineErrors(uint32_t& errors) {
  errors = pendingErrors_.exchange(0);
  return 0;
}

}  // namespace kestradr
