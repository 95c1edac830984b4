#include "telnet_com_port.hpp"

#include <algorithm>

namespace kestradr::telnet {
namespace {

constexpr size_t kLongestSubnegotiation = 64;  // the longest meaningful one is 6 bytes

bool WeSpeak(uint8_t option) {
  return option == kBinary || option == kComPort || option == kSuppressGoAhead;
}
bool WeAccept(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead;
}

}  // namespace

std::vector<uint8_t> ComPortCommand(uint8_t command, std::span<const uint8_t> value) {
  std::vector<uint8_t> out{kIac, kSb, kComPort, command};
  for (const uint8_t byte : value) {
    out.push_back(byte);
    if (byte == kIac) out.push_back(kIac);
  }
  out.insert(out.end(), {kIac, kSe});
  return out;
}

std::vector<uint8_t> ComPortCommand(uint8_t command, uint32_t baud) {
  const uint8_t value[4] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                            static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
  return ComPortCommand(command, value);
}

std::vector<uint8_t> Stream::Greeting() {
  // Counted as agreed at once: the server's consenting answers then need no reply.
  we_[kComPort] = we_[kBinary] = they_[kBinary] = true;
  return {kIac, kWill, kComPort, kIac, kWill, kBinary, kIac, kDo, kBinary};
}

void Stream::Encode(uint8_t byte, std::vector<uint8_t>& out) const {
  out.push_back(byte);
  if (byte == kIac) out.push_back(kIac);
  if (byte == '\r' && !we_[kBinary]) out.push_back(0);
}

void Stream::Receive(std::span<const uint8_t> bytes, std::deque<uint8_t>& data,
                     std::vector<uint8_t>& reply) {
  for (const uint8_t byte : bytes) {
    switch (state_) {
      case State::Data:
        if (byte == kIac) {
          state_ = State::Iac;
        } else {
          AddData(byte, data);
        }
        break;
      case State::Iac:
        state_ = State::Data;
        if (byte == kIac) {
          AddData(byte, data);
        } else if (byte >= kWill && byte <= kDont) {
          verb_ = byte;
          state_ = State::Verb;
        } else if (byte == kSb) {
          sub_.clear();
          state_ = State::Sub;
        }  // NOP, GA, AYT and the like carry nothing for a printer line
        break;
      case State::Verb:
        Command(verb_, byte, reply);
        state_ = State::Data;
        break;
      case State::Sub:
        if (byte == kIac) {
          state_ = State::SubIac;
        } else if (sub_.size() < kLongestSubnegotiation) {
          sub_.push_back(byte);
        }
        break;
      case State::SubIac:
        if (byte == kSe) {
          Subnegotiation();
          state_ = State::Data;
        } else {
          if (sub_.size() < kLongestSubnegotiation) sub_.push_back(byte);  // IAC IAC
          state_ = State::Sub;
        }
        break;
    }
  }
}

void Stream::AddData(uint8_t byte, std::deque<uint8_t>& data) {
  // Without binary a CR travels as CR NUL (or CR LF): the NUL is not the printer's.
  const bool stuffed = afterCr_ && byte == 0 && !they_[kBinary];
  afterCr_ = byte == '\r';
  if (!stuffed && purgesUnanswered_ == 0) data.push_back(byte);
}

// Answers only what changes an option's state, so two ends never echo each other forever.
void Stream::Command(uint8_t verb, uint8_t option, std::vector<uint8_t>& reply) {
  const auto answer = [&](uint8_t answerVerb) {
    reply.insert(reply.end(), {kIac, answerVerb, option});
  };
  switch (verb) {
    case kDo:
      if (WeSpeak(option)) {
        if (!we_[option]) answer(kWill);
        we_[option] = true;
      } else {
        answer(kWont);
      }
      break;
    case kDont:
      if (option == kComPort) comPortRefused_ = true;
      if (we_[option]) answer(kWont);
      we_[option] = false;
      break;
    case kWill:
      if (WeAccept(option)) {
        if (!they_[option]) answer(kDo);
        they_[option] = true;
      } else {
        answer(kDont);
      }
      break;
    case kWont:
      if (they_[option]) answer(kDont);
      they_[option] = false;
      break;
    default:
      break;
  }
}

void Stream::Subnegotiation() {
  if (sub_.size() < 2 || sub_[0] != kComPort) return;
  const uint8_t code = sub_[1];
  const std::span<const uint8_t> value(sub_.begin() + 2, sub_.end());
  if (code == kNotifyLineState && !value.empty()) {
    lineState_ |= value[0];
  } else if (code == kNotifyModemState && !value.empty()) {
    const bool high = value[0] & kModemCts;
    if (high) {
      ctsSeenHigh_ = true;
      clearToSend_ = true;
    } else if (ctsSeenHigh_ || (value[0] & kModemCtsChanged)) {
      clearToSend_ = false;
    }
  } else if (code > kServerOffset) {
    if (code == kServerOffset + kPurgeData && purgesUnanswered_ > 0) --purgesUnanswered_;
    uint32_t number = 0;
    for (const uint8_t byte : value.first(std::min<size_t>(value.size(), 4)))
      number = number << 8 | byte;
    answers_.at(code - kServerOffset) = number;
  }
}

uint8_t Stream::TakeLineState() {
  const uint8_t state = lineState_;
  lineState_ = 0;
  return state;
}

}  // namespace kestradr::telnet
