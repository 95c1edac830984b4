// Exported connection, identification, preconditions, print supervision and call-backs.
#include "legacy_call.hpp"
#include "messages.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

using namespace kestradr;

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL CommunicationInit(uint8_t port, uint32_t baud,
                                                                uint32_t timeout) {
  return OnDefaultPrinter([&](Printer& p) { return p.CommunicationInit(port, baud, timeout); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL CommunicationEnd(void) {
  return OnDefaultPrinter([](Printer& p) { return p.CommunicationEnd(); });
}

TAURAVAT_API int32_t TAURAVAT_CALL DeviceName(std::string& name) {
  return OnDefaultPrinter([&](Printer& p) { return p.DeviceName(name); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pDeviceName(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return OnDefaultPrinter([&](Printer& p) {
    std::string name;
    const int32_t result = p.PlainDeviceName(name);
    if (result == TAURAVAT_OK) CopyOut(buffer, name);
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReceiptConditions(void) {
  return OnDefaultPrinter([](Printer& p) { return p.ReceiptConditions(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PrintResume(void) {
  return OnDefaultPrinter([](Printer& p) { return p.PrintResume(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PrintControl(int32_t Mode, uint8_t DeviceType) {
  return OnDefaultPrinter(
      [&](Printer& p) { return p.PrintControl(static_cast<PrintWait>(Mode), DeviceType); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL
SetCallbacks(TauravatProgressCallback progress, TauravatMessagePumpCallback messagePump) {
  return OnDefaultPrinter([&](Printer& p) -> int32_t {
    if (progress != nullptr)
      p.SetProgressCallback([progress](const std::string& text) { progress(text.c_str()); });
    else
      p.SetProgressCallback({});
    if (messagePump != nullptr)
      p.SetMessagePumpCallback([messagePump] { messagePump(); });
    else
      p.SetMessagePumpCallback({});
    return TAURAVAT_OK;
  });
}
