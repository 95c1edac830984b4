// The receipt journal: every receipt the service accepts, from before the printer is
// touched to its outcome, in SQLite (write-ahead log, every commit synced to disk).
// What it holds decides that a receipt id is printed at most once, even across a crash
// or a power loss.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tauravatd {

namespace sqlite {
class Database;
}

enum class ReceiptState {
  kQueued,     // accepted, waiting for its printer
  kPrinting,   // on its way to the printer
  kPrinted,    // completed by the printer: a sale
  kCancelled,  // begun on the printer and cancelled there: no sale
  kFailed,     // refused before the printer began it: no sale
  kUnknown,    // the end was sent and the printer could not tell what became of it
};

std::string_view StateName(ReceiptState state);
std::optional<ReceiptState> ParseState(std::string_view name);

// The time now, UTC, as the journal writes it: "2024-05-01T08:30:00Z".
std::string UtcNow();

// An outcome the service can act on again: no sale was made, so the receipt may be
// printed when its id comes back.
inline bool EndedWithoutSale(ReceiptState state) {
  return state == ReceiptState::kCancelled || state == ReceiptState::kFailed;
}

struct CodeSeen {
  std::string step;  // "begin", "items[2]", "end", "cancel", "settle", ...
  int32_t code = 0;

  friend bool operator==(const CodeSeen&, const CodeSeen&) = default;
};

struct JournalEntry {
  int64_t seq = 0;  // order of admission
  std::string id;
  std::string printer;
  std::string request;  // canonical JSON (receipt_request.hpp)
  ReceiptState state = ReceiptState::kQueued;
  int64_t total = 0;  // grosz
  int32_t attempts = 1;
  // The printer's receipt counter before this receipt began, and whether its end was
  // sent: together they settle a receipt whose outcome was lost.
  std::optional<int32_t> counterBefore;
  bool endSent = false;
  bool settlePending = false;  // unknown now, to be settled when the printer answers
  std::optional<int32_t> receiptNumber;
  std::vector<CodeSeen> codes;  // of the latest attempt; the first is what decided it
  std::string note;             // English, why the state is what it is when the codes do not say
  std::string created;          // UTC, ISO 8601
  std::string updated;
};

// Which of a printer's entries a listing gives: a page of them, newest first.
struct EntryFilter {
  std::optional<ReceiptState> state;
  std::optional<std::string> createdSince;  // UTC, written as `created` is
  std::optional<std::string> before;        // an id: only entries admitted before it
  size_t limit = 100;                       // entries in the page
};

struct EntryPage {
  std::vector<JournalEntry> entries;
  bool more = false;  // entries past the page match too
};

// A command that came through the broker (docs/fleet.md): ids of their own, each run at
// most once. `answer` is set when it has run.
struct CommandEntry {
  std::string id;
  std::string printer;
  std::string request;  // the message as it came
  std::optional<std::string> answer;
  std::string created;
  std::string updated;
};

struct JournalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Journal {
 public:
  // Opens or creates the journal. Only one process may hold it: a second one gets a
  // JournalError (the journal is locked exclusively).
  // `now` gives the time written as `created` and `updated` (UtcNow; tests set their own).
  explicit Journal(const std::string& path, std::function<std::string()> now = UtcNow);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Stores a new queued entry for `id`; when the id is known already, nothing is stored
  // and the entry as it is comes back with false.
  std::pair<JournalEntry, bool> Admit(const std::string& id, const std::string& printer,
                                      const std::string& request, int64_t total);
  // A receipt that ended without a sale, or an unknown one the caller chose to print
  // again, goes back to the queue as a new attempt; the codes are the new attempt's.
  JournalEntry Requeue(const std::string& id, const std::string& note);
  // Writes every changeable field of `entry` (found by its id). When the file cannot take
  // it (a full disk, a read-only file system), the entry is kept in memory as unwritten,
  // in place of an earlier unwritten state of it, and JournalError is thrown; a later
  // write of the entry that succeeds drops it.
  void Save(JournalEntry& entry);
  // The ids of `printer`'s entries kept unwritten, oldest first.
  std::vector<std::string> Unwritten(const std::string& printer);
  // Writes `printer`'s unwritten entries, oldest first. JournalError at the first that
  // still cannot be written; it and those after it stay kept.
  void WriteUnwritten(const std::string& printer);

  std::optional<JournalEntry> Find(const std::string& id);
  // Entries of `printer` whose outcome is still to be settled with it: left printing, or
  // unknown with settlement pending; oldest first.
  std::vector<JournalEntry> Unsettled(const std::string& printer);
  // Entries of printers that are no longer configured and left unsettled.
  std::vector<JournalEntry> UnsettledOutside(const std::vector<std::string>& printers);
  // The entries of `printer` that pass `filter`, newest first; nothing when `filter.before`
  // names no entry of the printer.
  std::optional<EntryPage> List(const std::string& printer, const EntryFilter& filter);
  // At start-up: receipts still queued never reached a printer; they become failed.
  int FailQueued(const std::string& note);

  // Stores a new command, not yet run; a known id comes back as it is, with false.
  std::pair<CommandEntry, bool> AdmitCommand(const std::string& id, const std::string& printer,
                                             const std::string& request);
  // What the command answered, written once it has run.
  void FinishCommand(const std::string& id, const std::string& answer);
  // A command that did not run (its printer was busy): its id may come again.
  void ForgetCommand(const std::string& id);

  // Called with each entry as it is after Admit (a new one), Requeue and Save, outside the
  // journal's lock. Set once, before the journal is shared.
  void OnChange(std::function<void(const JournalEntry&)> observer) {
    observer_ = std::move(observer);
  }

 private:
  static const char* CommandSchema();
  std::optional<CommandEntry> FindCommandLocked(const std::string& id);
  std::optional<JournalEntry> FindLocked(const std::string& id);
  void SaveLocked(JournalEntry& entry);

  void Changed(const JournalEntry& entry) const {
    if (observer_) observer_(entry);
  }

  std::function<std::string()> now_;
  std::function<void(const JournalEntry&)> observer_;
  std::mutex mutex_;
  std::unique_ptr<sqlite::Database> db_;
  std::vector<JournalEntry> unwritten_;  // in the order they first failed
};

}  // namespace tauravatd
