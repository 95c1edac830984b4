// The "operating system's error of that moment" the serial layer records, in the numbers
// the rest of the driver understands (2 not found, 5 access denied, 6 invalid handle, 87
// invalid parameter); other platform errors pass through unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace kestradr {

uint32_t LastOsError();
void ClearLastOsError();
// Leaves "invalid handle" as the error of the moment (a missing event or device).
void SetInvalidHandleError();
// Translates a platform error number (errno on POSIX).
uint32_t TranslateOsError(int error);

// What a user can do about a port that would not open or set up.
enum class PortFault { NotFound, Permission, Busy, NotSerial, Other };
// The platform's error number (errno, GetLastError) behind the driver's: the device
// source gave only the translated one. Exact where the translation kept the number.
int NativeOsError(uint32_t translated);
PortFault ClassifyPortError(int native);
// The platform's number for a device another client holds (a device server that hangs up
// on a second connection).
int BusyNativeError();
// The operating system's own text for `native`.
std::string OsErrorText(int native);

}  // namespace kestradr
