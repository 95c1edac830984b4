// Exported port operations and raw sequences.
#include "legacy_call.hpp"
#include "tauravat.h"

using kestradr::OnDefaultPrinter;
using kestradr::Printer;

extern "C" {

TAURAVAT_API int32_t TAURAVAT_CALL OpenPort(uint8_t port, uint32_t baud, uint16_t writeTimeout,
                                            uint16_t readTimeout) {
  return OnDefaultPrinter(
      [&](Printer& p) { return p.InitPort(port, baud, writeTimeout, readTimeout); });
}

TAURAVAT_API int32_t TAURAVAT_CALL ClosePort(void) {
  return OnDefaultPrinter([](Printer& p) { return p.DonePort(); });
}

TAURAVAT_API int32_t TAURAVAT_CALL RSSequence(uint8_t command, int32_t replyLength,
                                              int32_t parameterLength, uint8_t* reply,
                                              const uint8_t* parameters) {
  return OnDefaultPrinter([&](Printer& p) {
    return p.RSSequence(command, replyLength, parameterLength, reply, parameters);
  });
}

}  // extern "C"
