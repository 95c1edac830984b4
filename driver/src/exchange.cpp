#include "exchange.hpp"

#include "comm.hpp"
#include "messages.hpp"
#include "trace.hpp"

namespace kestradr {

Block SendBuffer{};
Block ReplyBuffer{};
uint8_t LastSequenceResult = 0;

bool IsBareDataCommand(uint8_t command) {
  switch (command) {
    case 94: case 96: case 144: case 148: case 149: case 150: case 155: case 159:
      return true;
    default:
      return false;
  }
}

uint8_t RecordLength(uint8_t command) {
  switch (command) {
    case 162: case 163: case 165: return 11;
    case 173: case 174: return 16;
    case 231: return 4;
    case 233: case 238: return 20;
    case 234: return 8;
    default: return 0;
  }
}

namespace {

bool SendFailed() { return CommErrorCode() != 0 || TransferFailed(); }

// Reads data bytes 1..length-1 of a reply whose first byte is already in, stopping early
// at a 0xFF that begins a record of a list command.
bool ReadDataBytes(uint8_t length, uint8_t recordLength) {
  for (unsigned k = 1; k < length; ++k) {
    uint8_t byte = 0;
    if (!TracedRead(byte)) return false;
    ReplyBuffer[k - 1] = byte;
    if (recordLength != 0 && byte == 0xFF && k % recordLength == 1) break;
  }
  return true;
}

uint8_t RefusalResult(uint8_t command, uint8_t firstByte) {
  if (IsBareDataCommand(command)) return kOk;
  switch (firstByte) {
    case 0x01: return kServiceJumper;
    case kNakByte: return kNak;
    case 0x65: return kReceiptNotOpen;
    case 0xC8: return kRefused200;
    default: return kBadReply;
  }
}

uint8_t Exchange(uint8_t command, uint8_t replyLength, uint8_t secondReplyLength,
                 uint8_t parameterLength) {
  const uint8_t recordLength = RecordLength(command);
  PurgePort();

  for (const uint8_t byte : {kEsc, command}) {
    TracedWrite(byte);
    if (SendFailed()) return kSendTimeout;
  }

  if (replyLength > 0) {
    uint8_t first = 0;
    if (!TracedRead(first)) return kReceiveTimeout;
    ReplyBuffer[0] = first;
    if (first != kAck) return RefusalResult(command, first);
    if (replyLength > 1 && !ReadDataBytes(replyLength, recordLength)) return kReceiveTimeout;
  }

  if (!SendParameters(parameterLength)) return kSendTimeout;

  if (secondReplyLength > 0) {
    uint8_t first = 0;
    if (!TracedRead(first)) return kReceiveTimeout;
    ReplyBuffer[0] = first;
    if (secondReplyLength > 1 && !ReadDataBytes(secondReplyLength, recordLength))
      return kReceiveTimeout;
  }
  return kOk;
}

}  // namespace

bool SendParameters(uint8_t count) {
  for (unsigned i = 0; i < count; ++i) {
    TracedWrite(SendBuffer[i]);
    if (TransferFailed()) return false;
  }
  return true;
}

void ExchangeSequence(uint8_t command, uint8_t replyLength, uint8_t secondReplyLength,
                      uint8_t parameterLength) {
  LastSequenceResult = 0;
  if (trace::enabled) trace::BeginSequence(command);
  LastSequenceResult = Exchange(command, replyLength, secondReplyLength, parameterLength);
  if (trace::enabled) trace::EndSequence();
}

uint8_t SendSequence(uint8_t command, uint8_t replyLength, uint8_t parameterLength, Block& reply,
                     const Block& parameters) {
  if (parameterLength > 0) SendBuffer = parameters;
  ExchangeSequence(command, replyLength, 0, parameterLength);
  if (replyLength > 0) reply = ReplyBuffer;
  return LastSequenceResult;
}

uint8_t SendSequence(uint8_t command, uint8_t replyLength, Block& reply) {
  ExchangeSequence(command, replyLength, 0, 0);
  if (replyLength > 0) reply = ReplyBuffer;
  return LastSequenceResult;
}

}  // namespace kestradr
