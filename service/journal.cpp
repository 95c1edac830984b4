#include "journal.hpp"

#include <algorithm>
#include <array>
#include <ctime>
#include <exception>

#include <nlohmann/json.hpp>

#include "sqlite.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

constexpr std::array<std::string_view, 6> kStateNames = {"queued",    "printing", "printed",
                                                         "cancelled", "failed",   "unknown"};

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS receipts (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  id TEXT NOT NULL UNIQUE,
  printer TEXT NOT NULL,
  request TEXT NOT NULL,
  state TEXT NOT NULL,
  total INTEGER NOT NULL,
  attempts INTEGER NOT NULL DEFAULT 1,
  counter_before INTEGER,
  end_sent INTEGER NOT NULL DEFAULT 0,
  settle_pending INTEGER NOT NULL DEFAULT 0,
  receipt_number INTEGER,
  codes TEXT NOT NULL DEFAULT '[]',
  note TEXT NOT NULL DEFAULT '',
  created TEXT NOT NULL,
  updated TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS receipts_by_state ON receipts (printer, state);
)sql";

constexpr const char* kColumns =
    "seq, id, printer, request, state, total, attempts, counter_before, end_sent, "
    "settle_pending, receipt_number, codes, note, created, updated";

std::string CodesJson(const std::vector<CodeSeen>& codes) {
  json list = json::array();
  for (const CodeSeen& seen : codes) list.push_back({{"step", seen.step}, {"code", seen.code}});
  return list.dump();
}

std::vector<CodeSeen> ParseCodes(const std::string& text) {
  std::vector<CodeSeen> codes;
  for (const json& seen : json::parse(text)) {
    codes.push_back({seen.at("step").get<std::string>(), seen.at("code").get<int32_t>()});
  }
  return codes;
}

std::optional<int32_t> Narrow(std::optional<int64_t> value) {
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<int64_t> Widen(std::optional<int32_t> value) {
  if (!value) return std::nullopt;
  return int64_t{*value};
}

JournalEntry ReadEntry(const sqlite::Statement& row) {
  JournalEntry entry;
  entry.seq = row.Integer(0);
  entry.id = row.Text(1);
  entry.printer = row.Text(2);
  entry.request = row.Text(3);
  const auto state = ParseState(row.Text(4));
  if (!state) throw JournalError("journal entry " + entry.id + " has an unknown state");
  entry.state = *state;
  entry.total = row.Integer(5);
  entry.attempts = static_cast<int32_t>(row.Integer(6));
  entry.counterBefore = Narrow(row.OptionalInteger(7));
  entry.endSent = row.Integer(8) != 0;
  entry.settlePending = row.Integer(9) != 0;
  entry.receiptNumber = Narrow(row.OptionalInteger(10));
  entry.codes = ParseCodes(row.Text(11));
  entry.note = row.Text(12);
  entry.created = row.Text(13);
  entry.updated = row.Text(14);
  return entry;
}

// Runs a journal operation, turning SQLite's failures into the journal's own.
template <class Fn>
auto Guard(Fn&& fn) {
  try {
    return fn();
  } catch (const sqlite::SqliteError& e) {
    throw JournalError(e.what());
  }
}

}  // namespace

std::string_view StateName(ReceiptState state) {
  return kStateNames[static_cast<size_t>(state)];
}

