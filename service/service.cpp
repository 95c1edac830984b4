#include "service.hpp"

#include <future>

#include "log.hpp"

namespace tauravatd {
namespace {

// When a busy printer's caller should ask again: answering it is cheap, and a seat or a
// printer that moves again is seen within a few seconds.
constexpr int kBusyRetrySeconds = 5;

}  // namespace

Service::Service(ServiceConfig config, Driver& driver)
    : config_(std::move(config)), driver_(driver), journal_(config_.journalPath), answers_(driver) {
  if (const int failed = journal_.FailQueued("the service stopped before the receipt reached "
                                             "its printer");
      failed > 0) {
    LogNote(std::to_string(failed) + " receipt(s) left queued by the last run are now failed");
  }
  journal_.OnChange([this](const JournalEntry& entry) { feed_.EntryChanged(entry); });
  std::vector<std::string> names;
  for (const PrinterSettings& settings : config_.printers) names.push_back(settings.name);
  for (const JournalEntry& entry : journal_.UnsettledOutside(names)) {
    LogWarning("receipt " + entry.id + " of printer " + entry.printer +
               ", which is no longer configured, is still to be settled (" +
               std::string(StateName(entry.state)) + ")");
  }
  for (PrinterSettings settings : config_.printers) {
    settings.printLimitMs = static_cast<uint32_t>(config_.printLimit.count());
    workers_.push_back(std::make_unique<PrinterWorker>(settings, driver_.MakeBackend(settings),
                                                       journal_, metrics_, driver_, config_.worker,
                                                       &feed_));
    waiting_[settings.name] = std::make_unique<WaitingRoom>(config_.waitingPerPrinter);
  }
  streams_ = std::make_unique<EventStreams>(*this, config_.eventStreams, config_.keepAlive);
}

Service::~Service() {
  Stop();
}

void Service::Start() {
  for (const auto& worker : workers_) worker->Start();
}

void Service::Stop() {
  streams_->Stop();
  for (const auto& worker : workers_) worker->Stop();
}

PrinterWorker* Service::Find(const std::string& name) {
  for (const auto& worker : workers_)
    if (worker->Name() == name) return worker.get();
  return nullptr;
}

std::variant<WaitingRoom::Seat, Answer> Service::TakeSeat(const PrinterWorker& worker) {
  std::string why;
  if (worker.Status().stalled) {
    why = "printer " + worker.Name() + " has made no progress for over " +
          std::to_string(config_.worker.stallAfter.count()) +
          " ms (stalled: its printout does not end)";
  } else if (auto seat = waiting_.at(worker.Name())->TryEnter()) {
    return std::move(*seat);
  } else {
    why = "printer " + worker.Name() + " already has " + std::to_string(config_.waitingPerPrinter) +
          " requests waiting";
  }
  tauravatd::Answer busy = answers_.Error(
      ErrorKind::kPrinterBusy, 503, why + "; this request was not taken, send it again later");
  busy.retryAfter = kBusyRetrySeconds;
  return busy;
}

std::variant<OperationResult, Answer> Service::RunOperation(const std::string& printer,
                                                            OperationJob::Operation operation,
                                                            std::chrono::milliseconds allowance) {
  PrinterWorker* worker = Find(printer);
  if (worker == nullptr) {
    return answers_.Error(ErrorKind::kNotFound, 404, "no printer named \"" + printer + "\"");
  }
  auto seat = TakeSeat(*worker);
  if (auto* busy = std::get_if<tauravatd::Answer>(&seat)) return std::move(*busy);
  auto job = std::make_shared<OperationJob>(std::move(operation), allowance);
  auto result = job->Result();
  if (!worker->Submit(job)) {
    return answers_.Error(ErrorKind::kQueueFull, 503, "the printer's queue is full");
  }
  if (result.wait_for(config_.operationWait) != std::future_status::ready) {
    return answers_.Error(ErrorKind::kPrinter, 504,
                          "the printer has not finished within the wait; the request stays "
                          "queued and runs in its turn");
  }
  try {
    return result.get();
  } catch (const std::exception& e) {
    return answers_.Error(ErrorKind::kInternal, 500, e.what());
  }
}

}  // namespace tauravatd
