// A port whose printer answers with whatever the fuzzer gives: every byte the driver
// reads is the next input byte, and the end of the input is a read time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "serial_device.hpp"

namespace kestradr::fuzzing {

class ReplyStream {
 public:
  void Feed(const uint8_t* data, size_t size) {
    std::lock_guard lock(mutex_);
    bytes_.assign(data, data + size);
    next_ = 0;
  }
  bool Take(uint8_t& byte) {
    std::lock_guard lock(mutex_);
    if (next_ >= bytes_.size()) return false;
    byte = bytes_[next_++];
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<uint8_t> bytes_;
  size_t next_ = 0;
};

class ReplyDevice : public SerialDevice {
 public:
  explicit ReplyDevice(std::shared_ptr<ReplyStream> stream) : stream_(std::move(stream)) {}
  uint32_t ApplyLineSettings(uint32_t) override { return 0; }
  uint32_t SetQueueSizes(uint32_t, uint32_t) override { return 0; }
  uint32_t GetTimeouts(CommTimeouts& t) override {
    t = timeouts_;
    return 0;
  }
  uint32_t SetTimeouts(const CommTimeouts& t) override {
    timeouts_ = t;
    return 0;
  }
  uint32_t SetEventMask(uint32_t) override { return 0; }
  Transfer Write(uint8_t, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    return {TransferStatus::Done, 1, 0};
  }
  Transfer Read(uint8_t& byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    return {TransferStatus::Done, stream_->Take(byte) ? 1u : 0u, 0};
  }
  uint32_t PurgeOutput() override { return 0; }
  uint32_t PurgeInput() override { return 0; }  // the replies are the input: keep them
  uint32_t PurgeAll() override { return 0; }
  LineWait WaitLineEvent(const Event& stop, uint32_t&) override {
    return WaitForAny({&stop}) == 0 ? LineWait::Stopped : LineWait::Failed;
  }
  uint32_t ClearLineErrors(uint32_t& errors) override {
    errors = 0;
    return 0;
  }

 private:
  std::shared_ptr<ReplyStream> stream_;
  CommTimeouts timeouts_;
};

// Routes every port the driver opens to `stream`.
inline void InstallReplyStream(const std::shared_ptr<ReplyStream>& stream) {
  SetDeviceOpener([stream](int) {
    DeviceOpenResult result;
    result.device = std::make_unique<ReplyDevice>(stream);
    return result;
  });
  SetPortProbe([](int) { return true; });
}

}  // namespace kestradr::fuzzing
