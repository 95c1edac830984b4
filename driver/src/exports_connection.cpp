// Exported connection, identification and article-name operations.
#include "article_name.hpp"
#include "comm.hpp"
#include "connection.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

using namespace kestradr;

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL CommunicationInit(uint8_t port, uint32_t baud,
                                                                uint32_t timeout) {
  return Guarded([&]() -> int32_t {
    // Recorded first: a failure below leaves the driver to reconnect with them later.
    ReadTimeout = static_cast<int32_t>(timeout);
    BaudRate = baud;
    PortNumber = port;
    ForgetConnection(true);
    if (const int32_t closed = DonePort(); closed != kOk) return closed;
    const auto seconds = static_cast<uint16_t>(timeout);
    if (const int32_t opened = InitPort(port, BaudRate, seconds, seconds); opened != kOk)
      return opened;
    const int32_t result = SettlePrinterAndIdentify();
    Connected = result == kOk;
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL CommunicationEnd(void) {
  return Guarded([&]() -> int32_t {
    DeviceType = kDeviceNone;
    if (const int32_t closed = DonePort(); closed != kOk) return closed;
    Connected = false;
    // Every later command answers 114 until the caller initialises again.
    PortNumber = 0;
    return kOk;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL DeviceName(std::string& name) {
  return Guarded([&]() -> int32_t {
    name.clear();
    if (const int32_t result = Prologue(true, false); result != kOk) return result;
    name = DeviceNameText(DeviceType);
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pDeviceName(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    if (const int32_t result = Prologue(true, false); result != kOk) return result;
    CopyOut(buffer, PlainDeviceNameText(DeviceType));
    return kOk;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL CharsInArticleName(const std::string& name) {
  return Guarded([&]() -> int32_t { return CountSignificantNameChars(name); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pCharsInArticleName(const char* name) {
  if (name == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t { return CountSignificantNameChars(name); });
}
