// The public description of a printer model (tauravat_model_info), made from its row of
// the driver's model table, and the sizes the callers' structures must reach.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_models.hpp"
#include "tauravat.h"

namespace kestradr {

// The description of `model`, its size set to this header's.
tauravat_model_info ModelInfoOf(const DeviceModel& model);

// A caller's structure must reach at least the members of the first header that had it: the
// struct may grow, and a larger one from a newer header is read as far as this one knows.
inline constexpr uint32_t kModelInfoSize = sizeof(tauravat_model_info);
inline constexpr uint32_t kProblemSize = sizeof(tauravat_problem);
inline constexpr uint32_t kRatesSize = sizeof(tauravat_rates);
// An item without the package members (the first header's) carries every line but a package.
inline constexpr uint32_t kItemSize = offsetof(tauravat_item, package_kind);
inline constexpr uint32_t kPackageItemSize = sizeof(tauravat_item);
inline constexpr uint32_t kSaleSize = sizeof(tauravat_sale);
inline constexpr uint32_t kPaymentSize = sizeof(tauravat_payment);
inline constexpr uint32_t kLineSize = sizeof(tauravat_line);

}  // namespace kestradr
