#include "device_type.hpp"

#include <array>
#include <string_view>

namespace tauravat::cli {

std::optional<int> DeviceTypeFromName(const std::string& name) {
  static constexpr std::array<std::string_view, 12> kNames = {
      "RX820A 5-stawkowa",
      "RX820A 7-stawkowa",
      "TAURA I generacji",
      "TAURA II generacji",
      "RX820B 5-st. (apteczna)",
      "RX820B 7-st. (apteczna)",
      "TAURA F (apteczna)",
      "KESTRA LUNO",
      "KESTRA LUNO F",
      "KESTRA LUNO E",
      "KESTRA LUNO EFV",
      "INNE URZ\xA5"
      "DZENIE",
  };
  for (size_t code = 0; code < kNames.size(); ++code) {
    if (name == kNames[code]) return static_cast<int>(code);
  }
  return std::nullopt;
}

bool IsExtendedModel(int deviceType) {
  return deviceType == 3 || deviceType == 7 || deviceType == 8 || deviceType == 11;
}

int MinimumNameCharacters(int deviceType) {
  return IsExtendedModel(deviceType) ? 5 : 10;
}

}  // namespace tauravat::cli
