// What the program's exit status says about a driver result code.
#pragma once

#include <cstdint>

namespace tauravat::cli {

enum ExitStatus : int {
  kExitOk = 0,
  kExitRefused = 1,        // the printer (or the driver's checks) refused the operation
  kExitUsage = 2,          // the command line or an input file is wrong; nothing was sent
  kExitCommunication = 3,  // the printer could not be reached: port, cable, speed
  kExitInternal = 4,       // the driver failed inside (result 999), or was called wrongly
};

// 20 and 21 (time-outs), 114 (no port), 99, 90 to 95 (the port would not open), 5 and the
// operating system's numbers from opening the port are communication failures. The OS
// numbers are recognised by having no message of their own in the driver's table; 26
// (the printer's refusal byte 200) is the one code without a message that the printer
// itself produces.
ExitStatus ExitStatusFor(int32_t code);

// The status as the "error" field of the JSON output: "refused", "usage",
// "communication", "internal" (and "" for success).
const char* ExitStatusName(ExitStatus status);

}  // namespace tauravat::cli
