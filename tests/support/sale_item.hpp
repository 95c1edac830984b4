// A sale line as most tests sell it: one piece at rate A.
#pragma once

#include <cstdint>

#include "tauravat.h"

inline tauravat_item SaleItem(const char* name, int64_t price) {
  tauravat_item item{};
  item.size = sizeof item;
  item.kind = TAURAVAT_ITEM_SALE;
  item.name = name;
  item.rate = 1;
  item.quantity = 1;
  item.price = price;
  return item;
}
