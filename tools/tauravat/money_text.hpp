// Money as people and JSON readers take it: a decimal string in złoty, "12.34", never a
// number (a 40-bit total does not fit every JSON reader's numbers) nor bare grosz.
#pragma once

#include <cstdint>
#include <string>

namespace tauravat::cli {

// 1234 -> "12.34", 5 -> "0.05", -329 -> "-3.29".
std::string MoneyText(int64_t grosz);

}  // namespace tauravat::cli
