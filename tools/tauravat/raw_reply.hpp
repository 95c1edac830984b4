// Which bytes of the reply buffer a raw sequence actually received. The driver copies
// its whole 256-byte buffer, whose tail keeps earlier replies; showing those as the
// printer's answer would mislead.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tauravat::cli {

// `replyLength` counts the first reply's bytes with the ACK, as the driver does.
std::vector<uint8_t> ReceivedReply(uint8_t command, uint8_t replyLength, int32_t result,
                                   const std::array<uint8_t, 256>& buffer);

}  // namespace tauravat::cli
