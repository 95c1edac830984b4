#include "raw_reply.hpp"

namespace tauravat::cli {
namespace {

constexpr uint8_t kAck = 0x06;

// The printer answers these with a bare data byte instead of an ACK.
bool IsBareData(uint8_t command) {
  switch (command) {
    case 94:
    case 96:
    case 144:
    case 148:
    case 149:
    case 150:
    case 155:
    case 159:
      return true;
    default:
      return false;
  }
}

// Replies that are lists of records, ended early by a record starting with 0xFF.
unsigned RecordLength(uint8_t command) {
  switch (command) {
    case 162:
    case 163:
    case 165:
      return 11;
    case 173:
    case 174:
      return 16;
    case 231:
      return 4;
    case 233:
    case 238:
      return 20;
    case 234:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

std::vector<uint8_t> ReceivedReply(uint8_t command, uint8_t replyLength, int32_t result,
                                   const std::array<uint8_t, 256>& buffer) {
  if (replyLength == 0) return {};
  // A refusal byte or a bare status byte is all there is; after a time-out nothing
  // reliable is.
  if (result == 20 || result == 21) return {};
  if (result != 0 || replyLength == 1 || (IsBareData(command) && buffer[0] != kAck)) {
    return {buffer[0]};
  }
  const unsigned record = RecordLength(command);
  std::vector<uint8_t> data;
  for (unsigned k = 1; k < replyLength; ++k) {
    const uint8_t byte = buffer[k - 1];
    data.push_back(byte);
    if (record != 0 && byte == 0xFF && k % record == 1) break;
  }
  return data;
}

}  // namespace tauravat::cli
