#include "kestra/emu/models.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <string>

namespace kestra::emu {
namespace {

ModelInfo Older(int type, std::string_view name, uint8_t ident, std::optional<uint8_t> sub,
                RateFormat rates) {
  ModelInfo m;
  m.deviceType = type;
  m.name = name;
  m.identByte = ident;
  m.defaultSubType = sub;
  m.rates = rates;
  return m;
}

// TAURA II, TAURA F, the LUNO family and the unknown device share the newer command set.
ModelInfo Newer(int type, std::string_view name, uint8_t ident, uint8_t sub) {
  ModelInfo m = Older(type, name, ident, sub, RateFormat::kSevenRates);
  m.clockWithSeconds =
      type == 3 || type == 6 || type == 7 || type == 8 || type == kUnknownDeviceType;
  m.receiptExtras = type != 6;
  m.rateTotals = true;
  m.periodicReportByNumber = true;
  m.extendedStatus = true;
  m.seventhStatus = type >= 7;
  m.eighthStatus = type == 6 || type == 8;
  m.lockAndEuro = type >= 7;
  m.counters = type >= 7;
  return m;
}

const std::array<ModelInfo, 12>& Models() {
  static const std::array<ModelInfo, 12> models = {
      Older(0, "RX820A 5-stawkowa", 0x02, std::nullopt, RateFormat::kFourRates),
      Older(1, "RX820A 7-stawkowa", 0x11, std::nullopt, RateFormat::kSixRates),
      Older(2, "TAURA I generacji", 0x2C, std::nullopt, RateFormat::kSixRates),
      Newer(3, "TAURA II generacji", 0x2C, 0x01),
      Older(4, "RX820B 5-st. (apteczna)", 0x05, std::nullopt, RateFormat::kFourRates),
      Older(5, "RX820B 7-st. (apteczna)", 0x12, std::nullopt, RateFormat::kSixRates),
      Newer(6, "TAURA F (apteczna)", 0x12, 0x01),
      Newer(7, "KESTRA LUNO", 0x2C, 0x7C),
      Newer(8, "KESTRA LUNO F", 0x12, 0x7D),
      Newer(9, "KESTRA LUNO E", 0x2C, 0x80),
      Newer(10, "KESTRA LUNO EFV", 0x2C, 0x81),
      Newer(kUnknownDeviceType, "INNE URZĄDZENIE", 0x33, 0x00),
  };
  return models;
}

constexpr std::array<std::string_view, 12> kShortNames = {
    "rx820a-4", "rx820a-6", "taura1", "taura2", "rx820b-4", "rx820b-6",
    "taura-f",  "luno",     "luno-f", "luno-e", "luno-efv", "unknown"};

}  // namespace

int RateCount(RateFormat format) {
  switch (format) {
    case RateFormat::kFourRates:
      return 4;
    case RateFormat::kSixRates:
      return 6;
    case RateFormat::kSevenRates:
      return 7;
  }
  return 7;
}

const ModelInfo& ModelForType(int deviceType) {
  const auto& models = Models();
  if (deviceType < 0 || deviceType > 10) return models[kUnknownDeviceType];
  return models[static_cast<std::size_t>(deviceType)];
}

std::optional<int> ParseModel(std::string_view text) {
  int code = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
  if (ec == std::errc{} && end == text.data() + text.size()) {
    if (code >= 0 && code <= kUnknownDeviceType) return code;
    return std::nullopt;
  }
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::size_t i = 0; i < kShortNames.size(); ++i) {
    if (kShortNames[i] == lower) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::string_view ModelShortName(int deviceType) {
  if (deviceType < 0 || deviceType > kUnknownDeviceType) return kShortNames[kUnknownDeviceType];
  return kShortNames[static_cast<std::size_t>(deviceType)];
}

}  // namespace kestra::emu
