// The handle interface's port codes: a failed open named by what the user can do about
// it, and the system's error behind it kept for the calling thread
// (tauravat_last_os_error), since a failed open leaves no handle to ask.
#pragma once

#include <cstdint>
#include <string>

#include "comm.hpp"

namespace kestradr {

struct OsErrorRecord {
  int32_t number = 0;
  std::string text;
};

// The calling thread's record.
OsErrorRecord& LastOsErrorRecord();

// `result` of a call on `link` as the handle interface answers it: a failed open (the
// legacy result, an OS number or 5) becomes its port code and the thread's record is
// set; any other result clears the record and stays. `wasOpen`: the handle had its port
// open before, so a port not found now has vanished.
int32_t HandlePortResult(const SerialLink& link, int32_t result, bool wasOpen);

}  // namespace kestradr
