// A scripted printer line for driver tests: the fake device records every sequence the
// driver sends and answers from a script keyed by command. Anything unscripted stays
// silent, so the driver sees a read time-out at once.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "event.hpp"
#include "serial_device.hpp"

namespace kestradr::testing {

struct SentSequence {
  uint8_t command = 0;
  std::vector<uint8_t> parameters;  // every byte written after the command byte
};

struct ScriptedReply {
  std::vector<uint8_t> first;          // sent as soon as the command byte arrives
  size_t parameterCount = 0;           // after this many parameter bytes ...
  std::vector<uint8_t> second;         // ... this is sent
};

class ScriptedLine {
 public:
  // Answers the next sequence with this command (replies queue up per command).
  void Reply(uint8_t command, std::vector<uint8_t> first, size_t parameterCount = 0,
             std::vector<uint8_t> second = {});
  // Answers every sequence with this command that has no queued reply.
  void Always(uint8_t command, std::vector<uint8_t> first, size_t parameterCount = 0,
              std::vector<uint8_t> second = {});
  void Forget(uint8_t command);

  // Failure switches.
  void FailWrites(bool fail);
  // Reports a line error (the CE_* flags) through the device's event wait.
  void RaiseLineError(uint32_t flags);

  std::vector<SentSequence> Sequences() const;
  std::vector<uint8_t> Commands() const;  // the command bytes in order
  std::vector<uint8_t> Written() const;
  void ClearRecord();
  int OpenCount() const;

  // Device side.
  std::unique_ptr<SerialDevice> OpenDevice();

 private:
  friend class ScriptedDevice;
  void OnWrite(uint8_t byte);
  bool TakeByte(uint8_t& byte);
  void StartSequence();
  void ClearPending();

  mutable std::mutex mutex_;
  std::map<uint8_t, std::deque<ScriptedReply>> queued_;
  std::map<uint8_t, ScriptedReply> always_;
  std::vector<SentSequence> sequences_;
  std::vector<uint8_t> written_;
  std::deque<uint8_t> pending_;
  bool expectSequenceStart_ = true;
  int headerBytes_ = 0;  // bytes of ESC + command seen in the current sequence
  ScriptedReply current_;
  bool currentHasReply_ = false;
  bool failWrites_ = false;
  uint32_t lineErrors_ = 0;
  int openCount_ = 0;
  Event lineEvent_;
};

// Routes every port the driver opens to `line` for the lifetime of this object.
class ScriptedPort {
 public:
  explicit ScriptedPort(std::shared_ptr<ScriptedLine> line);
  ~ScriptedPort();
  ScriptedPort(const ScriptedPort&) = delete;
  ScriptedPort& operator=(const ScriptedPort&) = delete;
};

}  // namespace kestradr::testing
