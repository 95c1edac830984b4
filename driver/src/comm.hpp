// The serial port object and the module operations on it: opening, closing, purging,
// re-timing, probing, and the single-byte primitives the sequence exchange is built on.
#pragma once

#include <cstdint>
#include <string>

namespace kestradr {

// Opens COM `port` (a new port object each time). 0, an OS error, or 5 when a port is
// already open in this process.
int32_t InitPort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSeconds,
                 uint16_t readTimeoutSeconds);
int32_t DonePort();
void PurgePort();
bool SetPortTimeouts(uint16_t writeSeconds, uint16_t readSeconds);
// The time-outs the open port works with, in seconds; false when no port is open.
bool CurrentPortTimeouts(uint16_t& writeSeconds, uint16_t& readSeconds);
bool PortAvailable(uint8_t port);
bool PortIsOpen();

// One byte through the writer thread. The outcome is also left in TransferFailed().
bool WriteByte(uint8_t byte);
bool ReadByte(uint8_t& byte);

bool TransferFailed();
// True when a failure is recorded that fails every exchange until the port is opened
// again. Line events waiting for the caller's thread are served first, so a line error
// that has already happened counts.
bool PortFailed();
uint32_t CommErrorCode();
std::string CommErrorText();
void SetCommError(const std::string& text, uint32_t code);

}  // namespace kestradr
