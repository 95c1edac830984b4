// The sequence exchange of one printer. `replyLength` counts every byte of the first
// reply, the ACK included; data byte k lands at ReplyBuffer[k-1].
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "commands.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "printer.hpp"
#include "trace.hpp"

namespace kestradr {

bool Printer::TracedWrite(uint8_t byte) {
  const bool ok = Link.WriteByte(byte);
  if (trace::Enabled()) trace::Sent(byte, ok);
  if (traceSink_) TraceLine('>', byte, ok);
  return ok;
}

bool Printer::TracedRead(uint8_t& byte) {
  const bool ok = Link.ReadByte(byte);
  if (trace::Enabled()) trace::Received(byte, ok);
  if (traceSink_) TraceLine('<', byte, ok);
  return ok;
}

void Printer::SetTraceCallback(std::function<void(const std::string&)> callback) {
  traceSink_ = std::move(callback);
  traceStart_ = std::chrono::steady_clock::now();
}

void Printer::TraceLine(char direction, uint8_t byte, bool ok) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - traceStart_)
                          .count();
  char text[64];
  if (direction == '<' && !ok) {
    std::snprintf(text, sizeof text, "%10lld < %02X -- timeout", static_cast<long long>(micros),
                  traceCommand_);
  } else {
    std::snprintf(text, sizeof text, "%10lld %c %02X %02X%s", static_cast<long long>(micros),
                  direction, traceCommand_, byte, ok ? "" : " failed");
  }
  traceSink_(text);
}

bool Printer::SendParameters(uint8_t count) {
  for (unsigned i = 0; i < count; ++i) {
    TracedWrite(SendBuffer[i]);
    if (Link.TransferFailed()) return false;
  }
  return true;
}

// Reads data bytes 1..length-1 of a reply whose first byte is already in, stopping early
// at a 0xFF that begins a record of a list command.
bool Printer::ReadDataBytes(uint8_t length, uint8_t recordLength) {
  for (unsigned k = 1; k < length; ++k) {
    uint8_t byte = 0;
    if (!TracedRead(byte)) return false;
    ReplyBuffer[k - 1] = byte;
    if (recordLength != 0 && byte == 0xFF && k % recordLength == 1) break;
  }
  return true;
}

namespace {

uint8_t RefusalResult(uint8_t command, uint8_t firstByte) {
  if (IsBareDataCommand(command)) return TAURAVAT_OK;
  switch (firstByte) {
    case 0x01:
      return TAURAVAT_E_SERVICE_JUMPER;
    case kNakByte:
      return TAURAVAT_E_NAK;
    case 0x65:
      return TAURAVAT_E_RECEIPT_NOT_OPEN;
    case 0xC8:
      return TAURAVAT_E_REFUSED;
    default:
      return TAURAVAT_E_BAD_REPLY;
  }
}

}  // namespace

uint8_t Printer::Exchange(uint8_t command, uint8_t replyLength, uint8_t secondReplyLength,
                          uint8_t parameterLength) {
  const uint8_t recordLength = RecordLength(command);
  const auto sendFailed = [this] { return Link.CommErrorCode() != 0 || Link.TransferFailed(); };
  Link.PurgePort();

  for (const uint8_t byte : {kEsc, command}) {
    TracedWrite(byte);
    if (sendFailed()) return TAURAVAT_E_SEND_TIMEOUT;
  }

  if (replyLength > 0) {
    uint8_t first = 0;
    if (!TracedRead(first)) return TAURAVAT_E_RECEIVE_TIMEOUT;
    ReplyBuffer[0] = first;
    if (first != kAck) return RefusalResult(command, first);
    if (replyLength > 1 && !ReadDataBytes(replyLength, recordLength))
      return TAURAVAT_E_RECEIVE_TIMEOUT;
  }

  if (!SendParameters(parameterLength)) return TAURAVAT_E_SEND_TIMEOUT;

  if (secondReplyLength > 0) {
    uint8_t first = 0;
    if (!TracedRead(first)) return TAURAVAT_E_RECEIVE_TIMEOUT;
    ReplyBuffer[0] = first;
    if (secondReplyLength > 1 && !ReadDataBytes(secondReplyLength, recordLength))
      return TAURAVAT_E_RECEIVE_TIMEOUT;
  }
  return TAURAVAT_OK;
}

void Printer::ExchangeSequence(uint8_t command, uint8_t replyLength, uint8_t secondReplyLength,
                               uint8_t parameterLength) {
  LastSequenceResult = 0;
  traceCommand_ = command;
  if (trace::Enabled()) trace::BeginSequence(command);
  LastSequenceResult = Exchange(command, replyLength, secondReplyLength, parameterLength);
  if (trace::Enabled()) trace::EndSequence();
}

uint8_t Printer::SendSequence(uint8_t command, uint8_t replyLength, uint8_t parameterLength,
                              Block& reply, const Block& parameters) {
  if (parameterLength > 0) SendBuffer = parameters;
  ExchangeSequence(command, replyLength, 0, parameterLength);
  if (replyLength > 0) reply = ReplyBuffer;
  return LastSequenceResult;
}

uint8_t Printer::SendSequence(uint8_t command, uint8_t replyLength, Block& reply) {
  ExchangeSequence(command, replyLength, 0, 0);
  if (replyLength > 0) reply = ReplyBuffer;
  return LastSequenceResult;
}

int32_t Printer::RSSequence(uint8_t command, int32_t replyLength, int32_t parameterLength,
                            uint8_t* reply, const uint8_t* parameters) {
  // The lengths are judged whole for the copies; only their low byte reaches the wire.
  if (parameterLength > 0) std::copy_n(&Deref(parameters), SendBuffer.size(), SendBuffer.begin());
  uint8_t* const replyOut = replyLength > 0 ? &Deref(reply) : nullptr;
  ExchangeSequence(command, static_cast<uint8_t>(replyLength), 0,
                   static_cast<uint8_t>(parameterLength));
  if (replyOut != nullptr) std::copy(ReplyBuffer.begin(), ReplyBuffer.end(), replyOut);
  return LastSequenceResult;
}

}  // namespace kestradr
