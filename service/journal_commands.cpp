// The journal's commands: a table of their own, so that a command's id never meets a
// receipt's, and a listing of receipts never shows a command.
#include "journal.hpp"
#include "sqlite.hpp"

namespace tauravatd {
namespace {

template <class Fn>
auto Guarded(Fn&& fn) {
  try {
    return fn();
  } catch (const sqlite::SqliteError& e) {
    throw JournalError(e.what());
  }
}

}  // namespace

const char* Journal::CommandSchema() {
  return R"sql(
CREATE TABLE IF NOT EXISTS commands (
  id TEXT PRIMARY KEY,
  printer TEXT NOT NULL,
  request TEXT NOT NULL,
  done INTEGER NOT NULL DEFAULT 0,
  answer TEXT NOT NULL DEFAULT '',
  created TEXT NOT NULL,
  updated TEXT NOT NULL
);
)sql";
}

std::optional<CommandEntry> Journal::FindCommandLocked(const std::string& id) {
  sqlite::Statement query(
      *db_,
      "SELECT id, printer, request, done, answer, created, updated FROM commands WHERE id = ?");
  query.Bind(1, id);
  if (!query.Step()) return std::nullopt;
  CommandEntry entry{query.Text(0), query.Text(1), query.Text(2),
                     std::nullopt,  query.Text(5), query.Text(6)};
  if (query.Integer(3) != 0) entry.answer = query.Text(4);
  return entry;
}

std::pair<CommandEntry, bool> Journal::AdmitCommand(const std::string& id,
                                                    const std::string& printer,
                                                    const std::string& request) {
  std::lock_guard lock(mutex_);
  return Guarded([&]() -> std::pair<CommandEntry, bool> {
    if (auto existing = FindCommandLocked(id)) return {std::move(*existing), false};
    const std::string now = now_();
    sqlite::Statement insert(
        *db_,
        "INSERT INTO commands (id, printer, request, created, updated) VALUES (?, ?, ?, ?, ?)");
    insert.Bind(1, id).Bind(2, printer).Bind(3, request).Bind(4, now).Bind(5, now);
    insert.Run();
    return {*FindCommandLocked(id), true};
  });
}

void Journal::FinishCommand(const std::string& id, const std::string& answer) {
  std::lock_guard lock(mutex_);
  Guarded([&] {
    sqlite::Statement update(*db_,
                             "UPDATE commands SET done = 1, answer = ?, updated = ? WHERE id = ?");
    update.Bind(1, answer).Bind(2, now_()).Bind(3, id);
    update.Run();
    return 0;
  });
}

void Journal::ForgetCommand(const std::string& id) {
  std::lock_guard lock(mutex_);
  Guarded([&] {
    sqlite::Statement remove(*db_, "DELETE FROM commands WHERE id = ? AND done = 0");
    remove.Bind(1, id);
    remove.Run();
    return 0;
  });
}

}  // namespace tauravatd
