// A fresh directory under the system's temporary one, for a test's journal.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace tauravatd::testing {

// A fresh directory under the system's temporary one, removed with the object.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& prefix) {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDirectory() { std::filesystem::remove_all(path_); }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace tauravatd::testing
