#include "kestra/emu/models.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <string>

#include "device_models.hpp"

namespace kestra::emu {
namespace {

using kestradr::kDeviceModels;

// The emulator's half of a model: which optional commands its firmware answers. Who the
// model is (names, identification bytes, rate format) comes from the driver's table; a new
// model is a row there and a row here, in the same place.
struct Firmware {
  std::string_view shortName;
  uint8_t openSubTypeCode = 0x00;  // 0xFE's answer where the driver's row leaves it open
  bool clockWithSeconds = false;
  bool receiptExtras = false;
  bool rateTotals = false;
  bool periodicReportByNumber = false;
  bool extendedStatus = false;
  bool seventhStatus = false;
  bool eighthStatus = false;
  bool lockAndEuro = false;
  bool counters = false;
};

// clang-format off
constexpr std::array<Firmware, kestradr::kDeviceTypeCount> kFirmware = {{
  {.shortName = "rx820a-4"},
  {.shortName = "rx820a-6"},
  {.shortName = "taura1"},
  {.shortName = "taura2", .openSubTypeCode = 0x01, .clockWithSeconds = true,
   .receiptExtras = true, .rateTotals = true, .periodicReportByNumber = true,
   .extendedStatus = true},
  {.shortName = "rx820b-4"},
  {.shortName = "rx820b-6"},
  {.shortName = "taura-f", .openSubTypeCode = 0x01, .clockWithSeconds = true,
   .rateTotals = true, .periodicReportByNumber = true, .extendedStatus = true,
   .eighthStatus = true},
  {.shortName = "luno", .clockWithSeconds = true, .receiptExtras = true, .rateTotals = true,
   .periodicReportByNumber = true, .extendedStatus = true, .seventhStatus = true,
   .lockAndEuro = true, .counters = true},
  {.shortName = "luno-f", .clockWithSeconds = true, .receiptExtras = true,
   .rateTotals = true, .periodicReportByNumber = true, .extendedStatus = true,
   .seventhStatus = true, .eighthStatus = true, .lockAndEuro = true, .counters = true},
  {.shortName = "luno-e", .receiptExtras = true, .rateTotals = true,
   .periodicReportByNumber = true, .extendedStatus = true, .seventhStatus = true,
   .lockAndEuro = true, .counters = true},
  {.shortName = "luno-efv", .receiptExtras = true, .rateTotals = true,
   .periodicReportByNumber = true, .extendedStatus = true, .seventhStatus = true,
   .lockAndEuro = true, .counters = true},
  {.shortName = "unknown", .clockWithSeconds = true, .receiptExtras = true,
   .rateTotals = true, .periodicReportByNumber = true, .extendedStatus = true,
   .seventhStatus = true, .lockAndEuro = true, .counters = true},
}};
// clang-format on

constexpr bool FirmwareFollowsTheTable() {
  for (std::size_t i = 0; i < kFirmware.size(); ++i)
    if (kFirmware[i].shortName != kDeviceModels[i].shortName) return false;
  return true;
}
static_assert(FirmwareFollowsTheTable(), "one firmware row per model, in the table's order");

// What an unknown device answers to 0xFF unless told otherwise.
constexpr uint8_t kUnknownIdentByte = 0x33;

// The driver keeps model names in code page 1250; the emulator speaks UTF-8.
std::string Utf8Name(std::string_view cp1250) {
  struct Letter {
    unsigned char byte;
    const char* utf8;
  };
  static constexpr Letter kPolish[] = {
      {0xA5, "Ą"}, {0xB9, "ą"}, {0xC6, "Ć"}, {0xE6, "ć"}, {0xCA, "Ę"}, {0xEA, "ę"},
      {0xA3, "Ł"}, {0xB3, "ł"}, {0xD1, "Ń"}, {0xF1, "ń"}, {0xD3, "Ó"}, {0xF3, "ó"},
      {0x8C, "Ś"}, {0x9C, "ś"}, {0x8F, "Ź"}, {0x9F, "ź"}, {0xAF, "Ż"}, {0xBF, "ż"}};
  std::string text;
  for (const char c : cp1250) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
      continue;
    }
    const char* letter = "?";
    for (const Letter& l : kPolish)
      if (l.byte == byte) letter = l.utf8;
    text += letter;
  }
  return text;
}

RateFormat FormatOf(const kestradr::DeviceModel& row) {
  if (row.rateCount == 4) return RateFormat::kFourRates;
  if (row.rateCount == 6) return RateFormat::kSixRates;
  return RateFormat::kSevenRates;
}

std::optional<uint8_t> SubTypeAnswer(const kestradr::DeviceModel& row, const Firmware& firmware) {
  switch (row.subType) {
    case kestradr::SubType::None:
    case kestradr::SubType::Refused:
      return std::nullopt;
    case kestradr::SubType::Is:
      return row.subTypeCode;
    case kestradr::SubType::Other:
    case kestradr::SubType::Unknown:
      return firmware.openSubTypeCode;
  }
  return std::nullopt;
}

struct NamedModel {
  std::string name;
  ModelInfo info;
};

NamedModel Build(std::size_t type) {
  const kestradr::DeviceModel& row = kDeviceModels[type];
  const Firmware& firmware = kFirmware[type];
  NamedModel model{Utf8Name(row.name), {}};
  ModelInfo& m = model.info;
  m.deviceType = static_cast<int>(type);
  m.identByte = row.subType == kestradr::SubType::Unknown ? kUnknownIdentByte : row.family;
  m.defaultSubType = SubTypeAnswer(row, firmware);
  m.rates = FormatOf(row);
  m.clockWithSeconds = firmware.clockWithSeconds;
  m.receiptExtras = firmware.receiptExtras;
  m.rateTotals = firmware.rateTotals;
  m.periodicReportByNumber = firmware.periodicReportByNumber;
  m.extendedStatus = firmware.extendedStatus;
  m.seventhStatus = firmware.seventhStatus;
  m.eighthStatus = firmware.eighthStatus;
  m.lockAndEuro = firmware.lockAndEuro;
  m.counters = firmware.counters;
  return model;
}

const std::array<NamedModel, kestradr::kDeviceTypeCount>& Models() {
  static const auto models = [] {
    std::array<NamedModel, kestradr::kDeviceTypeCount> all;
    for (std::size_t i = 0; i < all.size(); ++i) {
      all[i] = Build(i);
      all[i].info.name = all[i].name;  // the array is static: the view stays valid
    }
    return all;
  }();
  return models;
}

static_assert(kUnknownDeviceType == kestradr::kOtherDevice);

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

int ModelCount() {
  return kestradr::kDeviceTypeCount;
}

const ModelInfo& ModelForType(int deviceType) {
  const auto& models = Models();
  if (deviceType < 0 || deviceType >= ModelCount()) return models[kUnknownDeviceType].info;
  return models[static_cast<std::size_t>(deviceType)].info;
}

std::optional<int> ParseModel(std::string_view text) {
  int code = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
  if (ec == std::errc{} && end == text.data() + text.size()) {
    if (code >= 0 && code < ModelCount()) return code;
    return std::nullopt;
  }
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const kestradr::DeviceModel& row : kDeviceModels)
    if (row.shortName == lower) return row.type;
  return std::nullopt;
}

std::string_view ModelShortName(int deviceType) {
  if (deviceType < 0 || deviceType >= ModelCount())
    return kDeviceModels[kUnknownDeviceType].shortName;
  return kDeviceModels[static_cast<std::size_t>(deviceType)].shortName;
}

}  // namespace kestra::emu
