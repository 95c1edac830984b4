// What the service reads in the driver's result codes (tauravat.h names them).
#pragma once

#include <cstdint>

#include "tauravat.h"

namespace tauravatd {

// The line or the port failed: the printer may not have seen or answered the last
// command. Operating-system errors from opening the port (below 100) count here too.
inline bool IsConnectionFault(int32_t code) {
  return code == TAURAVAT_E_SEND_TIMEOUT || code == TAURAVAT_E_RECEIVE_TIMEOUT ||
         code == TAURAVAT_E_NOT_INITIALISED ||
         (code > 0 && code < 100 && code != TAURAVAT_E_BAD_REPLY && code != TAURAVAT_E_NAK &&
          code != TAURAVAT_E_REFUSED);
}

// The printer still printed, or still held a document to print, when the print limit ran
// out: it has not finished what it was given.
inline bool IsUnendedPrintout(int32_t code) {
  return code == TAURAVAT_E_CHARS_IN_PRINT_BUFFER || code == TAURAVAT_E_DOCUMENT_IN_MEMORY;
}

}  // namespace tauravatd
