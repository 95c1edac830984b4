#include "port_failure.hpp"

#include "tauravat.h"

namespace kestradr {

OsErrorRecord& LastOsErrorRecord() {
  thread_local OsErrorRecord record;
  return record;
}

namespace {

int32_t CodeOf(PortFault fault, bool wasOpen) {
  switch (fault) {
    case PortFault::NotFound:
      return wasOpen ? TAURAVAT_E_PORT_VANISHED : TAURAVAT_E_PORT_NOT_FOUND;
    case PortFault::Permission:
      return TAURAVAT_E_PORT_PERMISSION;
    case PortFault::Busy:
      return TAURAVAT_E_PORT_BUSY;
    case PortFault::NotSerial:
      return TAURAVAT_E_NOT_A_SERIAL_PORT;
    case PortFault::Other:
      break;
  }
  return TAURAVAT_E_PORT_FAILED;
}

}  // namespace

int32_t HandlePortResult(const SerialLink& link, int32_t result, bool wasOpen) {
  OsErrorRecord& record = LastOsErrorRecord();
  const auto& failure = link.LastOpenFailure();
  // Only the result the failed open gave: a call that went on after it (and failed
  // otherwise) answers its own code.
  if (result == TAURAVAT_OK || !failure || failure->result != result) {
    record = {};
    return result;
  }
  record = {failure->nativeError, OsErrorText(failure->nativeError)};
  return CodeOf(failure->fault, wasOpen);
}

}  // namespace kestradr