std::optional<ReceiptState> ParseState(std::string_view name) {
  for (size_t i = 0; i < kStateNames.size(); ++i) {
    if (kStateNames[i] == name) return static_cast<ReceiptState>(i);
  }
  return std::nullopt;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

Journal::Journal(const std::string& path, std::function<std::string()> now) : now_(std::move(now)) {
  Guard([&] {
    db_ = std::make_unique<sqlite::Database>(path);
    // Every commit reaches the disk before the service goes on to the printer; the lock
    // is taken at the first access and kept, so a second service cannot share the file.
    db_->Execute("PRAGMA locking_mode = EXCLUSIVE");
    db_->Execute("PRAGMA journal_mode = WAL");
    db_->Execute("PRAGMA synchronous = FULL");
    db_->Execute(kSchema);
    db_->Execute(CommandSchema());
    return 0;
  });
}

Journal::~Journal() = default;

std::pair<JournalEntry, bool> Journal::Admit(const std::string& id, const std::string& printer,
                                             const std::string& request, int64_t total) {
  std::unique_lock lock(mutex_);
  auto admitted = Guard([&]() -> std::pair<JournalEntry, bool> {
    if (auto existing = FindLocked(id)) return {std::move(*existing), false};
    const std::string now = now_();
    sqlite::Statement insert(*db_,
                             "INSERT INTO receipts (id, printer, request, state, total, created, "
                             "updated) VALUES (?, ?, ?, 'queued', ?, ?, ?)");
    insert.Bind(1, id).Bind(2, printer).Bind(3, request).Bind(4, total).Bind(5, now).Bind(6, now);
    insert.Run();
    return {*FindLocked(id), true};
  });
  lock.unlock();
  if (admitted.second) Changed(admitted.first);
  return admitted;
}

JournalEntry Journal::Requeue(const std::string& id, const std::string& note) {
  std::unique_lock lock(mutex_);
  JournalEntry requeued = Guard([&] {
    sqlite::Statement update(*db_,
                             "UPDATE receipts SET state = 'queued', attempts = attempts + 1, "
                             "counter_before = NULL, end_sent = 0, settle_pending = 0, "
                             "receipt_number = NULL, codes = '[]', note = ?, updated = ? "
                             "WHERE id = ?");
    update.Bind(1, note).Bind(2, now_()).Bind(3, id);
    update.Run();
    auto entry = FindLocked(id);
    if (!entry) throw JournalError("no journal entry " + id + " to queue again");
    return std::move(*entry);
  });
  lock.unlock();
  Changed(requeued);
  return requeued;
}

void Journal::Save(JournalEntry& entry) {
  std::unique_lock lock(mutex_);
  const auto kept = std::find_if(unwritten_.begin(), unwritten_.end(),
                                 [&](const JournalEntry& e) { return e.id == entry.id; });
  try {
    SaveLocked(entry);
  } catch (const sqlite::SqliteError& e) {
    if (kept == unwritten_.end()) {
      unwritten_.push_back(entry);
    } else {
      *kept = entry;
    }
    throw JournalError(e.what());
  }
  if (kept != unwritten_.end()) unwritten_.erase(kept);
  lock.unlock();
  Changed(entry);
}

std::vector<std::string> Journal::Unwritten(const std::string& printer) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> ids;
  for (const JournalEntry& entry : unwritten_)
    if (entry.printer == printer) ids.push_back(entry.id);
  return ids;
}

void Journal::WriteUnwritten(const std::string& printer) {
  std::vector<JournalEntry> written;
  std::exception_ptr failure;
  {
    std::lock_guard lock(mutex_);
    for (auto entry = unwritten_.begin(); entry != unwritten_.end();) {
      if (entry->printer != printer) {
        ++entry;
        continue;
      }
      try {
        Guard([&] {
          SaveLocked(*entry);
          return 0;
        });
      } catch (...) {
        failure = std::current_exception();
        break;
      }
      written.push_back(*entry);
      entry = unwritten_.erase(entry);
    }
  }
  for (const JournalEntry& entry : written) Changed(entry);
  if (failure) std::rethrow_exception(failure);
}

void Journal::SaveLocked(JournalEntry& entry) {
  entry.updated = now_();
  sqlite::Statement update(*db_,
                           "UPDATE receipts SET state = ?, counter_before = ?, end_sent = ?, "
                           "settle_pending = ?, receipt_number = ?, codes = ?, note = ?, "
                           "updated = ? WHERE id = ?");
  update.Bind(1, StateName(entry.state))
      .Bind(2, Widen(entry.counterBefore))
      .Bind(3, int64_t{entry.endSent})
      .Bind(4, int64_t{entry.settlePending})
      .Bind(5, Widen(entry.receiptNumber))
      .Bind(6, CodesJson(entry.codes))
      .Bind(7, entry.note)
      .Bind(8, entry.updated)
      .Bind(9, entry.id);
  update.Run();
  if (sqlite3_changes(db_->Handle()) != 1) {
    throw JournalError("no journal entry " + entry.id + " to update");
  }
}

