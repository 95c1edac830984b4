#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kestra::emu {

// What came out of the print head, one UTF-8 line at a time. Keeps the most recent
// lines in memory (bounded, so a long-running emulator does not grow without end) and
// hands every line to an optional sink, e.g. a file.
class PaperRoll {
 public:
  using Sink = std::function<void(const std::string& line)>;

  explicit PaperRoll(std::size_t keptLines = 5000) : keptLines_(keptLines) {}

  void SetSink(Sink sink) { sink_ = std::move(sink); }
  void Print(const std::string& line);

  std::size_t PrintedLines() const { return printed_; }
  std::vector<std::string> Lines() const { return {lines_.begin(), lines_.end()}; }
  // The kept lines joined with '\n', each line terminated.
  std::string Text() const;

 private:
  std::size_t keptLines_;
  std::size_t printed_ = 0;
  std::deque<std::string> lines_;
  Sink sink_;
};

}  // namespace kestra::emu
