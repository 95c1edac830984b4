// The protocol trace for service technicians: with TAURAVAT_TRACE naming a file, every
// byte on the line is appended to it, one line per byte:
//
//   <microseconds since tracing began> <direction> <command> <byte> [failed|timeout]
//
// ">" is computer to printer, "<" printer to computer; command and byte in hex, the
// command being the one of the sequence the byte belongs to. Lines starting with "#"
// are comments. The file is written once per sequence. The printer emulator writes the
// same lines from the printer's end.
#pragma once

#include <cstdint>

#include "comm.hpp"

namespace kestradr::trace {

// Read from the environment once, when the module is loaded. The hooks below test only
// this flag when tracing is off.
extern bool enabled;

// Starts tracing into `path` (appending), or stops it for a null path. For tests; the
// environment variable does the same at load time.
void Start(const char* path);

void BeginSequence(uint8_t command);
void EndSequence();
void Sent(uint8_t byte, bool ok);
void Received(uint8_t byte, bool ok);

}  // namespace kestradr::trace

namespace kestradr {

// The single-byte primitives with the trace hook.
inline bool TracedWrite(uint8_t byte) {
  const bool ok = WriteByte(byte);
  if (trace::enabled) trace::Sent(byte, ok);
  return ok;
}

inline bool TracedRead(uint8_t& byte) {
  const bool ok = ReadByte(byte);
  if (trace::enabled) trace::Received(byte, ok);
  return ok;
}

}  // namespace kestradr
