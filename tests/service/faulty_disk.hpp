// The journal's disk failing on purpose, in process: an SQLite file system (VFS) over the
// default one whose writes fail while a fault is set, as they do on a full disk (SQLITE_FULL)
// or on a file system remounted read-only (an I/O error). It is the default file system for
// its lifetime, so every journal opened meanwhile writes through it.
#pragma once

#include <sqlite3.h>

#include <atomic>

namespace tauravatd::testing {

class FaultyDisk {
 public:
  enum class Fault { kNone, kFull, kReadOnly };

  FaultyDisk();
  ~FaultyDisk();
  FaultyDisk(const FaultyDisk&) = delete;
  FaultyDisk& operator=(const FaultyDisk&) = delete;

  // From now on every write fails with `fault` (kNone: writes work again).
  void Set(Fault fault) { fault_ = fault; }
  // The writes refused since the disk was made.
  int Refused() const { return refused_; }

 private:
  friend struct FaultyFile;
  // The error a write gets now, SQLITE_OK when it may go through.
  int WriteError();

  sqlite3_vfs* real_ = nullptr;
  sqlite3_vfs vfs_{};
  std::atomic<Fault> fault_{Fault::kNone};
  std::atomic<int> refused_{0};
};

}  // namespace tauravatd::testing
