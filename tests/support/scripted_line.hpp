// In-process printer lines: each records the sequences the driver sends (an input purge
// starts one) and answers at once; nothing to read is an immediate read time-out.
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
  std::vector<uint8_t> Commands() const;
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
  // CE_* flags reported through the port's event wait, as a real port does.
  void RaiseLineError(uint32_t flags);
  // Null while the line is gone.
  std::unique_ptr<SerialDevice> OpenDevice();

  // For a device that carries the line's bytes elsewhere (network_route.hpp): what the
  // line's own device would do without a transfer.
  bool Gone() const {
    return Locked([&] { return gone_; });
  }
  bool WritesFail() const {
    return Locked([&] { return failWrites_; });
  }
  // A read found nothing: time may pass for the other end.
  virtual void PassSilence() {}

 protected:
  enum class At { kEscape, kCommand, kParameter };
  // Under the lock: the other end's answer to a byte; exchange `index` (since the last
  // ClearRecord) begins.
  virtual void Answer(uint8_t byte, At at) = 0;
  virtual void Begins(int) {}
  virtual std::unique_ptr<SerialDevice> NewDevice();
  void Queue(const std::vector<uint8_t>& b) { pending_.insert(pending_.end(), b.begin(), b.end()); }
  void ClearRecordLocked() {
    sequences_.clear();
    written_.clear();
    read_ = 0;
  }
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
  int headerBytes_ = 0;  // of ESC + command seen in the current sequence
  bool failWrites_ = false;
  int openCount_ = 0;
  uint32_t lineErrors_ = 0;
  Event lineEvent_;
};

// A port on an in-process line; it keeps the line alive, as the driver may close the port
// after the test let go of the line.
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

// Answers from a script keyed by command; silent on anything unscripted.
class ScriptedLine : public InProcessLine {
 public:
  // The next sequence with this command (replies queue up per command).
  void Reply(uint8_t command, std::vector<uint8_t> first, size_t parameterCount = 0,
             std::vector<uint8_t> second = {});
  // Every sequence with this command that has no queued reply.
  void Always(uint8_t command, std::vector<uint8_t> first, size_t parameterCount = 0,
              std::vector<uint8_t> second = {});
  void Forget(uint8_t command);

 private:
  void Answer(uint8_t byte, At at) override;

  std::map<uint8_t, std::deque<ScriptedReply>> queued_;
  std::map<uint8_t, ScriptedReply> always_;
  std::optional<ScriptedReply> current_;
};

// Routes every port the driver opens to `line` (null: to none); a gone line fails the
// opening as a missing port does.
void RouteTo(std::shared_ptr<InProcessLine> line);

class ScriptedPort {
 public:
  explicit ScriptedPort(std::shared_ptr<ScriptedLine> line) { RouteTo(std::move(line)); }
  ~ScriptedPort() { RouteTo(nullptr); }
  ScriptedPort(const ScriptedPort&) = delete;
  ScriptedPort& operator=(const ScriptedPort&) = delete;
};

}  // namespace kestradr::testing
