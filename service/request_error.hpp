// Why a request body was refused, and where.
#pragma once

#include <cstdint>
#include <string>

namespace tauravatd {

struct RequestError {
  // The driver's result code for the same fault when it has one (208 for a price out of
  // range, 226 for a reserved rate), 0 when the fault is the request's alone.
  int32_t code = 0;
  std::string field;   // "items[2].price"; empty for the body as a whole
  std::string detail;  // English, for the developer of the till
};

}  // namespace tauravatd
