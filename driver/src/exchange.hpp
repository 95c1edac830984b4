// The command-sequence exchange with the printer: ESC and a command byte, the
// printer's first reply, the parameters, and an optional second reply. Every command
// of the driver goes through here; nothing is retried.
#pragma once

#include <array>
#include <cstdint>

namespace kestradr {

inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNakByte = 0x15;

using Block = std::array<uint8_t, 256>;

extern Block SendBuffer;
extern Block ReplyBuffer;
extern uint8_t LastSequenceResult;

// Runs one sequence. `replyLength` counts every byte of the first reply, the ACK
// included; data byte k lands at ReplyBuffer[k-1]. Sets LastSequenceResult.
void ExchangeSequence(uint8_t command, uint8_t replyLength, uint8_t secondReplyLength,
                      uint8_t parameterLength);

// The driver's entry point: parameters are copied into SendBuffer when there are any,
// the whole ReplyBuffer is copied out when a reply was asked for.
uint8_t SendSequence(uint8_t command, uint8_t replyLength, uint8_t parameterLength, Block& reply,
                     const Block& parameters);
// The same without parameters.
uint8_t SendSequence(uint8_t command, uint8_t replyLength, Block& reply);

bool SendParameters(uint8_t count);

// Reply-length class of a command, by its code.
bool IsBareDataCommand(uint8_t command);
// Length of one record for commands whose reply is a list ended by a 0xFF record; 0 for
// the others.
uint8_t RecordLength(uint8_t command);

}  // namespace kestradr
