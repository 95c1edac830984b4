// The device type code behind a DeviceName text: the driver exports the name only, but
// print supervision and the receipt checks need the code.
#pragma once

#include <optional>
#include <string>

namespace tauravat::cli {

// `name` is code page 1250 as DeviceName gives it; nothing for a name it never gives.
std::optional<int> DeviceTypeFromName(const std::string& name);

// Models that know packages, the subtotal and five-character article names.
bool IsExtendedModel(int deviceType);

// The fewest significant characters an article name needs on this model.
int MinimumNameCharacters(int deviceType);

}  // namespace tauravat::cli
