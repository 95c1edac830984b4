#include "exit_status.hpp"

#include "handle_text.hpp"

namespace tauravat::cli {
namespace {

bool HasOwnMessage(int32_t code) {
  return MessageUtf8(code) != MessageUtf8(-1);
}

}  // namespace

ExitStatus ExitStatusFor(int32_t code) {
  switch (code) {
    case 0:
      return kExitOk;
    case 5:
    case TAURAVAT_E_PORT_NOT_FOUND:
    case TAURAVAT_E_PORT_PERMISSION:
    case TAURAVAT_E_PORT_BUSY:
    case TAURAVAT_E_NOT_A_SERIAL_PORT:
    case TAURAVAT_E_PORT_VANISHED:
    case TAURAVAT_E_PORT_FAILED:
    case 20:
    case 21:
    case 99:
    case 114:
      return kExitCommunication;
    case 26:
      return kExitRefused;
    case 999:
    // The program's own mistakes in calling the library.
    case TAURAVAT_E_BUFFER_TOO_SMALL:
    case TAURAVAT_E_NULL_ARGUMENT:
    case TAURAVAT_E_REENTERED:
      return kExitInternal;
    default:
      break;
  }
  return HasOwnMessage(code) ? kExitRefused : kExitCommunication;
}

const char* ExitStatusName(ExitStatus status) {
  switch (status) {
    case kExitOk:
      return "";
    case kExitRefused:
      return "refused";
    case kExitUsage:
      return "usage";
    case kExitCommunication:
      return "communication";
    case kExitInternal:
      return "internal";
  }
  return "internal";
}

}  // namespace tauravat::cli
