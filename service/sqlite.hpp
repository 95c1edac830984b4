// A thin RAII layer over SQLite: a connection and its prepared statements. Every failure
// throws SqliteError with SQLite's own message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tauravatd::sqlite {

struct SqliteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Database {
 public:
  explicit Database(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Execute(const std::string& sql);
  sqlite3* Handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::string_view text);
  Statement& Bind(int index, int64_t number);
  Statement& Bind(int index, std::optional<int64_t> number);

  // True while a row is there to read.
  bool Step();
  // Runs a statement that yields no rows.
  void Run();

  std::string Text(int column) const;
  int64_t Integer(int column) const;
  std::optional<int64_t> OptionalInteger(int column) const;

 private:
  [[noreturn]] void Fail(const std::string& what) const;

  Database& db_;
  sqlite3_stmt* statement_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool done_ = false;
};

}  // namespace tauravatd::sqlite
