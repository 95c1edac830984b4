#include "kestra/emu/print_engine.hpp"

namespace kestra::emu {

void PrintEngine::Enqueue(std::vector<std::string> lines) {
  if (lines.empty()) return;
  for (auto& line : lines) queue_.push_back(std::move(line));
  if (state_ != State::kIdle) return;
  state_ = State::kWaiting;
  polls_ = 0;
  elapsed_ = {};
  if (timing_.startPolls <= 0 && timing_.startDelay.count() <= 0) Start();
}

void PrintEngine::OnStatusPoll() {
  ++polls_;
  if (state_ == State::kWaiting) {
    if (timing_.startPolls > 0 && polls_ >= timing_.startPolls) Start();
  } else if (state_ == State::kPrinting) {
    PrintDueLines();
  }
}

void PrintEngine::Advance(std::chrono::milliseconds elapsed) {
  if (elapsed.count() <= 0) return;
  elapsed_ += elapsed;
  if (state_ == State::kWaiting) {
    if (timing_.startDelay.count() > 0 && elapsed_ >= timing_.startDelay) Start();
  } else if (state_ == State::kPrinting) {
    PrintDueLines();
  }
}

void PrintEngine::Resume() {
  if (state_ == State::kStopped && paperIn_) {
    Start();
  } else if (state_ == State::kWaiting) {
    Start();
  }
}

void PrintEngine::SetPaper(bool in) {
  paperIn_ = in;
}

bool PrintEngine::DocumentWaiting() const {
  switch (state_) {
    case State::kIdle:
      return false;
    case State::kPrinting:
      return queue_.size() > 1;  // more than the line under the head
    case State::kWaiting:
    case State::kStopped:
      return !queue_.empty();
  }
  return false;
}

void PrintEngine::Start() {
  state_ = State::kPrinting;
  polls_ = 0;
  elapsed_ = {};
  PrintDueLines();
}

bool PrintEngine::LineDone() const {
  const bool byPolls = timing_.pollsPerLine > 0 && polls_ >= timing_.pollsPerLine;
  const bool byTime = timing_.timePerLine.count() > 0 && elapsed_ >= timing_.timePerLine;
  const bool instant = timing_.pollsPerLine <= 0 && timing_.timePerLine.count() <= 0;
  return instant || byPolls || byTime;
}

void PrintEngine::PrintDueLines() {
  while (state_ == State::kPrinting) {
    if (queue_.empty()) {
      state_ = State::kIdle;
      return;
    }
    if (!paperIn_) {
      state_ = State::kStopped;
      return;
    }
    if (!LineDone()) return;
    PrintOneLine();
  }
}

void PrintEngine::PrintOneLine() {
  roll_.Print(queue_.front());
  queue_.pop_front();
  // Time already spent beyond this line carries over, so a long Advance prints several.
  if (timing_.timePerLine.count() > 0 && elapsed_ >= timing_.timePerLine) {
    elapsed_ -= timing_.timePerLine;
  } else {
    elapsed_ = {};
  }
  polls_ = 0;
  if (linesUntilPaperEnd_) {
    if (--*linesUntilPaperEnd_ <= 0) {
      paperIn_ = false;
      linesUntilPaperEnd_.reset();
    }
  }
}

}  // namespace kestra::emu
