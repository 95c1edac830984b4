// The connection to one printer as its worker keeps it: the backend, what the printer
// told at its last identification, and when to try again after the port failed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "printer_backend.hpp"
#include "sale_check.hpp"

namespace tauravatd {

struct Backoff {
  std::chrono::milliseconds first{250};
  std::chrono::milliseconds longest{10'000};
};

class PrinterSession {
 public:
  using Clock = std::chrono::steady_clock;

  PrinterSession(std::unique_ptr<PrinterBackend> backend, Backoff backoff);
  ~PrinterSession();

  // Opens the printer unless it is open: the port, the identification and the rates. After a failed
  // attempt the next waits for the back-off; `urgent` (a request is waiting) shortens that wait to
  // the first step of the back-off.
  int32_t EnsureOpen(bool urgent);
  // Closes and opens at once; the opening cancels any receipt the printer holds open.
  int32_t Reopen();
  // The line or the port failed with `code`: the printer is closed until the next attempt.
  void Lost(int32_t code);

  bool IsOpen() const { return open_; }
  PrinterBackend& Backend() { return *backend_; }
  const PrinterFacts& Facts() const { return facts_; }
  int32_t RefreshRates();

  // The receipt counter as read now.
  int32_t ReadCounter(ReceiptCounter& counter);

  int32_t LastFault() const { return lastFault_; }
  // When the next attempt to open may be made (meaningful while closed).
  Clock::time_point NextAttempt() const { return nextAttempt_; }

 private:
  int32_t Open();

  std::unique_ptr<PrinterBackend> backend_;
  Backoff backoff_;
  bool open_ = false;
  PrinterFacts facts_;
  int32_t lastFault_ = 0;
  int failures_ = 0;
  Clock::time_point lastAttempt_{};
  Clock::time_point nextAttempt_{};
};

}  // namespace tauravatd
