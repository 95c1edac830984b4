// The serial link of one connection: the port object with its threads, the single-byte
// hand-over to the writer thread, and the record of the last serial failure. Opening,
// closing, purging, re-timing, and the byte primitives the sequence exchange is built on.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "comm_spin.hpp"
#include "event.hpp"
#include "main_thread_queue.hpp"
#include "os_error.hpp"
#include "serial_device.hpp"

namespace kestradr {

class TComm;

class SerialLink {
 public:
  SerialLink();
  ~SerialLink();  // closes the port
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // Why the last InitPort failed: what the user can do about it, the platform's error
  // number and the result InitPort gave. Nothing after a successful one.
  struct OpenFailure {
    PortFault fault;
    int nativeError;
    int32_t result;
  };
  const std::optional<OpenFailure>& LastOpenFailure() const { return openFailure_; }
  void ForgetOpenFailure() { openFailure_.reset(); }

  // Opens `address` (a new port object each time). 0, an OS error, or 5 when this link
  // has a port open already.
  int32_t InitPort(const PortAddress& address, uint32_t baud, uint32_t writeTimeoutMs,
                   uint32_t readTimeoutMs);
  int32_t DonePort();
  void PurgePort();
  // Lets `pause` pass with nothing on the line; the port's device decides how.
  void Rest(std::chrono::milliseconds pause);
  bool SetPortTimeouts(uint32_t writeTimeoutMs, uint32_t readTimeoutMs);
  bool PortIsOpen() const;
  // The time-outs the open port works with, in milliseconds; false when none is open.
  bool CurrentPortTimeouts(uint32_t& writeTimeoutMs, uint32_t& readTimeoutMs) const;

  // One byte through the writer thread. The outcome is also left in TransferFailed().
  bool WriteByte(uint8_t byte);
  bool ReadByte(uint8_t& byte);

  bool TransferFailed() const { return transferFailed_; }
  // True when a failure is recorded that fails every exchange until the port is opened
  // again. Line events waiting for the caller's thread are served first, so a line error
  // that has already happened counts.
  bool PortFailed();
  uint32_t CommErrorCode() const;
  std::string CommErrorText() const;
  void SetCommError(const std::string& text, uint32_t code);

  // Work the port's event thread hands to whichever thread waits inside this link.
  MainThreadQueue& Queue() { return queue_; }

  // The port object; replaced at every open, null before the first.
  std::unique_ptr<TComm> Comm;
  bool PortOpen = false;

 private:
  friend class TComm;
  friend class TZapisOdczytThread;

  // Fails the caller's side of a transfer: recorded, and left in TransferFailed.
  bool FailTransfer(std::string_view text);
  // How long the caller watches for the answer to the request it is about to make,
  // published for the writer thread before the request is.
  int StartWatching(std::chrono::microseconds watch);

  // The failure record is written by the writer thread and by the caller (and, after an
  // abort from another thread, by both at once), so it takes a lock of its own.
  std::optional<OpenFailure> openFailure_;  // the caller's thread only
  mutable std::mutex recordMutex_;
  std::string errorText_;
  uint32_t errorCode_ = 0;

  MainThreadQueue queue_;
  std::atomic<bool> transferFailed_{false};
  // How the caller and the writer thread watch for each other (comm_spin.hpp).
  WatchMark callerWatch_;
  WatchMark writerWatch_;
  Trials writeTrials_{kWriteTrialEvery};
  AnswerHistory lineAnswers_{kLineAnswerWatch};
  // Ordered by the hand-over events: written before a request (ByteToWrite) or before
  // IdleEvent is signalled (ByteRead), read only after the matching wait.
  uint8_t ByteToWrite = 0;
  uint8_t ByteRead = 0;
  // Made afresh at every Start (none exist before the first open); AbortEvent is
  // signalled at every Stop and stays so until the next Start.
  std::unique_ptr<Event> IdleEvent;
  std::unique_ptr<Event> WriteRequestEvent;
  std::unique_ptr<Event> ReadRequestEvent;
  std::unique_ptr<Event> AbortEvent;
};

// Whether COM `port` can be opened at this moment (the port list of the program).
bool PortAvailable(uint8_t port);

}  // namespace kestradr
