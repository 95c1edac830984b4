// A serial port behind a TCP connection to a serial device server: socket:// passes the
// printer's bytes as they are (tcp_serial_device.cpp), rfc2217:// speaks Telnet with the
// COM port option (rfc2217_device.cpp). To the port object both are ordinary devices:
// single-byte transfers bounded by the port's time-outs, purges, and line errors, of
// which a dropped connection is one (the next operation then opens the port again).
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "net_address.hpp"
#include "net_socket.hpp"
#include "serial_device.hpp"

namespace kestradr {

// The socket:// and rfc2217:// devices (network_devices.cpp). A path in either scheme
// that is not well formed is a parameter error.
DeviceOpenResult OpenNetworkDevice(std::string_view path);

// Connecting and a device server's first answers take at most this. Resolving the name
// before it takes what the system's resolver takes.
inline constexpr std::chrono::milliseconds kNetConnectLimit{5000};

class TcpSerialDevice : public SerialDevice {
 public:
  explicit TcpSerialDevice(std::unique_ptr<TcpSocket> socket);

  // Opens socket://: connects, and tells a server that refuses a second client (it says
  // so and hangs up at once) from one that serves.
  static DeviceOpenResult Open(const NetAddress& address);

  // The speed and format are the device server's own settings on socket://.
  uint32_t ApplyLineSettings(uint32_t baud) override {
    return baud == 0 ? kErrorInvalidParameter : 0;
  }
  uint32_t SetQueueSizes(uint32_t, uint32_t) override { return 0; }
  uint32_t GetTimeouts(CommTimeouts& timeouts) override;
  uint32_t SetTimeouts(const CommTimeouts& timeouts) override;
  uint32_t SetEventMask(uint32_t mask) override;

  Transfer Write(uint8_t byte, const Event& abort) override;
  Transfer Read(uint8_t& byte, const Event& abort) override;

  // Output is never discarded, as on a local line: it is let go until the connection has
  // it (closing waits for the server's acknowledgement, within limits).
  uint32_t PurgeOutput() override;
  uint32_t PurgeInput() override;
  uint32_t PurgeAll() override;

  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override;
  uint32_t ClearLineErrors(uint32_t& errors) override;

 protected:
  using Clock = std::chrono::steady_clock;
  // A whole-operation deadline, computed once and checked at every wait.
  struct Deadline {
    std::optional<Clock::time_point> at;
    static Deadline After(std::chrono::milliseconds span) { return {Clock::now() + span}; }
    int WaitMs() const;  // -1: none
    bool Expired() const { return at && Clock::now() >= *at; }
  };

  // Bytes received, as the protocol over the connection reads them; raw: all are data.
  virtual void TakeIn(std::span<const uint8_t> received);
  // One printer byte as it travels.
  virtual void PutOut(uint8_t byte) { output_.push_back(byte); }
  // Whether the printer lets the writer send (CTS).
  virtual bool ClearToSend() { return true; }
  // After the local input is emptied: whatever the server still holds for us. A command
  // may wait in `output_` for the next write, which sends it first.
  virtual uint32_t PurgeServerInput() { return 0; }

  // One round of input: receives what is there, or waits for it until `deadline`.
  // 0, kTimedOut, kAborted, or an OS error (the connection is then dropped).
  static constexpr uint32_t kTimedOut = 0xFFFFFFFEu, kAborted = 0xFFFFFFFDu;
  uint32_t Pull(const Event& abort, const Deadline& deadline);
  // Sends `output_` whole (a half-sent IAC pair would garble the stream): 0, kAborted, or
  // an OS error. Waits past the deadline only to finish what was begun.
  uint32_t Push(const Event& abort, const Deadline& deadline);
  // Marks the connection dropped and reports it as a line error.
  uint32_t Drop(uint32_t osError);
  bool Dropped() const { return dropped_; }
  void RaiseLineErrors(uint32_t flags);
  Deadline WriteDeadline();

  std::unique_ptr<TcpSocket> socket_;
  std::recursive_mutex io_;  // the transfer thread, the caller's purges, the closing purge
  std::deque<uint8_t> input_;
  std::vector<uint8_t> output_;
  Event idle_;  // never signalled: the abort of waits no caller can cut short

 private:
  std::mutex timeoutsMutex_;
  CommTimeouts timeouts_{};
  std::atomic<uint32_t> eventMask_{0};
  std::atomic<bool> dropped_{false};
  std::atomic<uint32_t> pendingErrors_{0};
  Event lineEvent_;          // line errors raised by the transfer thread
  bool hangUpSeen_ = false;  // event thread only
};

}  // namespace kestradr
