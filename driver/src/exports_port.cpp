// The exported port operations: the module's open and close behind the exception guard.
#include "comm.hpp"
#include "export_guard.hpp"
#include "tauravat.h"

extern "C" {

TAURAVAT_API int32_t TAURAVAT_CALL OpenPort(uint8_t port, uint32_t baud, uint16_t writeTimeout,
                                            uint16_t readTimeout) {
  return kestradr::Guarded(
      [&] { return kestradr::InitPort(port, baud, writeTimeout, readTimeout); });
}

TAURAVAT_API int32_t TAURAVAT_CALL ClosePort(void) {
  return kestradr::Guarded([] { return kestradr::DonePort(); });
}

}  // extern "C"
