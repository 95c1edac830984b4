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

#include <atomic>
#include <cstdint>

namespace kestradr::trace {

// Read from the environment once, when the module is loaded. The hooks below are called
// only while this answers true.
bool Enabled();

// Starts tracing into `path` (appending), or stops it for a null path. For tests; the
// environment variable does the same at load time.
void Start(const char* path);

// The bytes of one sequence are gathered per thread and written together, so the lines
// of two printers traced at once from two threads never interleave inside a sequence.
void BeginSequence(uint8_t command);
void EndSequence();
void Sent(uint8_t byte, bool ok);
void Received(uint8_t byte, bool ok);

}  // namespace kestradr::trace
