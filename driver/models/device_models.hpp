// The printer models the driver knows, one row per device type code: how the printer
// identifies itself, its names, and every feature a decision in the driver, the program
// or the command-line tool depends on. Adding a model is one row here and its firmware row
// in the emulator (emulator/src/models.cpp), which takes everything else from this one.
//
// Header only and free of the driver's internals, so the program and the tool read the
// same table (kestradr_models target); callers of the library read each row through
// tauravat_model_by_type (model_info.cpp). Names are code page 1250, short names ASCII.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kestradr {

// How command 0xFE (identify sub-type) decides between the models of one family.
enum class SubType : uint8_t {
  None,     // the family byte of 0xFF alone names the model
  Refused,  // the model refuses 0xFE (NAK): the oldest of its family
  Is,       // 0xFE answers `subTypeCode`
  Other,    // 0xFE answers a code no other row of the family claims
  Unknown,  // 0xFF answers a family byte no row claims
};

struct DeviceModel {
  uint8_t type = {};
  std::string_view name = {};       // as DeviceName gives it
  std::string_view plainName = {};  // as pDeviceName gives it
  std::string_view shortName = {};  // as the emulator's --model and the programs take it
  bool fiscal = {};                 // a fiscal printer (not some other device on the line)
  uint8_t family = {};              // the answer to 0xFF
  SubType subType = {};
  uint8_t subTypeCode = {};

  // Tax rates: how many the model keeps (4, 6 or 7; the format of its rate commands, 0
  // for none), and the highest rate number an item line may name.
  uint8_t rateCount = {};
  uint8_t highestRate = {};
  bool wholePercentRates = {};  // the format carries whole percents only (one byte a rate)
  bool exemptRates = {};        // the format carries the exempt marker
  // How many of the first rates must not grow from one to the next (A >= B >= C ...):
  // the older printers take their table only in that order.
  uint8_t orderedRates = {};
  // Status bytes ReadStatusBytes reads: 4, or `statusBytes` from firmware version
  // `statusBytesFromVersion` on; whether an eighth one follows.
  uint8_t statusBytes = {};
  uint8_t statusBytesFromVersion = {};
  bool eighthStatusByte = {};

  bool lockByte = {};                 // command 0x60 says why the till is locked
  bool euroChange = {};               // command 0xF5 can demand the currency change
  bool longReceiptCounter = {};       // the receipt number lives in 0xF7 when 0x66 says 0
  bool cancelledReceiptCounter = {};  // 0xF7 counts cancelled receipts (rates need it at 0)
  // Packages, subtotal, payment forms, 7-digit quantities, 5-character names.
  bool extendedCommands = {};
  // The clock with seconds, the totals per rate, the reports of command 0x31.
  bool currentCommandSet = {};
  bool emptyDailyReport = {};            // prints a forced daily report after a day without sales
  bool followsWithoutMemoryStatus = {};  // print supervision skips 0x94 while following
  uint8_t minimumNameCharacters = {};    // significant characters an article name needs
  int32_t highestQuantity = {};          // of one item line, in units of its decimals
};

inline constexpr uint8_t kDeviceTypeCount = 12;  // 0..10, and 11 for any other device
inline constexpr uint8_t kOtherDevice = 11;
inline constexpr std::string_view kUnknownDeviceName = "NIEZNANE";

