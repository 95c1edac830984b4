// What the connected model can do, from the driver's model table, for the receipt checks
// made before a receipt begins.
#pragma once

namespace tauravat::cli {

// Models that know packages, the subtotal and five-character article names.
bool IsExtendedModel(int deviceType);

// The fewest significant characters an article name needs on this model.
int MinimumNameCharacters(int deviceType);

}  // namespace tauravat::cli
