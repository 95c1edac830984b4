// The in-process printer lines for driver tests. Each records every sequence the driver
// sends (a purge of the input marks the start of each) and answers at once: nothing
// waiting to be read is an immediate read time-out. The scripted line answers from a
// script keyed by command and stays silent on anything unscripted; the emulator line
// (emulator_line.hpp) feeds the bytes to an emulated printer.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "event.hpp"
#include "in_memory_device.hpp"
#include "serial_device.hpp"

namespace kestradr::testing {

struct SentSequence {
  uint8_t command = 0;
  std::vector<uint8_t> parameters;  // every byte written after the command byte
};

struct ScriptedReply {
  std::vector<uint8_t> first;   // sent as soon as the command byte arrives
  size_t parameterCount = 0;    // after this many parameter bytes ...
  std::vector<uint8_t> second;  // ... this is sent
};

class InProcessLine : public std::enable_shared_from_this<InProcessLine> {
 public:
  virtual ~InProcessLine() = default;

  std::vector<SentSequence> Sequences() const {
    return Locked([&] { return sequences_; });
  }
  std::vector<uint8_t> Commands() const;  // the command bytes in order
  std::vector<uint8_t> Written() const {
    return Locked([&] { return written_; });
  }
  uint64_t BytesOnLine() const {
    return Locked([&] { return written_.size() + read_; });
  }
  void ClearRecord() {
    Locked([&] { ClearRecordLocked(); });
  }
  int OpenCount() const {
    return Locked([&] { return openCount_; });
  }
  // Writes time out without reaching the other end.
  void FailWrites(bool fail) {
    Locked([&] { failWrites_ = fail; });
  }
  // Reports line errors (the CE_* flags) through the port's event wait, as a real port
  // does; they reach the driver's record once its thread serves the hand-over.
  void RaiseLineError(uint32_t flags);

  // Null while the line is gone.
  std::unique_ptr<SerialDevice> OpenDevice();

 protected:
  enum class At { kEscape, kCommand, kParameter };
  // Under the lock: what the other end does with a byte, and as exchange `index`
  // (counted from the last ClearRecord) begins.
  virtual void Answer(uint8_t byte, At at) = 0;
  virtual void Begins(int) {}
  virtual std::unique_ptr<SerialDevice> NewDevice();
  void Queue(const std::vector<uint8_t>& b) { pending_.insert(pending_.end(), b.begin(), b.end()); }
  void ClearRecordLocked() { sequences_.clear(), written_.clear(), read_ = 0; }
  template <class F>
  auto Locked(F f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }

  mutable std::mutex mutex_;
  std::vector<SentSequence> sequences_;
  std::deque<uint8_t> pending_;
  bool gone_ = false;  // every transfer and every opening fails

 private:
  friend class LineDevice;
  std::vector<uint8_t> written_;
  uint64_t read_ = 0;
  bool expectSequenceStart_ = true;
  int headerBytes_ = 0;  // bytes of ESC + command seen in the current sequence
  bool failWrites_ = false;
  int openCount_ = 0;
  uint32_t lineErrors_ = 0;
  Event lineEvent_;
};

// A port on an in-process line. It keeps a shared line alive: the driver may close a port
// after the test let go of it.
class LineDevice : public InMemoryDevice {
 public:
  LineDevice(InProcessLine& line, std::shared_ptr<InProcessLine> keep)
      : line_(line), keep_(std::move(keep)) {}

  Transfer Write(uint8_t byte, const Event& abort) override;
  Transfer Read(uint8_t& byte, const Event& abort) override;
  uint32_t PurgeInput() override;
  uint32_t PurgeAll() override;
  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override;
  uint32_t ClearLineErrors(uint32_t& errors) override;

 private:
  InProcessLine& line_;
  std::shared_ptr<InProcessLine> keep_;
};

class ScriptedLine : public InProcessLine {
 public:
  // Answers the next sequence with this command (replies queue up per command).
  void Reply(uint8_t command, std::vector<uint8_t> first, size_t parameterCount = 0,
             std::vector<uint8_t> second = {});
  // Answers every sequence with this command that has no queued reply.
  void Always(uint8_t command, std::vector<uint8_t> first, size_t parameterCount = 0,
              std::vector<uint8_t> second = {});
  void Forget(uint8_t command);

 private:
  void Answer(uint8_t byte, At at) override;

  std::map<uint8_t, std::deque<ScriptedReply>> queued_;
  std::map<uint8_t, ScriptedReply> always_;
  std::optional<ScriptedReply> current_;
};

// Routes every port the driver opens to `line` (null: to none); a line that is gone fails
// the opening as a missing port does.
void RouteTo(std::shared_ptr<InProcessLine> line);

// Routes every port the driver opens to `line` for the lifetime of this object.
class ScriptedPort {
 public:
  explicit ScriptedPort(std::shared_ptr<ScriptedLine> line) { RouteTo(std::move(line)); }
  ~ScriptedPort() { RouteTo(nullptr); }
  ScriptedPort(const ScriptedPort&) = delete;
  ScriptedPort& operator=(const ScriptedPort&) = delete;
};

}  // namespace kestradr::testing
