// The progress line on a terminal: the driver's caption of the running operation, a
// spinner and the seconds it has taken, redrawn on standard error while the driver works.
#pragma once

#include <string>

namespace tauravat::cli {

class Progress {
 public:
  // Installs the driver's call-backs; draws only when standard error is a terminal.
  explicit Progress(std::string codeset);
  // Clears the line and removes the call-backs.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
};

// Takes the progress line off the screen before other output; it comes back with the
// next operation's caption.
void ClearProgressLine();

}  // namespace tauravat::cli
