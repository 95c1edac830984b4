// A port whose printer answers with whatever the fuzzer gives: every byte the driver
// reads is the next input byte, and the end of the input is a read time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "in_memory_device.hpp"
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

class ReplyDevice : public kestradr::testing::InMemoryDevice {
 public:
  explicit ReplyDevice(std::shared_ptr<ReplyStream> stream) : stream_(std::move(stream)) {}
  Transfer Write(uint8_t, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    return {TransferStatus::Done, 1, 0};
  }
  Transfer Read(uint8_t& byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    return {TransferStatus::Done, stream_->Take(byte) ? 1u : 0u, 0};
  }
  // The replies are the input: purges keep them.

 private:
  std::shared_ptr<ReplyStream> stream_;
};

// Routes every port the driver opens to `stream`.
inline void InstallReplyStream(const std::shared_ptr<ReplyStream>& stream) {
  SetDeviceOpener([stream](const PortAddress&) {
    DeviceOpenResult result;
    result.device = std::make_unique<ReplyDevice>(stream);
    return result;
  });
  SetPortProbe([](int) { return true; });
}

}  // namespace kestradr::fuzzing
