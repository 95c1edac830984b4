#include <cerrno>

#include "os_error.hpp"
#include "serial_device.hpp"

namespace kestradr {

uint32_t TranslateOsError(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
      return kErrorInvalidParameter;
    default:
      return static_cast<uint32_t>(error);
  }
}

uint32_t LastOsError() {
  return TranslateOsError(errno);
}

void ClearLastOsError() {
  errno = 0;
}

void SetInvalidHandleError() {
  errno = EBADF;
}

}  // namespace kestradr
