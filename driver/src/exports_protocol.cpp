// Exported raw sequences and messages.
#include <algorithm>
#include <cstring>

#include "exchange.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

using namespace kestradr;

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL RSSequence(uint8_t command, int32_t replyLength,
                                                         int32_t parameterLength, uint8_t* reply,
                                                         const uint8_t* parameters) {
  return Guarded([&]() -> int32_t {
    // The lengths are judged whole for the copies; only their low byte reaches the wire.
    if (parameterLength > 0) std::copy_n(&Deref(parameters), SendBuffer.size(), SendBuffer.begin());
    uint8_t* const replyOut = replyLength > 0 ? &Deref(reply) : nullptr;
    ExchangeSequence(command, static_cast<uint8_t>(replyLength), 0,
                     static_cast<uint8_t>(parameterLength));
    if (replyOut != nullptr) std::copy(ReplyBuffer.begin(), ReplyBuffer.end(), replyOut);
    return LastSequenceResult;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL ErrMessage(int32_t code, std::string& text) {
  return Guarded([&]() -> int32_t {
    text.clear();
    text = MessageText(code);
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pErrMessage(int32_t code, char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    std::string text;
    const int32_t result = ErrMessage(code, text);
    CopyOut(buffer, text);
    return result;
  });
}
