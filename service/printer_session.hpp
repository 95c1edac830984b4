// The connection to one printer as its worker keeps it: the backend, what the printer
// told at its last identification, its receipt counter as far as it is known, and when
// to try again after the port failed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

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

  // Opens the printer unless it is open: the port, the identification, the rates and the
  // receipt counter. After a failed attempt the next waits for the back-off; `urgent` (a
  // request is waiting) shortens that wait to the first step of the back-off.
  int32_t EnsureOpen(bool urgent);
  // Closes and opens at once; the opening cancels any receipt the printer holds open.
  int32_t Reopen();
  // The line or the port failed with `code`: the printer is closed until the next attempt.
  void Lost(int32_t code);

  bool IsOpen() const { return open_; }
  PrinterBackend& Backend() { return *backend_; }
  const PrinterFacts& Facts() const { return facts_; }
  int32_t RefreshRates();

  // The receipt counter before the next receipt: read again when it has not been seen
  // for `trust`, since the printer could have changed it on its own (a daily report
  // from its keyboard) while the service was idle.
  int32_t CounterBeforeReceipt(std::chrono::milliseconds trust, ReceiptCounter& counter);
  // The counter as read now.
  int32_t ReadCounter(ReceiptCounter& counter);
  // A receipt completed: the counter moved on by one. Answers the number on its paper, read
  // again where the counter before it could not tell; nothing when it cannot be known.
  std::optional<int32_t> ReceiptCompleted();
  // The counter is no longer known (after a daily report, a failed receipt end).
  void ForgetCounter() { counter_.reset(); }

  int32_t LastFault() const { return lastFault_; }
  // When the next attempt to open may be made (meaningful while closed).
  Clock::time_point NextAttempt() const { return nextAttempt_; }

 private:
  int32_t Open();

  std::unique_ptr<PrinterBackend> backend_;
  Backoff backoff_;
  bool open_ = false;
  PrinterFacts facts_;
  std::optional<ReceiptCounter> counter_;
  Clock::time_point counterSeen_{};
  int32_t lastFault_ = 0;
  int failures_ = 0;
  Clock::time_point lastAttempt_{};
  Clock::time_point nextAttempt_{};
};

}  // namespace tauravatd
