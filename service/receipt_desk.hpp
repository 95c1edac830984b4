// Where receipts come in: the id decides whether a body is new, the same again (its
// stored outcome, nothing printed), a conflict, or a retry of a receipt that made no sale.
#pragma once

#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "answers.hpp"
#include "journal.hpp"
#include "receipt_query.hpp"
#include "service.hpp"

namespace tauravatd {

class ReceiptDesk {
 public:
  explicit ReceiptDesk(Service& service) : service_(service) {}

  // A receipt on its way to its printer; its outcome comes later.
  struct Admitted {
    std::string id;
    std::shared_future<JournalEntry> outcome;
    bool fresh = true;  // this request queued it (not a duplicate of one in hand)
  };

  Answer Post(const std::string& printer, std::string_view body);
  // What Post does before it waits, without a seat among the waiting requests (the
  // broker's messages wait in its session, not on a thread): the answer when there is one
  // now, or the receipt admitted. Either way the journal holds the id when it returns.
  std::variant<Answer, Admitted> Admit(const std::string& printer, std::string_view body);
  Answer Get(const std::string& printer, const std::string& id);
  // A page of the printer's entries, newest first (receipt_query.hpp).
  Answer List(const std::string& printer, const QueryParameters& query);

 private:
  // Admit, taking a seat into `seat` when given.
  std::variant<Answer, Admitted> Enter(const std::string& printer, std::string_view body,
                                       std::optional<WaitingRoom::Seat>* seat);
  // Waits for a receipt in the queue or at its printer, up to the receipt wait.
  Answer Await(const std::string& id, const std::shared_future<JournalEntry>& outcome, bool fresh);
  // A known id that is not printed again: the entry with why not.
  Answer Refusal(const JournalEntry& entry, ErrorKind kind) const;
  // Drops the outcomes already delivered (call with admission_ held).
  void ForgetFinished();
  // 503 `journal`: the journal cannot be written now; its printer tries again at its
  // next idle round, which Retry-After tells.
  Answer JournalUnavailable(std::string detail) const;

  Service& service_;
  std::mutex admission_;  // one decision per id at a time
  std::map<std::string, std::shared_future<JournalEntry>> inFlight_;
};

}  // namespace tauravatd
