#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "kestra/emu/paper_roll.hpp"

namespace kestra::emu {

// How long printing takes. A line is printed when either of its clocks runs out: the
// number of status polls (0x94/0x95) seen while it prints, or the time passed through
// Advance. A clock set to zero is off; with both off every line prints at once.
// A new document may first wait in memory (status 0x94 bit 1) for `startPolls` polls
// or `startDelay`, whichever comes first, before the printer starts it by itself.
struct PrintTiming {
  int pollsPerLine = 1;
  std::chrono::milliseconds timePerLine{0};
  int startPolls = 0;
  std::chrono::milliseconds startDelay{0};
};

// The print mechanism: a queue of lines in memory, the head, and the paper.
//
// States: idle (nothing queued), waiting (a document in memory, not yet started),
// printing, and stopped for paper. Whenever a line is due and there is no paper the
// mechanism stops; it restarts only on Resume() once paper is back, as a real printer
// does after the operator confirms the paper change. While stopped, "printing in
// progress" stays set, so supervision always sees the stopped printout as something to
// resume rather than as idle.
class PrintEngine {
 public:
  PrintEngine(PrintTiming timing, PaperRoll& roll) : timing_(timing), roll_(roll) {}

  void Enqueue(std::vector<std::string> lines);
  void OnStatusPoll();
  void Advance(std::chrono::milliseconds elapsed);
  void Resume();

  void SetPaper(bool in);
  // The paper runs out after this many more lines have been printed (none: never).
  void PaperEndsAfter(std::optional<int> lines) { linesUntilPaperEnd_ = lines; }

  bool PaperIn() const { return paperIn_; }
  bool DocumentWaiting() const;
  bool Printing() const { return state_ == State::kPrinting || state_ == State::kStopped; }
  bool StoppedForPaper() const { return state_ == State::kStopped; }
  std::size_t QueuedLines() const { return queue_.size(); }
  const PrintTiming& Timing() const { return timing_; }

 private:
  enum class State { kIdle, kWaiting, kPrinting, kStopped };

  void Start();
  void PrintDueLines();
  bool LineDone() const;
  void PrintOneLine();

  PrintTiming timing_;
  PaperRoll& roll_;
  State state_ = State::kIdle;
  std::deque<std::string> queue_;
  bool paperIn_ = true;
  std::optional<int> linesUntilPaperEnd_;
  int polls_ = 0;  // polls since the current line (or the wait) began
  std::chrono::milliseconds elapsed_{0};
};

}  // namespace kestra::emu
