// Pieces of the Win32 serial device that decide something without touching a port, kept
// apart so that they can be checked on their own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

namespace kestradr {

// The device path for a port name ("Com3") given what QueryDosDevice maps it to: a port
// redirected from a remote-desktop client lives under \\tsclient\, every other under \\.\.
std::string DevicePathFor(const std::string& portName, const std::string& dosMapping);

// The line format on top of the DCB the device reported: `baud`, 8 data bits, even parity
// sent, one stop bit, and the flags word 0x4005 (binary, CTS output flow control, abort
// on error; no input parity check, no DSR flow, DTR and RTS off, no XON/XOFF, no error
// character, no NUL stripping).
inline constexpr uint32_t kLineFlagsWord = 0x4005;
void SetLineFormat(DCB& dcb, uint32_t baud);
// The 32 flag bits of a DCB as one word (the bit fields after BaudRate).
uint32_t DcbFlagsWord(const DCB& dcb);

// Owns a kernel HANDLE; both NULL and INVALID_HANDLE_VALUE mean "none", since CreateFile
// and CreateEvent fail with different ones.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace kestradr
