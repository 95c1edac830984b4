#include "faulty_disk.hpp"

#include <stdexcept>

namespace tauravatd::testing {

// What SQLite holds for a file opened through the faulty disk: the file as the real file
// system opened it follows this struct in the same allocation (szOsFile covers both).
struct FaultyFile {
  sqlite3_file base;
  FaultyDisk* disk;
  sqlite3_file* real;

  static FaultyFile* Of(sqlite3_file* file) { return reinterpret_cast<FaultyFile*>(file); }
  static sqlite3_file* Real(sqlite3_file* file) { return Of(file)->real; }
  static const sqlite3_io_methods* Methods(sqlite3_file* file) { return Real(file)->pMethods; }
  static int WriteError(sqlite3_file* file) { return Of(file)->disk->WriteError(); }
};

namespace {

using F = FaultyFile;

// Every method passes on to the real file, writes and truncations only while no fault is set.
constexpr sqlite3_io_methods kMethods = {
    3,
    [](sqlite3_file* f) { return F::Methods(f)->xClose(F::Real(f)); },
    [](sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
      return F::Methods(f)->xRead(F::Real(f), data, amount, offset);
    },
    [](sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
      if (const int error = F::WriteError(f); error != SQLITE_OK) return error;
      return F::Methods(f)->xWrite(F::Real(f), data, amount, offset);
    },
    [](sqlite3_file* f, sqlite3_int64 size) {
      if (const int error = F::WriteError(f); error != SQLITE_OK) return error;
      return F::Methods(f)->xTruncate(F::Real(f), size);
    },
    [](sqlite3_file* f, int flags) { return F::Methods(f)->xSync(F::Real(f), flags); },
    [](sqlite3_file* f, sqlite3_int64* size) { return F::Methods(f)->xFileSize(F::Real(f), size); },
    [](sqlite3_file* f, int lock) { return F::Methods(f)->xLock(F::Real(f), lock); },
    [](sqlite3_file* f, int lock) { return F::Methods(f)->xUnlock(F::Real(f), lock); },
    [](sqlite3_file* f, int* out) { return F::Methods(f)->xCheckReservedLock(F::Real(f), out); },
    [](sqlite3_file* f, int op, void* arg) {
      return F::Methods(f)->xFileControl(F::Real(f), op, arg);
    },
    [](sqlite3_file* f) { return F::Methods(f)->xSectorSize(F::Real(f)); },
    [](sqlite3_file* f) { return F::Methods(f)->xDeviceCharacteristics(F::Real(f)); },
    // Shared memory and memory mapping: the journal, locked exclusively, uses neither, but
    // the real file has them.
    [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
      return F::Methods(f)->xShmMap(F::Real(f), page, size, extend, out);
    },
    [](sqlite3_file* f, int offset, int n, int flags) {
      return F::Methods(f)->xShmLock(F::Real(f), offset, n, flags);
    },
    [](sqlite3_file* f) { F::Methods(f)->xShmBarrier(F::Real(f)); },
    [](sqlite3_file* f, int remove) { return F::Methods(f)->xShmUnmap(F::Real(f), remove); },
    [](sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
      return F::Methods(f)->xFetch(F::Real(f), offset, amount, out);
    },
    [](sqlite3_file* f, sqlite3_int64 offset, void* data) {
      return F::Methods(f)->xUnfetch(F::Real(f), offset, data);
    },
};

FaultyDisk* DiskOf(sqlite3_vfs* vfs) {
  return static_cast<FaultyDisk*>(vfs->pAppData);
}

}  // namespace

FaultyDisk::FaultyDisk() {
  real_ = sqlite3_vfs_find(nullptr);
  if (real_ == nullptr || real_->iVersion < 2) throw std::runtime_error("no SQLite file system");
  vfs_ = *real_;
  vfs_.iVersion = 2;
  vfs_.szOsFile = static_cast<int>(sizeof(FaultyFile)) + real_->szOsFile;
  vfs_.pNext = nullptr;
  vfs_.zName = "tauravatd-faulty-disk";
  vfs_.pAppData = this;
  vfs_.xOpen = [](sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                  int* outFlags) {
    FaultyDisk* disk = DiskOf(vfs);
    FaultyFile* self = FaultyFile::Of(file);
    self->disk = disk;
    self->real = reinterpret_cast<sqlite3_file*>(self + 1);
    const int result = disk->real_->xOpen(disk->real_, name, self->real, flags, outFlags);
    self->base.pMethods = self->real->pMethods != nullptr ? &kMethods : nullptr;
    return result;
  };
  vfs_.xDelete = [](sqlite3_vfs* vfs, const char* name, int sync) {
    return DiskOf(vfs)->real_->xDelete(DiskOf(vfs)->real_, name, sync);
  };
  vfs_.xAccess = [](sqlite3_vfs* vfs, const char* name, int flags, int* out) {
    return DiskOf(vfs)->real_->xAccess(DiskOf(vfs)->real_, name, flags, out);
  };
  vfs_.xFullPathname = [](sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return DiskOf(vfs)->real_->xFullPathname(DiskOf(vfs)->real_, name, size, out);
  };
  vfs_.xRandomness = [](sqlite3_vfs* vfs, int size, char* out) {
    return DiskOf(vfs)->real_->xRandomness(DiskOf(vfs)->real_, size, out);
  };
  vfs_.xSleep = [](sqlite3_vfs* vfs, int micros) {
    return DiskOf(vfs)->real_->xSleep(DiskOf(vfs)->real_, micros);
  };
  vfs_.xCurrentTime = [](sqlite3_vfs* vfs, double* now) {
    return DiskOf(vfs)->real_->xCurrentTime(DiskOf(vfs)->real_, now);
  };
  vfs_.xGetLastError = [](sqlite3_vfs* vfs, int size, char* out) {
    return DiskOf(vfs)->real_->xGetLastError(DiskOf(vfs)->real_, size, out);
  };
  vfs_.xCurrentTimeInt64 = [](sqlite3_vfs* vfs, sqlite3_int64* now) {
    return DiskOf(vfs)->real_->xCurrentTimeInt64(DiskOf(vfs)->real_, now);
  };
  vfs_.xSetSystemCall = nullptr;
  vfs_.xGetSystemCall = nullptr;
  vfs_.xNextSystemCall = nullptr;
  if (sqlite3_vfs_register(&vfs_, 1) != SQLITE_OK) throw std::runtime_error("vfs_register");
}

FaultyDisk::~FaultyDisk() {
  sqlite3_vfs_unregister(&vfs_);
}

int FaultyDisk::WriteError() {
  switch (fault_.load()) {
    case Fault::kNone:
      return SQLITE_OK;
    case Fault::kFull:
      ++refused_;
      return SQLITE_FULL;
    case Fault::kReadOnly:
      ++refused_;
      return SQLITE_IOERR_WRITE;
  }
  return SQLITE_OK;
}

}  // namespace tauravatd::testing
