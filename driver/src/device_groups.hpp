// Model groups by what the models can do (device type codes as ReadDeviceType gives
// them; 11, an unidentified device, is treated as the newest kind).
#pragma once

#include <cstdint>

#include "connection.hpp"

namespace kestradr {

// TAURA II, LUNO, LUNO F and the unidentified: packages, subtotals, payment forms,
// 5-significant-character names and 7-digit quantities.
inline bool IsExtendedModel(uint8_t type) {
  return type == 3 || type == 7 || type == 8 || type == kDeviceNone;
}

// The above and TAURA F: the clock with seconds, the running totals and the reports of
// command 0x31.
inline bool HasCurrentCommandSet(uint8_t type) {
  return IsExtendedModel(type) || type == 6;
}

}  // namespace kestradr
