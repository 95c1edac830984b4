// Telnet with the COM port option (RFC 2217), as a byte stream in each direction: the
// printer's bytes with IAC doubled, the option negotiation, and the COM port commands
// and notifications. Knows nothing of sockets, so it can be checked on its own.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace kestradr::telnet {

inline constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                         kSe = 240;
inline constexpr uint8_t kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPort = 44;

// COM port commands, client to server; the server answers each with the code plus 100.
inline constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                         kSetControl = 5, kSetLineStateMask = 10, kSetModemStateMask = 11,
                         kPurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;
inline constexpr uint8_t kNotifyLineState = 106, kNotifyModemState = 107;
inline constexpr uint8_t kParityEven = 3, kStopBitsOne = 1, kControlHardware = 3;
inline constexpr uint8_t kPurgeReceive = 1;
// Line state bits (NOTIFY-LINESTATE) and modem state bits (NOTIFY-MODEMSTATE).
inline constexpr uint8_t kLineStateBreak = 0x10, kLineStateFraming = 0x08, kLineStateParity = 0x04,
                         kLineStateOverrun = 0x02;
inline constexpr uint8_t kModemCts = 0x10, kModemCtsChanged = 0x01;

// IAC SB COM-PORT-OPTION command value... IAC SE, with IAC in the value doubled.
std::vector<uint8_t> ComPortCommand(uint8_t command, std::span<const uint8_t> value);
std::vector<uint8_t> ComPortCommand(uint8_t command, uint32_t baud);  // SET-BAUDRATE's 4 bytes

class Stream {
 public:
  // What the client asks for at once: it will speak the COM port option, and binary both ways.
  std::vector<uint8_t> Greeting();

  // Appends one printer byte as it travels: IAC doubled; a CR followed by NUL while the
  // server has not agreed to binary.
  void Encode(uint8_t byte, std::vector<uint8_t>& out) const;

  // Takes received bytes: printer bytes go to `data`, the answers the server expects to
  // its negotiation to `reply`.
  void Receive(std::span<const uint8_t> bytes, std::deque<uint8_t>& data,
               std::vector<uint8_t>& reply);

  // The server's answer to a COM port command (its value, big-endian for the baud rate)
  // since Forget(command).
  std::optional<uint32_t> Answer(uint8_t command) const { return answers_.at(command); }
  void Forget(uint8_t command) { answers_.at(command).reset(); }
  bool ComPortRefused() const { return comPortRefused_; }
  // A purge of the server's input was sent: the printer's bytes before the server's answer
  // to it left the server before it purged, and are dropped as they arrive (the stream
  // keeps its order, so nothing after the answer is lost and no round trip is waited for).
  void PurgeSent() { ++purgesUnanswered_; }
  // Line state error bits reported since the last call.
  uint8_t TakeLineState();
  // False once the server reported CTS low after it had been high or as a change; a server
  // that cannot see the line (a pseudo-terminal, "local") reports low from the start and
  // does not stop the writer.
  bool ClearToSend() const { return clearToSend_; }

 private:
  void Command(uint8_t verb, uint8_t option, std::vector<uint8_t>& reply);
  void Subnegotiation();
  void AddData(uint8_t byte, std::deque<uint8_t>& data);

  enum class State { Data, Iac, Verb, Sub, SubIac };
  State state_ = State::Data;
  uint8_t verb_ = 0;
  std::vector<uint8_t> sub_;
  bool afterCr_ = false;
  std::array<bool, 256> we_{};    // options in force on our side
  std::array<bool, 256> they_{};  // options in force on the server's side
  bool comPortRefused_ = false;
  std::array<std::optional<uint32_t>, 256> answers_{};
  uint8_t lineState_ = 0;
  bool clearToSend_ = true;
  bool ctsSeenHigh_ = false;
  int purgesUnanswered_ = 0;
};

}  // namespace kestradr::telnet
