// The service as a whole, without its HTTP transport: the journal, the metrics and one
// worker per printer, and the way a request reaches a worker and comes back.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "answers.hpp"
#include "change_feed.hpp"
#include "event_stream.hpp"
#include "journal.hpp"
#include "metrics.hpp"
#include "operation_job.hpp"
#include "printer_worker.hpp"
#include "report_times.hpp"
#include "service_config.hpp"
#include "waiting_room.hpp"

namespace tauravatd {

class Service {
 public:
  // Opens the journal (throws JournalError) and prepares a worker per printer. Receipts
  // a stopped service left queued never reached a printer: they become failed.
  Service(ServiceConfig config, Driver& driver);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  void Start();
  // Refuses what is queued, lets each printer finish the request in hand, stops.
  void Stop();

  const ServiceConfig& Config() const { return config_; }
  const Answers& Answer() const { return answers_; }
  Journal& ReceiptJournal() { return journal_; }
  Metrics& Counters() { return metrics_; }
  // Every change of a printer's status and of the journal's entries.
  ChangeFeed& Changes() { return feed_; }
  // The event streams open on the changes (GET /v1/events); Stop() ends them.
  EventStreams& Streams() { return *streams_; }
  // When this service last printed each printer's daily report (since it started).
  ReportTimes& DailyReports() { return dailyReports_; }

  PrinterWorker* Find(const std::string& name);
  const std::vector<std::unique_ptr<PrinterWorker>>& Workers() const { return workers_; }

  // A seat among the requests that wait for `worker`, or the answer for a request that
  // must not wait: 503 printer_busy when the seats are taken or the printer is stalled.
  std::variant<WaitingRoom::Seat, tauravatd::Answer> TakeSeat(const PrinterWorker& worker);

  // Runs `operation` on the printer's worker and waits for it; an error answer when the
  // printer is unknown, busy, its queue is full, or the wait runs out. `allowance`: see
  // Job::Allowance.
  std::variant<OperationResult, tauravatd::Answer> RunOperation(
      const std::string& printer, OperationJob::Operation operation,
      std::chrono::milliseconds allowance = {});

 private:
  ServiceConfig config_;
  Driver& driver_;
  ChangeFeed feed_;  // before whatever reports to it, so it outlives them
  Journal journal_;
  Metrics metrics_;
  Answers answers_;
  std::vector<std::unique_ptr<PrinterWorker>> workers_;
  std::map<std::string, std::unique_ptr<WaitingRoom>> waiting_;  // by printer
  ReportTimes dailyReports_;
  std::unique_ptr<EventStreams> streams_;
};

}  // namespace tauravatd
