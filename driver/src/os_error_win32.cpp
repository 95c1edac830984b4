// On Windows the serial layer's numbers are GetLastError's own: nothing to translate.
#include <windows.h>

#include <string>

#include "os_error.hpp"

namespace kestradr {

uint32_t TranslateOsError(int error) {
  return static_cast<uint32_t>(error);
}

int NativeOsError(uint32_t translated) {
  return static_cast<int>(translated);
}

int BusyNativeError() {
  return ERROR_SHARING_VIOLATION;
}

PortFault ClassifyPortError(int native) {
  switch (native) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return PortFault::NotFound;
    case ERROR_ACCESS_DENIED:  // COM ports open exclusively: this is another holder
    case ERROR_SHARING_VIOLATION:
      return PortFault::Busy;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_FUNCTION:
      return PortFault::NotSerial;
    default:
      return PortFault::Other;
  }
}

std::string OsErrorText(int native) {
  // Wide, then UTF-8: the handle interface's text is UTF-8 whatever the ANSI code page.
  wchar_t wide[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(native), 0, wide, 512, nullptr);
  while (length > 0 && (wide[length - 1] == L'\n' || wide[length - 1] == L'\r' ||
                        wide[length - 1] == L' ' || wide[length - 1] == L'.'))
    --length;
  if (length == 0) return "error " + std::to_string(native);
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text.data(), bytes, nullptr,
                        nullptr);
  return text;
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
