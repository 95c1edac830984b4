#include "kestra/emu/paper_roll.hpp"

namespace kestra::emu {

void PaperRoll::Print(const std::string& line) {
  ++printed_;
  if (keptLines_ > 0) {
    if (lines_.size() == keptLines_) lines_.pop_front();
    lines_.push_back(line);
  }
  if (sink_) sink_(line);
}

std::string PaperRoll::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace kestra::emu
