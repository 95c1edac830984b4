// On Windows the serial layer's numbers are GetLastError's own: nothing to translate.
#include <windows.h>

#include "os_error.hpp"

namespace kestradr {

uint32_t TranslateOsError(int error) {
  return static_cast<uint32_t>(error);
}

uint32_t LastOsError() {
  return GetLastError();
}

void ClearLastOsError() {
  SetLastError(ERROR_SUCCESS);
}

void SetInvalidHandleError() {
  SetLastError(ERROR_INVALID_HANDLE);
}

}  // namespace kestradr
