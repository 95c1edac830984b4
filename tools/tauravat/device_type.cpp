#include "device_type.hpp"

#include "device_models.hpp"

namespace tauravat::cli {

namespace {
const kestradr::DeviceModel& Model(int deviceType) {
  if (deviceType < 0 || deviceType > 255) return kestradr::kUnknownModel;
  return kestradr::ModelOf(static_cast<uint8_t>(deviceType));
}
}  // namespace

bool IsExtendedModel(int deviceType) {
  return Model(deviceType).extendedCommands;
}

int MinimumNameCharacters(int deviceType) {
  return Model(deviceType).minimumNameCharacters;
}

}  // namespace tauravat::cli
