// Which bytes of a raw sequence's reply the printer actually sent: the reply buffer
// holds as many bytes as were asked for, of which a status byte, an ACK or a list ended
// early is only the start; showing the rest as the printer's answer would mislead.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tauravat::cli {

// `reply` as tauravat_rs_sequence for `command` filled it, `result` its answer. Nothing
// after a failure: the handle writes the reply on success only.
std::vector<uint8_t> ReceivedReply(uint8_t command, int32_t result, std::span<const uint8_t> reply);

}  // namespace tauravat::cli
