#include "receipt_desk.hpp"

#include <algorithm>
#include <chrono>

#include "receipt_job.hpp"
#include "receipt_request.hpp"
#include "receipt_total.hpp"
#include "sale_check.hpp"

namespace tauravatd {

Answer ReceiptDesk::Post(const std::string& printer, std::string_view body) {
  std::optional<WaitingRoom::Seat> seat;  // held until the answer
  auto admitted = Enter(printer, body, &seat);
  if (auto* answer = std::get_if<Answer>(&admitted)) return std::move(*answer);
  const Admitted& receipt = std::get<Admitted>(admitted);
  return Await(receipt.id, receipt.outcome, receipt.fresh);
}

std::variant<Answer, ReceiptDesk::Admitted> ReceiptDesk::Admit(const std::string& printer,
                                                               std::string_view body) {
  return Enter(printer, body, nullptr);
}

std::variant<Answer, ReceiptDesk::Admitted> ReceiptDesk::Enter(
    const std::string& printer, std::string_view body, std::optional<WaitingRoom::Seat>* seat) {
  const Answers& answers = service_.Answer();
  PrinterWorker* worker = service_.Find(printer);
  if (worker == nullptr) {
    return answers.Error(ErrorKind::kNotFound, 404, "no printer named \"" + printer + "\"");
  }
  auto parsed = ParseReceiptRequest(body);
  if (const auto* error = std::get_if<RequestError>(&parsed)) return answers.Invalid(*error);
  ReceiptRequest& request = std::get<ReceiptRequest>(parsed);
  const std::string id = request.id;
  // Checked again by the worker just before printing, with what the printer says then.
  const auto facts = worker->Status().facts;
  if (const auto error = CheckSale(request, facts ? &*facts : nullptr)) {
    return answers.Invalid(*error);
  }
  const std::string canonical = CanonicalJson(request);
  // The journal holds an outcome of this printer it could not write: until it can, the
  // printer takes no new work, and the ids it holds cannot be answered.
  if (const auto held = service_.ReceiptJournal().Unwritten(printer); !held.empty()) {
    return JournalUnavailable("the journal cannot be written: receipt " + held.front() +
                              " of printer " + printer + " waits to be written");
  }
  // Held until the answer: a request that would wait beyond the printer's seats is
  // refused before anything is journalled or queued.
  if (seat != nullptr) {
    auto taken = service_.TakeSeat(*worker);
    if (auto* busy = std::get_if<tauravatd::Answer>(&taken)) return std::move(*busy);
    seat->emplace(std::move(std::get<WaitingRoom::Seat>(taken)));
  }

  std::shared_future<JournalEntry> outcome;
  bool fresh = true;
  {
    std::lock_guard lock(admission_);
    ForgetFinished();
    try {
      auto [entry, created] =
          service_.ReceiptJournal().Admit(request.id, printer, canonical, ReceiptTotal(request));
      if (!created) {
        if (entry.printer != printer || entry.request != canonical) {
          return answers.Error(ErrorKind::kIdConflict, 409,
                               "receipt " + entry.id + " was sent to printer " + entry.printer +
                                   " with a different body",
                               "id");
        }
        if (const auto waiting = inFlight_.find(entry.id); waiting != inFlight_.end()) {
          if (waiting->second.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            // Finished since the journal was read: its outcome is the current one.
            entry = waiting->second.get();
          } else {
            outcome = waiting->second;
            fresh = false;
          }
        }
        if (!outcome.valid()) {
          if (entry.state == ReceiptState::kUnknown && entry.settlePending) {
            return Refusal(entry, ErrorKind::kStillSettling);
          }
          if (entry.state == ReceiptState::kUnknown && !request.retryUnknown) {
            return Refusal(entry, ErrorKind::kUnknownOutcome);
          }
          if (entry.state != ReceiptState::kUnknown && !EndedWithoutSale(entry.state)) {
            // Printed, or still on its way after a restart (settled when the printer answers).
            return answers.ReceiptAnswer(entry, false);
          }
          // No sale was made, or the caller takes the risk of an unknown one: print it.
          entry = service_.ReceiptJournal().Requeue(
              entry.id, entry.state == ReceiptState::kUnknown
                            ? "printed again at the caller's request (retry_unknown)"
                            : "");
        }
      }
      if (!outcome.valid()) {
        auto job = std::make_shared<ReceiptJob>(entry, std::move(request));
        outcome = job->Outcome().share();
        if (!worker->Submit(job)) {
          entry.state = ReceiptState::kFailed;
          entry.note = "the printer's queue is full or the service is stopping";
          service_.ReceiptJournal().Save(entry);
          return answers.Error(ErrorKind::kQueueFull, 503, entry.note);
        }
        inFlight_[entry.id] = outcome;
      }
    } catch (const JournalError& e) {
      return JournalUnavailable(e.what());
    }
  }
  return Admitted{id, outcome, fresh};
}

Answer ReceiptDesk::Await(const std::string& id, const std::shared_future<JournalEntry>& outcome,
                          bool fresh) {
  const Answers& answers = service_.Answer();
  try {
    if (outcome.wait_for(service_.Config().receiptWait) == std::future_status::ready) {
      return answers.ReceiptAnswer(outcome.get(), fresh);
    }
    // Still queued or printing: the entry says where it is.
    if (const auto entry = service_.ReceiptJournal().Find(id)) {
      return answers.ReceiptAnswer(*entry, fresh);
    }
    return answers.Error(ErrorKind::kInternal, 500, "receipt " + id + " left the journal");
  } catch (const JournalError& e) {
    return JournalUnavailable(e.what());
  }
}

Answer ReceiptDesk::JournalUnavailable(std::string detail) const {
  Answer answer = service_.Answer().Error(ErrorKind::kJournal, 503, std::move(detail));
  const auto round = std::chrono::ceil<std::chrono::seconds>(service_.Config().worker.pollInterval);
  answer.retryAfter = static_cast<int>(std::max<int64_t>(1, round.count()));
  return answer;
}

Answer ReceiptDesk::Refusal(const JournalEntry& entry, ErrorKind kind) const {
  Answer answer = service_.Answer().ReceiptAnswer(entry, false);
  Answer error = service_.Answer().Error(kind, 409, entry.note);
  answer.status = error.status;
  answer.body["error"] = std::move(error.body["error"]);
  return answer;
}

void ReceiptDesk::ForgetFinished() {
  std::erase_if(inFlight_, [](const auto& item) {
    return item.second.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  });
}

Answer ReceiptDesk::Get(const std::string& printer, const std::string& id) {
  const Answers& answers = service_.Answer();
  if (service_.Find(printer) == nullptr) {
    return answers.Error(ErrorKind::kNotFound, 404, "no printer named \"" + printer + "\"");
  }
  std::optional<JournalEntry> entry;
  try {
    const auto held = service_.ReceiptJournal().Unwritten(printer);
    if (std::find(held.begin(), held.end(), id) != held.end()) {
      return JournalUnavailable("the journal cannot be written: what became of receipt " + id +
                                " waits to be written");
    }
    entry = service_.ReceiptJournal().Find(id);
  } catch (const JournalError& e) {
    return JournalUnavailable(e.what());
  }
  if (!entry || entry->printer != printer) {
    return answers.Error(ErrorKind::kNotFound, 404, "no receipt " + id + " for printer " + printer);
  }
  return {200, answers.Entry(*entry)};
}

Answer ReceiptDesk::List(const std::string& printer, const QueryParameters& query) {
  const Answers& answers = service_.Answer();
  if (service_.Find(printer) == nullptr) {
    return answers.Error(ErrorKind::kNotFound, 404, "no printer named \"" + printer + "\"");
  }
  auto parsed = ParseReceiptQuery(query);
  if (const auto* error = std::get_if<RequestError>(&parsed)) return answers.Invalid(*error);
  const EntryFilter& filter = std::get<EntryFilter>(parsed);
  std::optional<EntryPage> page;
  try {
    page = service_.ReceiptJournal().List(printer, filter);
  } catch (const JournalError& e) {
    return JournalUnavailable(e.what());
  }
  if (!page) {
    return answers.Invalid(
        {0, "before", "no receipt " + *filter.before + " for printer " + printer});
  }
  nlohmann::json receipts = nlohmann::json::array();
  for (const JournalEntry& entry : page->entries) receipts.push_back(answers.Entry(entry));
  nlohmann::json next = nullptr;
  if (page->more) next = page->entries.back().id;
  return {200, {{"receipts", std::move(receipts)}, {"next", std::move(next)}}};
}

}  // namespace tauravatd
