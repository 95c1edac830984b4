#include "exit_status.hpp"

#include <array>
#include <string_view>

#include "tauravat.h"

namespace tauravat::cli {
namespace {

bool HasOwnMessage(int32_t code) {
  // Room for the longest message (code 20) and its NUL.
  std::array<char, 1024> text{};
  std::array<char, 1024> unknown{};
  pErrMessage(code, text.data());
  pErrMessage(-1, unknown.data());
  return std::string_view(text.data()) != std::string_view(unknown.data());
}

}  // namespace

ExitStatus ExitStatusFor(int32_t code) {
  switch (code) {
    case 0:
      return kExitOk;
    case 5:
    case 20:
    case 21:
    case 99:
    case 114:
      return kExitCommunication;
    case 26:
      return kExitRefused;
    case 999:
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