// clang-format off
inline constexpr std::array<DeviceModel, kDeviceTypeCount> kDeviceModels = {{
  {.type = 0, .name = "RX820A 5-stawkowa", .plainName = "RX820A 5-stawkowa",
   .shortName = "rx820a-4", .fiscal = true, .family = 0x02, .subType = SubType::None,
   .rateCount = 4, .highestRate = 5, .wholePercentRates = true, .orderedRates = 4,
   .statusBytes = 4,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  {.type = 1, .name = "RX820A 7-stawkowa", .plainName = "RX820A 7-stawkowa",
   .shortName = "rx820a-6", .fiscal = true, .family = 0x11, .subType = SubType::None,
   .rateCount = 6, .highestRate = 7, .orderedRates = 6,
   .statusBytes = 4,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  {.type = 2, .name = "TAURA I generacji", .plainName = "TAURA I generacji",
   .shortName = "taura1", .fiscal = true, .family = 0x2C, .subType = SubType::Refused,
   .rateCount = 6, .highestRate = 7, .orderedRates = 6,
   .statusBytes = 4,
   .emptyDailyReport = true,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  {.type = 3, .name = "TAURA II generacji", .plainName = "TAURA II generacji",
   .shortName = "taura2", .fiscal = true, .family = 0x2C, .subType = SubType::Other,
   .rateCount = 7, .highestRate = 7, .exemptRates = true,
   .statusBytes = 6, .statusBytesFromVersion = 3,
   .extendedCommands = true, .currentCommandSet = true, .emptyDailyReport = true,
   .minimumNameCharacters = 5, .highestQuantity = 9'999'999},
  {.type = 4, .name = "RX820B 5-st. (apteczna)", .plainName = "RX820B 5-st. (apteczna)",
   .shortName = "rx820b-4", .fiscal = true, .family = 0x05, .subType = SubType::None,
   .rateCount = 4, .highestRate = 7, .wholePercentRates = true, .orderedRates = 4,
   .statusBytes = 4,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  {.type = 5, .name = "RX820B 7-st. (apteczna)", .plainName = "RX820B 7-st. (apteczna)",
   .shortName = "rx820b-6", .fiscal = true, .family = 0x12, .subType = SubType::Refused,
   .rateCount = 6, .highestRate = 7, .orderedRates = 6,
   .statusBytes = 4,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  {.type = 6, .name = "TAURA F (apteczna)", .plainName = "TAURA F (apteczna)",
   .shortName = "taura-f", .fiscal = true, .family = 0x12, .subType = SubType::Other,
   .rateCount = 7, .highestRate = 7, .exemptRates = true,
   .statusBytes = 6, .statusBytesFromVersion = 6, .eighthStatusByte = true,
   .currentCommandSet = true, .emptyDailyReport = true,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  {.type = 7, .name = "KESTRA LUNO", .plainName = "Nowa drukarka fiskalna",
   .shortName = "luno", .fiscal = true, .family = 0x2C, .subType = SubType::Is, .subTypeCode = 0x7C,
   .rateCount = 7, .highestRate = 7, .exemptRates = true,
   .statusBytes = 7,
   .lockByte = true, .euroChange = true, .longReceiptCounter = true,
   .extendedCommands = true, .currentCommandSet = true, .emptyDailyReport = true,
   .followsWithoutMemoryStatus = true,
   .minimumNameCharacters = 5, .highestQuantity = 9'999'999},
  {.type = 8, .name = "KESTRA LUNO F", .plainName = "Nowa drukarka fiskalna (apteczna)",
   .shortName = "luno-f", .fiscal = true, .family = 0x12, .subType = SubType::Is, .subTypeCode = 0x7D,
   .rateCount = 7, .highestRate = 7, .exemptRates = true,
   .statusBytes = 7, .eighthStatusByte = true,
   .lockByte = true, .euroChange = true, .longReceiptCounter = true,
   .extendedCommands = true, .currentCommandSet = true, .emptyDailyReport = true,
   .followsWithoutMemoryStatus = true,
   .minimumNameCharacters = 5, .highestQuantity = 9'999'999},
  {.type = 9, .name = "KESTRA LUNO E", .plainName = "NIEZNANE",
   .shortName = "luno-e", .fiscal = true, .family = 0x2C, .subType = SubType::Is, .subTypeCode = 0x80,
   .rateCount = 7, .highestRate = 7, .exemptRates = true,
   .statusBytes = 4,
   .cancelledReceiptCounter = true,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  {.type = 10, .name = "KESTRA LUNO EFV", .plainName = "NIEZNANE",
   .shortName = "luno-efv", .fiscal = true, .family = 0x2C, .subType = SubType::Is, .subTypeCode = 0x81,
   .rateCount = 7, .highestRate = 7, .exemptRates = true,
   .statusBytes = 4,
   .cancelledReceiptCounter = true,
   .minimumNameCharacters = 10, .highestQuantity = 999'999},
  // Whatever answers 0xFF with another byte is treated as the newest kind of printer, but
  // it is not known to be a fiscal one.
  {.type = 11, .name = "INNE URZ\xA5" "DZENIE", .plainName = "INNE URZADZENIE",
   .shortName = "unknown", .family = 0x00, .subType = SubType::Unknown,
   .rateCount = 7, .highestRate = 7, .exemptRates = true,
   .statusBytes = 7,
   .extendedCommands = true, .currentCommandSet = true, .emptyDailyReport = true,
   .minimumNameCharacters = 5, .highestQuantity = 9'999'999},
}};
// clang-format on

// Each row sits at its own code and has a name of its own.
constexpr bool RowsAreInPlace() {
  for (size_t i = 0; i < kDeviceModels.size(); ++i) {
    if (kDeviceModels[i].type != i || kDeviceModels[i].shortName.empty()) return false;
    for (size_t j = 0; j < i; ++j)
      if (kDeviceModels[j].shortName == kDeviceModels[i].shortName) return false;
  }
  return true;
}
static_assert(RowsAreInPlace());

// A code outside the table (a caller's own, never one ReadDeviceType gives): named
// "NIEZNANE", with no rate format and none of the features.
inline constexpr DeviceModel kUnknownModel = {.type = 0xFF,
                                              .name = kUnknownDeviceName,
                                              .plainName = kUnknownDeviceName,
                                              .subType = SubType::Unknown,
                                              .highestRate = 7,
                                              .statusBytes = 4,
                                              .minimumNameCharacters = 10,
                                              .highestQuantity = 999'999};

// The row of a device type code; null for a code outside the table.
constexpr const DeviceModel* FindDeviceModel(uint8_t type) {
  return type < kDeviceModels.size() ? &kDeviceModels[type] : nullptr;
}

// The row of a code, kUnknownModel outside the table.
constexpr const DeviceModel& ModelOf(uint8_t type) {
  const DeviceModel* model = FindDeviceModel(type);
  return model != nullptr ? *model : kUnknownModel;
}

constexpr std::string_view DeviceNameOf(uint8_t type) {
  return ModelOf(type).name;
}
constexpr std::string_view PlainDeviceNameOf(uint8_t type) {
  return ModelOf(type).plainName;
}

// How many status bytes ReadStatusBytes reads from this model at firmware `version`.
constexpr int StatusByteCount(const DeviceModel& model, uint32_t version) {
  return version >= model.statusBytesFromVersion ? model.statusBytes : 4;
}

}  // namespace kestradr
