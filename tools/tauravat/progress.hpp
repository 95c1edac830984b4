// The progress line on a terminal: the driver's caption of the running operation, a
// spinner and the seconds it has taken, redrawn on standard error while the driver works.
#pragma once

#include <string>

#include "tauravat.h"

namespace tauravat::cli {

class Progress {
 public:
  // Draws only when standard error is a terminal.
  explicit Progress(std::string codeset);
  // Clears the line.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
};

// The handle's progress call-back (tauravat_options.progress): shows the caption while a
// Progress lives, does nothing otherwise.
void TAURAVAT_CALL ShowCaption(void* user, const char* utf8);

// Takes the progress line off the screen before other output; it comes back with the
// next operation's caption.
void ClearProgressLine();

}  // namespace tauravat::cli