std::optional<JournalEntry> Journal::Find(const std::string& id) {
  std::lock_guard lock(mutex_);
  return Guard([&] { return FindLocked(id); });
}

std::optional<JournalEntry> Journal::FindLocked(const std::string& id) {
  sqlite::Statement query(*db_, std::string("SELECT ") + kColumns + " FROM receipts WHERE id = ?");
  query.Bind(1, id);
  if (!query.Step()) return std::nullopt;
  return ReadEntry(query);
}

std::vector<JournalEntry> Journal::Unsettled(const std::string& printer) {
  std::lock_guard lock(mutex_);
  return Guard([&] {
    sqlite::Statement query(*db_,
                            std::string("SELECT ") + kColumns +
                                " FROM receipts WHERE printer = ? AND (state = 'printing' "
                                "OR (state = 'unknown' AND settle_pending = 1)) ORDER BY seq");
    query.Bind(1, printer);
    std::vector<JournalEntry> entries;
    while (query.Step()) entries.push_back(ReadEntry(query));
    return entries;
  });
}

std::vector<JournalEntry> Journal::UnsettledOutside(const std::vector<std::string>& printers) {
  std::lock_guard lock(mutex_);
  return Guard([&] {
    sqlite::Statement query(*db_, std::string("SELECT ") + kColumns +
                                      " FROM receipts WHERE state = 'printing' OR (state = "
                                      "'unknown' AND settle_pending = 1) ORDER BY seq");
    std::vector<JournalEntry> entries;
    while (query.Step()) {
      JournalEntry entry = ReadEntry(query);
      if (std::find(printers.begin(), printers.end(), entry.printer) == printers.end()) {
        entries.push_back(std::move(entry));
      }
    }
    return entries;
  });
}

std::optional<EntryPage> Journal::List(const std::string& printer, const EntryFilter& filter) {
  std::lock_guard lock(mutex_);
  return Guard([&]() -> std::optional<EntryPage> {
    // The cursor is the admission order of the entry named: ids are the tills' own and
    // say nothing of order.
    std::optional<int64_t> beforeSeq;
    if (filter.before) {
      const auto cursor = FindLocked(*filter.before);
      if (!cursor || cursor->printer != printer) return std::nullopt;
      beforeSeq = cursor->seq;
    }
    std::string sql = std::string("SELECT ") + kColumns + " FROM receipts WHERE printer = ?";
    if (filter.state) sql += " AND state = ?";
    if (filter.createdSince) sql += " AND created >= ?";
    if (beforeSeq) sql += " AND seq < ?";
    sql += " ORDER BY seq DESC LIMIT ?";
    sqlite::Statement query(*db_, sql);
    int index = 1;
    query.Bind(index++, printer);
    if (filter.state) query.Bind(index++, StateName(*filter.state));
    if (filter.createdSince) query.Bind(index++, *filter.createdSince);
    if (beforeSeq) query.Bind(index++, *beforeSeq);
    // One more than the page: whether another page follows.
    query.Bind(index, static_cast<int64_t>(filter.limit) + 1);
    EntryPage page;
    while (query.Step()) {
      if (page.entries.size() == filter.limit) {
        page.more = true;
        break;
      }
      page.entries.push_back(ReadEntry(query));
    }
    return page;
  });
}

int Journal::FailQueued(const std::string& note) {
  std::lock_guard lock(mutex_);
  return Guard([&] {
    sqlite::Statement update(
        *db_, "UPDATE receipts SET state = 'failed', note = ?, updated = ? WHERE state = 'queued'");
    update.Bind(1, note).Bind(2, now_());
    update.Run();
    return sqlite3_changes(db_->Handle());
  });
}

}  // namespace tauravatd
