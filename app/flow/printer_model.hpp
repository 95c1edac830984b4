// What the driver says of a device type, from its model table (tauravat_model_by_type):
// the program decides nothing by comparing type numbers.
#pragma once

#include <cstdint>

#include "tauravat.h"

namespace taurasw {

// The description of `type`; a type the driver does not know is not fiscal and has no
// rates and none of the features.
tauravat_model_info PrinterModel(uint8_t type);

}  // namespace taurasw
