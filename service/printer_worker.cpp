#include "printer_worker.hpp"

#include <algorithm>
#include <utility>

#include "log.hpp"
#include "result_codes.hpp"
#include "settlement.hpp"

namespace tauravatd {

void WorkerContext::Count(int32_t code) {
  if (code != TAURAVAT_OK) metrics.CodeSeen(settings.name, code, driver.Describe(code).name);
  if (IsUnendedPrintout(code)) unendedPrintout = true;
}

std::string_view PrinterStatus::Connection() const {
  if (connected) return "connected";
  return lastFault == TAURAVAT_OK ? "connecting" : "offline";
}

PrinterWorker::PrinterWorker(PrinterSettings settings, std::unique_ptr<PrinterBackend> backend,
                             Journal& journal, Metrics& metrics, const Driver& driver,
                             WorkerOptions options, ChangeFeed* feed)
    : settings_(std::move(settings)),
      journal_(journal),
      metrics_(metrics),
      driver_(driver),
      options_(options),
      feed_(feed),
      session_(std::move(backend), options_.backoff),
      context_{settings_, session_, journal_, metrics_, driver_, options_, receiptOpen_, {}} {
  published_.settings = settings_;
  published_.settlementPending = true;
}

PrinterWorker::~PrinterWorker() {
  Stop();
}

void PrinterWorker::Start() {
  thread_ = std::jthread([this](std::stop_token stop) { Loop(stop); });
}

void PrinterWorker::Stop() {
  std::deque<std::shared_ptr<Job>> refused;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    refused.swap(queue_);
  }
  for (const auto& job : refused) job->Refuse(context_, TAURAVAT_OK, "the service is stopping");
  if (thread_.joinable()) {
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
  }
}

bool PrinterWorker::Submit(std::shared_ptr<Job> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || queue_.size() >= options_.maxQueue) return false;
    queue_.push_back(std::move(job));
  }
  wake_.notify_all();
  Changed();
  return true;
}

PrinterStatus PrinterWorker::Status() const {
  // What the journal could not take is pending from the moment it was refused, not only
  // from the worker's next round: a caller answered 503 `journal` sees it at once.
  const bool unwritten = !journal_.Unwritten(settings_.name).empty();
  std::lock_guard lock(mutex_);
  PrinterStatus status = published_;
  status.settlementPending = status.settlementPending || unwritten;
  status.queueLength = queue_.size();
  status.receiptOpen = receiptOpen_;
  status.stalled = noProgressSince_ && PrinterSession::Clock::now() - *noProgressSince_ >
                                           options_.stallAfter + allowance_;
  return status;
}

void PrinterWorker::Loop(std::stop_token stop) {
  while (!stop.stop_requested()) {
    const auto now = PrinterSession::Clock::now();
    const auto wakeAt = session_.IsOpen() ? lastActivity_ + options_.pollInterval
                                          : std::max(now, session_.NextAttempt());
    std::shared_ptr<Job> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_until(lock, stop, wakeAt, [&] { return !queue_.empty(); });
      if (stop.stop_requested()) break;
      if (!queue_.empty()) {
        job = std::move(queue_.front());
        queue_.pop_front();
      }
    }
    if (job) {
      Changed();  // the queue is shorter
      StepBegins(job->Allowance());
      RunJob(job);
      StepEnds();
    } else if (!session_.IsOpen()) {
      if (PrinterSession::Clock::now() >= session_.NextAttempt()) {
        StepBegins({});
        const int32_t code = session_.EnsureOpen(false);
        if (IsUnendedPrintout(code)) context_.unendedPrintout = true;
        // The printer's state is shown at once, not after the first idle interval.
        if (code == TAURAVAT_OK && Settle()) Poll();
        StepEnds();
      }
    } else if (PrinterSession::Clock::now() >= lastActivity_ + options_.pollInterval) {
      StepBegins({});
      // Entries the journal could not take are tried again at every idle round.
      Settle();
      if (session_.IsOpen()) Poll();
      StepEnds();
    }
    Publish();
  }
}

void PrinterWorker::RunJob(const std::shared_ptr<Job>& job) {
  int32_t code = session_.EnsureOpen(true);
  if (code == TAURAVAT_OK && !Settle()) {
    code = session_.LastFault();
    if (session_.IsOpen()) {
      job->Refuse(context_, TAURAVAT_OK, "an earlier receipt of this printer cannot be settled");
      return;
    }
  }
  if (code != TAURAVAT_OK) {
    context_.Count(code);
    job->Refuse(context_, code, "the printer cannot be reached");
    return;
  }
  job->Run(context_);
  lastActivity_ = PrinterSession::Clock::now();
}

// Before new work: receipts whose outcome was lost are decided first. Whenever the port
// was lost there may be one, so the journal is asked after every reopening.
// A journal that cannot be read or written settles nothing: no new work until it can. What
// it could not take is written first, then whatever is left unsettled is settled.
bool PrinterWorker::Settle() {
  if (!journal_.Unwritten(settings_.name).empty()) settlementPending_ = true;
  if (!settlementPending_) return true;
  std::vector<JournalEntry> settled;
  try {
    journal_.WriteUnwritten(settings_.name);
    if (!SettleUnsettled(session_, journal_, settings_.name, settled)) return false;
  } catch (const JournalError& e) {
    LogWarning("printer " + settings_.name + ": " + e.what());
    return false;
  }
  for (const JournalEntry& entry : settled) metrics_.ReceiptSettled(settings_.name, entry.state);
  settlementPending_ = false;
  return true;
}

int32_t PrinterWorker::Poll() {
  const int32_t code = session_.Backend().ReceiptConditions();
  {
    std::lock_guard lock(mutex_);
    published_.conditions = code;
  }
  if (IsConnectionFault(code)) {
    context_.Count(code);
    session_.Lost(code);
  }
  if (IsUnendedPrintout(code)) context_.unendedPrintout = true;
  lastActivity_ = PrinterSession::Clock::now();
  return code;
}

// The time without progress runs from the first step that did not make any, so a printer
// that fails every poll on a printout that never ends stays stalled between the polls.
void PrinterWorker::StepBegins(std::chrono::milliseconds allowance) {
  context_.unendedPrintout = false;
  std::lock_guard lock(mutex_);
  if (!noProgressSince_) noProgressSince_ = PrinterSession::Clock::now();
  allowance_ = allowance;
}

void PrinterWorker::StepEnds() {
  std::lock_guard lock(mutex_);
  if (!context_.unendedPrintout) noProgressSince_.reset();
  allowance_ = {};
}

void PrinterWorker::Publish() {
  if (!session_.IsOpen() || !journal_.Unwritten(settings_.name).empty()) {
    settlementPending_ = true;
  }
  {
    std::lock_guard lock(mutex_);
    PublishLocked();
  }
  Changed();
}

void PrinterWorker::Changed() {
  if (feed_ != nullptr) feed_->PrinterChanged(settings_.name);
}

void PrinterWorker::PublishLocked() {
  published_.connected = session_.IsOpen();
  published_.lastFault = session_.LastFault();
  published_.settlementPending = settlementPending_;
  if (context_.conditions) published_.conditions = std::exchange(context_.conditions, {});
  if (session_.IsOpen()) {
    published_.facts = session_.Facts();
    published_.nextAttemptIn.reset();
  } else {
    published_.nextAttemptIn = std::max(std::chrono::milliseconds{0},
                                        std::chrono::duration_cast<std::chrono::milliseconds>(
                                            session_.NextAttempt() - PrinterSession::Clock::now()));
  }
}

}  // namespace tauravatd
