// The printer models the driver knows, one row per device type code: how the printer
// identifies itself, its names, and every feature a decision in the driver, the program
// or the command-line tool depends on. Adding a model is one row here (and one in the
// emulator's model list).
//
// Header only and free of the driver's internals, so the program and the tool read the
// same table (kestradr_models target). Names are code page 1250.
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
  uint8_t family = {};              // the answer to 0xFF
  SubType subType = {};
  uint8_t subTypeCode = {};

  // Tax rates: how many the model keeps (4, 6 or 7; the format of its rate commands, 0
  // for none), and the highest rate number an item line may name.
  uint8_t rateCount = {};
  uint8_t highestRate = {};
  // Status bytes ReadStatusBytes reads: 4, or `statusBytes` from firmware version
  // `statusBytesFromVersion` on; whether an eighth one follows.
  uint8_t statusBytes = {};
  uint8_t statusBytesFromVersion = {};
  bool eighthStatusByte = {};

  bool lockByte = {};                 // command 0x60 says why the till is locked
  bool euroChange = {};               // command 0xF5 can demand the currency change
  bool longReceiptCounter = {};       // the receipt number lives in 0xF7 when 0x66 says 0
  bool cancelledReceiptCounter = {};  // 0xF7 counts cancelled receipts (program checks it)
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
// type name                       plainName                            family sub-type          code  rates high status from 8th    lock   euro   long   cancl  ext    curr   empty  nomem  name quantity
  {0,   "RX820A 5-stawkowa",       "RX820A 5-stawkowa",                 0x02,  SubType::None,    0x00, 4,    5,   4,     0,   false, false, false, false, false, false, false, false, false, 10,  999'999},
  {1,   "RX820A 7-stawkowa",       "RX820A 7-stawkowa",                 0x11,  SubType::None,    0x00, 6,    7,   4,     0,   false, false, false, false, false, false, false, false, false, 10,  999'999},
  {2,   "TAURA I generacji",       "TAURA I generacji",                 0x2C,  SubType::Refused, 0x00, 6,    7,   4,     0,   false, false, false, false, false, false, false, true,  false, 10,  999'999},
  {3,   "TAURA II generacji",      "TAURA II generacji",                0x2C,  SubType::Other,   0x00, 7,    7,   6,     3,   false, false, false, false, false, true,  true,  true,  false, 5,   9'999'999},
  {4,   "RX820B 5-st. (apteczna)", "RX820B 5-st. (apteczna)",           0x05,  SubType::None,    0x00, 4,    7,   4,     0,   false, false, false, false, false, false, false, false, false, 10,  999'999},
  {5,   "RX820B 7-st. (apteczna)", "RX820B 7-st. (apteczna)",           0x12,  SubType::Refused, 0x00, 6,    7,   4,     0,   false, false, false, false, false, false, false, false, false, 10,  999'999},
  {6,   "TAURA F (apteczna)",      "TAURA F (apteczna)",                0x12,  SubType::Other,   0x00, 7,    7,   6,     6,   true,  false, false, false, false, false, true,  true,  false, 10,  999'999},
  {7,   "KESTRA LUNO",             "Nowa drukarka fiskalna",            0x2C,  SubType::Is,      0x7C, 7,    7,   7,     0,   false, true,  true,  true,  false, true,  true,  true,  true,  5,   9'999'999},
  {8,   "KESTRA LUNO F",           "Nowa drukarka fiskalna (apteczna)", 0x12,  SubType::Is,      0x7D, 7,    7,   7,     0,   true,  true,  true,  true,  false, true,  true,  true,  true,  5,   9'999'999},
  {9,   "KESTRA LUNO E",           "NIEZNANE",                          0x2C,  SubType::Is,      0x80, 7,    7,   4,     0,   false, false, false, false, true,  false, false, false, false, 10,  999'999},
  {10,  "KESTRA LUNO EFV",         "NIEZNANE",                          0x2C,  SubType::Is,      0x81, 7,    7,   4,     0,   false, false, false, false, true,  false, false, false, false, 10,  999'999},
  // Whatever answers 0xFF with another byte is treated as the newest kind of printer.
  {11,  "INNE URZ\xA5" "DZENIE",   "INNE URZADZENIE",                   0x00,  SubType::Unknown, 0x00, 7,    7,   7,     0,   false, false, false, false, false, true,  true,  true,  false, 5,   9'999'999},
}};
// clang-format on

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
