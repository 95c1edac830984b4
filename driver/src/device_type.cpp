// Identification of the connected model and its two names.
#include <array>

#include "callbacks.hpp"
#include "connection.hpp"
#include "cp1250.hpp"
#include "exchange.hpp"
#include "messages.hpp"

namespace kestradr {

namespace {

constexpr uint8_t kIdentify = 0xFF;
constexpr uint8_t kIdentifySubType = 0xFE;

// Answers of 0xFF.
constexpr uint8_t kRx820a5 = 0x02;
constexpr uint8_t kRx820a7 = 0x11;
constexpr uint8_t kRx820b5 = 0x05;
constexpr uint8_t kPharmacyFamily = 0x12;
constexpr uint8_t kTauraFamily = 0x2C;

// Sub-types answered by 0xFE.
constexpr uint8_t kLuno = 0x7C;
constexpr uint8_t kLunoF = 0x7D;
constexpr uint8_t kLunoE = 0x80;
constexpr uint8_t kLunoEfv = 0x81;

uint8_t TauraSubType(uint8_t subType) {
  switch (subType) {
    case kLuno:
      return 7;
    case kLunoE:
      return 9;
    case kLunoEfv:
      return 10;
    default:
      return 3;
  }
}

}  // namespace

int32_t ReadDeviceType(uint8_t& type, uint32_t& version) {
  static const std::string caption = Cp1250("Odczyt typu urządzenia...");
  ShowCentreMessage(caption);

  Block reply{};
  if (const uint8_t result = SendSequence(kIdentify, 2, reply); result != kOk) return result;
  const uint8_t family = reply[0];
  switch (family) {
    case kRx820a5:
      type = 0;
      version = 0;
      return kOk;
    case kRx820a7:
      type = 1;
      version = 0;
      return kOk;
    case kRx820b5:
      type = 4;
      version = 0;
      return kOk;
    case kPharmacyFamily:
    case kTauraFamily:
      break;
    default:
      type = kDeviceNone;
      version = 0;
      return kOk;
  }

  // Both families hold an older model that does not know the sub-type command.
  const uint8_t result = SendSequence(kIdentifySubType, 4, reply);
  if (result == kNak) {
    type = family == kPharmacyFamily ? 5 : 2;
    version = 0;
    return kOk;
  }
  if (result != kOk) return result;
  if (family == kPharmacyFamily)
    type = reply[0] == kLunoF ? 8 : 6;
  else
    type = TauraSubType(reply[0]);
  version = reply[1];
  return kOk;
}

namespace {

constexpr size_t kKnownTypes = 12;  // 0..10 and 11 for "other device"

const std::array<std::string, kKnownTypes + 1>& Names(bool plain) {
  // The p-twin was given other texts for the newer models when they were introduced;
  // callers depend on both, so both are kept. The last entry is for unknown codes.
  static const std::array<std::string, kKnownTypes + 1> names = {Cp1250("RX820A 5-stawkowa"),
                                                                 Cp1250("RX820A 7-stawkowa"),
                                                                 Cp1250("TAURA I generacji"),
                                                                 Cp1250("TAURA II generacji"),
                                                                 Cp1250("RX820B 5-st. (apteczna)"),
                                                                 Cp1250("RX820B 7-st. (apteczna)"),
                                                                 Cp1250("TAURA F (apteczna)"),
                                                                 Cp1250("KESTRA LUNO"),
                                                                 Cp1250("KESTRA LUNO F"),
                                                                 Cp1250("KESTRA LUNO E"),
                                                                 Cp1250("KESTRA LUNO EFV"),
                                                                 Cp1250("INNE URZĄDZENIE"),
                                                                 Cp1250("NIEZNANE")};
  static const std::array<std::string, kKnownTypes + 1> plainNames = {
      Cp1250("RX820A 5-stawkowa"),
      Cp1250("RX820A 7-stawkowa"),
      Cp1250("TAURA I generacji"),
      Cp1250("TAURA II generacji"),
      Cp1250("RX820B 5-st. (apteczna)"),
      Cp1250("RX820B 7-st. (apteczna)"),
      Cp1250("TAURA F (apteczna)"),
      Cp1250("Nowa drukarka fiskalna"),
      Cp1250("Nowa drukarka fiskalna (apteczna)"),
      Cp1250("NIEZNANE"),
      Cp1250("NIEZNANE"),
      Cp1250("INNE URZADZENIE"),
      Cp1250("NIEZNANE")};
  return plain ? plainNames : names;
}

const char* NameOf(uint8_t type, bool plain) {
  const auto& names = Names(plain);
  return names[type < kKnownTypes ? type : kKnownTypes].c_str();
}

}  // namespace

const char* DeviceNameText(uint8_t type) {
  return NameOf(type, false);
}
const char* PlainDeviceNameText(uint8_t type) {
  return NameOf(type, true);
}

}  // namespace kestradr
