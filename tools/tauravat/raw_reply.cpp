#include "raw_reply.hpp"

#include "tauravat.h"

namespace tauravat::cli {

std::vector<uint8_t> ReceivedReply(uint8_t command, int32_t result,
                                   std::span<const uint8_t> reply) {
  if (result != TAURAVAT_OK) return {};
  size_t length = 0;
  if (tauravat_rs_answer_length(command, reply.data(), reply.size(), &length) != TAURAVAT_OK)
    return {};
  return {reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(length)};
}

}  // namespace tauravat::cli
