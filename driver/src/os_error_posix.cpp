#include <cerrno>
#include <cstring>
#include <string>

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

int NativeOsError(uint32_t translated) {
  switch (translated) {
    case kErrorFileNotFound:
      return ENOENT;
    case kErrorAccessDenied:
      return EACCES;
    case kErrorInvalidHandle:
      return EBADF;
    case kErrorInvalidParameter:
      return EINVAL;
    default:
      return static_cast<int>(translated);
  }
}

int BusyNativeError() {
  return EBUSY;
}

PortFault ClassifyPortError(int native) {
  switch (native) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case EIO:           // a /dev/ttyS node without a UART behind it
    case ECONNREFUSED:  // nothing listens where a device server should
      return PortFault::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return PortFault::Permission;
    case EBUSY:
    case EWOULDBLOCK:  // flock held: another program has the port
      return PortFault::Busy;
    case EISDIR:
    case ENOTTY:
    case EBADF:
      return PortFault::NotSerial;
    default:
      return PortFault::Other;
  }
}

namespace {
// strerror_r comes in two shapes (GNU and XSI); each overload takes one.
[[maybe_unused]] std::string ErrorText(char* result, const char*) {
  return result;
}
[[maybe_unused]] std::string ErrorText(int result, const char* buffer) {
  return result == 0 ? buffer : std::string();
}
}  // namespace

std::string OsErrorText(int native) {
  char buffer[256] = {};
  std::string text = ErrorText(strerror_r(native, buffer, sizeof buffer), buffer);
  return text.empty() ? "error " + std::to_string(native) : text;
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
