// The "operating system's error of that moment" the serial layer records, in the numbers
// the rest of the driver understands (2 not found, 5 access denied, 6 invalid handle, 87
// invalid parameter); other platform errors pass through unchanged.
#pragma once

#include <cstdint>

namespace kestradr {

uint32_t LastOsError();
void ClearLastOsError();
// Leaves "invalid handle" as the error of the moment (a missing event or device).
void SetInvalidHandleError();
// Translates a platform error number (errno on POSIX).
uint32_t TranslateOsError(int error);

}  // namespace kestradr
