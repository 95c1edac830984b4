// Identification of the connected model, by the identification rows of the model table.
#include "cp1250.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {

// The row of `family` that the sub-type decides as `kind` (with `code` for SubType::Is).
const DeviceModel* FindByFamily(uint8_t family, SubType kind, uint8_t code = 0) {
  for (const DeviceModel& model : kDeviceModels) {
    if (model.subType == SubType::Unknown || model.family != family) continue;
    if (model.subType == kind && (kind != SubType::Is || model.subTypeCode == code)) return &model;
  }
  return nullptr;
}

bool KnownFamily(uint8_t family) {
  for (const DeviceModel& model : kDeviceModels)
    if (model.subType != SubType::Unknown && model.family == family) return true;
  return false;
}

}  // namespace

int32_t Printer::ReadDeviceType(uint8_t& type, uint32_t& version) {
  static const std::string caption = Cp1250("Odczyt typu urządzenia...");
  ShowCentreMessage(caption);

  Block reply{};
  if (const uint8_t result = SendSequence(cmd::kIdentify, reply); result != TAURAVAT_OK)
    return result;
  const uint8_t family = reply[0];
  if (!KnownFamily(family)) {
    type = kDeviceNone;
    version = 0;
    return TAURAVAT_OK;
  }
  if (const DeviceModel* alone = FindByFamily(family, SubType::None)) {
    type = alone->type;
    version = 0;
    return TAURAVAT_OK;
  }

  // The family holds several models; the oldest does not know the sub-type command.
  const uint8_t result = SendSequence(cmd::kIdentifySubType, reply);
  if (result == TAURAVAT_E_NAK) {
    if (const DeviceModel* oldest = FindByFamily(family, SubType::Refused)) {
      type = oldest->type;
      version = 0;
      return TAURAVAT_OK;
    }
  }
  if (result != TAURAVAT_OK) return result;
  const DeviceModel* model = FindByFamily(family, SubType::Is, reply[0]);
  if (model == nullptr) model = FindByFamily(family, SubType::Other);
  type = model != nullptr ? model->type : kDeviceNone;
  version = reply[1];
  return TAURAVAT_OK;
}

}  // namespace kestradr
