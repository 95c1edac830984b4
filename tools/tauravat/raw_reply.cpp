#include "raw_reply.hpp"

#include "commands.hpp"

namespace tauravat::cli {
namespace {
constexpr uint8_t kAck = 0x06;
}  // namespace

std::vector<uint8_t> ReceivedReply(uint8_t command, uint8_t replyLength, int32_t result,
                                   const std::array<uint8_t, 256>& buffer) {
  if (replyLength == 0) return {};
  // A refusal byte or a bare status byte is all there is; after a time-out nothing
  // reliable is.
  if (result == 20 || result == 21) return {};
  const bool bareData = kestradr::IsBareDataCommand(command) && buffer[0] != kAck;
  if (result != 0 || replyLength == 1 || bareData) {
    return {buffer[0]};
  }
  const unsigned record = kestradr::RecordLength(command);
  std::vector<uint8_t> data;
  for (unsigned k = 1; k < replyLength; ++k) {
    const uint8_t byte = buffer[k - 1];
    data.push_back(byte);
    if (record != 0 && byte == 0xFF && k % record == 1) break;
  }
  return data;
}

}  // namespace tauravat::cli
