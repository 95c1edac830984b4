#include "sqlite.hpp"

namespace tauravatd::sqlite {

Database::Database(const std::string& path) {
  const int result =
      sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (result != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(result);
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteError("cannot open the journal " + path + ": " + message);
  }
  sqlite3_extended_result_codes(db_, 1);
}

Database::~Database() {
  sqlite3_close(db_);
}

void Database::Execute(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw SqliteError(message + " (in: " + sql + ")");
  }
}

Statement::Statement(Database& db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &statement_,
                         nullptr) != SQLITE_OK) {
    Fail("prepare");
  }
}

Statement::~Statement() {
  sqlite3_finalize(statement_);
}

Statement& Statement::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    Fail("bind");
  }
  return *this;
}

Statement& Statement::Bind(int index, int64_t number) {
  if (sqlite3_bind_int64(statement_, index, number) != SQLITE_OK) Fail("bind");
  return *this;
}

Statement& Statement::Bind(int index, std::optional<int64_t> number) {
  const int result = number ? sqlite3_bind_int64(statement_, index, *number)
                            : sqlite3_bind_null(statement_, index);
  if (result != SQLITE_OK) Fail("bind");
  return *this;
}

bool Statement::Step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  Fail("step");
}

void Statement::Run() {
  while (Step()) {
  }
}

std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) return {};
  return {reinterpret_cast<const char*>(text),
          static_cast<size_t>(sqlite3_column_bytes(statement_, column))};
}

int64_t Statement::Integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::optional<int64_t> Statement::OptionalInteger(int column) const {
  if (sqlite3_column_type(statement_, column) == SQLITE_NULL) return std::nullopt;
  return Integer(column);
}

void Statement::Fail(const std::string& what) const {
  throw SqliteError("journal " + what + ": " + sqlite3_errmsg(db_.Handle()));
}

Transaction::Transaction(Database& db) : db_(db) {
  db_.Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    db_.Execute("ROLLBACK");
  } catch (const SqliteError&) {
    // Nothing left to undo: SQLite rolls back by itself on some failures.
  }
}

void Transaction::Commit() {
  db_.Execute("COMMIT");
  done_ = true;
}

}  // namespace tauravatd::sqlite
