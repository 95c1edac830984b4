// One worker per printer: a thread that owns the printer's session and carries out the
// requests for that printer one at a time, in the order they arrived. Between requests
// it watches the printer (status, reopening a lost port with back-off), and before any
// new request it settles receipts whose outcome was lost. A worker that makes no progress
// (a printout that does not end) is shown stalled.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "change_feed.hpp"
#include "journal.hpp"
#include "metrics.hpp"
#include "printer_backend.hpp"
#include "printer_session.hpp"
#include "receipt_printing.hpp"

namespace tauravatd {

struct WorkerOptions {
  Backoff backoff;
  // How often an idle, open printer is asked for its state.
  std::chrono::milliseconds pollInterval{5000};
  size_t maxQueue = 1000;
  // How long the worker may go without progress before it is shown stalled: progress is
  // any request, poll or opening that ends, except on a printout still unfinished when
  // the driver's print limit ran out.
  std::chrono::milliseconds stallAfter{60'000};
};

// What the worker has on hand to do a job.
struct WorkerContext {
  const PrinterSettings& settings;
  PrinterSession& session;
  Journal& journal;
  Metrics& metrics;
  const Driver& driver;
  const WorkerOptions& options;
  // Set while a receipt is between its begin and its outcome (shown in the status).
  std::atomic<bool>& receiptOpen;
  // What a job learnt of whether a receipt may begin (0, or 109 paper out, ...).
  std::optional<int32_t> conditions;
  // Set when a code said that a printout did not end within the print limit.
  bool unendedPrintout = false;

  // Counts a driver code in the metrics (0 is not counted) and notes an unended printout.
  void Count(int32_t code);
};

class Job {
 public:
  virtual ~Job() = default;
  // Runs on the worker's thread with the printer open and settled.
  virtual void Run(WorkerContext& context) = 0;
  // The job cannot run: the printer cannot be reached (`code` says why), or the service
  // is stopping (code 0). Must answer whoever waits for the job.
  virtual void Refuse(WorkerContext& context, int32_t code, const std::string& why) = 0;
  // How much longer than other requests the job may run before the worker is shown
  // stalled: a report prints for minutes, and the printer says only that it prints.
  virtual std::chrono::milliseconds Allowance() const { return {}; }
};

// The printer's state as the interface shows it; a copy, safe to read on any thread.
struct PrinterStatus {
  PrinterSettings settings;
  bool connected = false;
  int32_t lastFault = 0;  // why it is not connected
  std::optional<std::chrono::milliseconds> nextAttemptIn;
  std::optional<PrinterFacts> facts;  // from the last identification
  std::optional<int32_t> conditions;  // last answer to "may a receipt begin?"
  bool receiptOpen = false;
  bool settlementPending = false;
  size_t queueLength = 0;
  bool stalled = false;  // no progress for longer than the worker's stallAfter

  // "connected"; "offline", with lastFault saying why; or "connecting" until the first
  // attempt to open the printer has ended.
  std::string_view Connection() const;
};

class PrinterWorker {
 public:
  // `feed`, when given, learns of every change of the status (and must outlive the worker).
  PrinterWorker(PrinterSettings settings, std::unique_ptr<PrinterBackend> backend, Journal& journal,
                Metrics& metrics, const Driver& driver, WorkerOptions options,
                ChangeFeed* feed = nullptr);
  ~PrinterWorker();
  PrinterWorker(const PrinterWorker&) = delete;
  PrinterWorker& operator=(const PrinterWorker&) = delete;

  void Start();
  // Refuses what is queued, lets the job in hand finish, then ends the thread.
  void Stop();

  // Queues `job` behind the others. False (and the job untouched) when the queue is full
  // or the worker is stopping.
  bool Submit(std::shared_ptr<Job> job);

  const std::string& Name() const { return settings_.name; }
  PrinterStatus Status() const;

 private:
  void Loop(std::stop_token stop);
  void RunJob(const std::shared_ptr<Job>& job);
  bool Settle();
  int32_t Poll();
  void Publish();
  void PublishLocked();
  // Tells the feed that the status may have changed.
  void Changed();
  // A step (a request, a poll, an opening) begins, and ends with progress or without.
  void StepBegins(std::chrono::milliseconds allowance);
  void StepEnds();

  PrinterSettings settings_;
  Journal& journal_;
  Metrics& metrics_;
  const Driver& driver_;
  WorkerOptions options_;
  ChangeFeed* feed_;
  PrinterSession session_;
  std::atomic<bool> receiptOpen_{false};
  WorkerContext context_;

  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<std::shared_ptr<Job>> queue_;
  bool stopping_ = false;
  bool settlementPending_ = true;  // until the journal has been looked at
  PrinterStatus published_;
  PrinterSession::Clock::time_point lastActivity_{};
  // Since when the worker has made no progress (none while it has): it began a step that
  // has not ended, or whose end met an unended printout.
  std::optional<PrinterSession::Clock::time_point> noProgressSince_;
  std::chrono::milliseconds allowance_{};
  std::jthread thread_;
};

}  // namespace tauravatd
