#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestra::emu {

// Device type code of a device that is not one of the known printers. The codes of the
// models are 0 .. ModelCount() - 1, this one among them: a new model takes the next code.
inline constexpr int kUnknownDeviceType = 11;

enum class RateFormat {
  kFourRates,   // 0x70 / 0x44: one byte per rate, whole percent, 0xFF reserved
  kSixRates,    // 0xD0 / 0xD4: two bytes high first, 0xFF00 reserved
  kSevenRates,  // 0xD1 / 0xD5: two bytes high first, 0x8000 reserved, 0x4000 exempt
};

int RateCount(RateFormat format);

// What one printer model is and which optional commands it understands.
struct ModelInfo {
  int deviceType = 7;
  std::string_view name;
  uint8_t identByte = 0x2C;               // data byte of 0xFF
  std::optional<uint8_t> defaultSubType;  // first data byte of 0xFE; none = 0xFE refused
  RateFormat rates = RateFormat::kSevenRates;
  bool clockWithSeconds = false;        // 0x40
  bool receiptExtras = false;           // packages 0x17, subtotal 0x80, payments 0x81/0x82
  bool rateTotals = false;              // 0xDA
  bool periodicReportByNumber = false;  // 0x31
  bool extendedStatus = false;          // 0x5F, 0x50
  bool seventhStatus = false;           // 0xF3
  bool eighthStatus = false;            // 0x5D
  bool lockAndEuro = false;             // 0xF5 (0x60 and 0x5E answer on every model)
  bool counters = false;                // 0xF7
};

// How many device type codes the driver's model table holds.
int ModelCount();

// The model of a device type code, or the unknown device for a code outside the table.
const ModelInfo& ModelForType(int deviceType);

// Accepts a device type code ("7"), a short model name ("luno-f", case-insensitive) or
// "unknown"; nothing when the text names no model.
std::optional<int> ParseModel(std::string_view text);

// Short names accepted by ParseModel, indexed by device type code ("unknown" for
// kUnknownDeviceType and for a code outside the table).
std::string_view ModelShortName(int deviceType);

}  // namespace kestra::emu
