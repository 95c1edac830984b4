#include "network_route.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "scripted_line.hpp"
#include "ser2net.hpp"
#include "tcp_serial_device.hpp"

namespace kestradr::testing {
namespace {

using namespace std::chrono_literals;
constexpr uint32_t kIoError = 5;

// The pseudo-terminal ser2net serves, and the pump between its other end and the line
// routed now.
class Bridge {
 public:
  Bridge() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
      throw std::runtime_error("no pseudo-terminal");
    const std::string slave = ptsname(master_);
    // Held open so that the master reads nothing but data between ser2net's connections.
    slave_ = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave_ < 0 || tcgetattr(slave_, &raw) != 0) throw std::runtime_error("no pty slave");
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    ser2net_ = std::make_unique<Ser2net>(slave);
    ser2net_->Start();
    pump_ = std::thread([this] { Pump(); });
  }
  ~Bridge() {
    stop_ = true;
    pump_.join();
    ser2net_.reset();
    close(slave_);
    close(master_);
  }

  std::string Url(const std::string& mode) const {
    return mode == "raw" ? ser2net_->Raw() : ser2net_->Rfc2217();
  }
  void RestartServer() {
    ser2net_->Stop(true);
    ser2net_->Start();
  }
  // Bytes from ser2net handed to a routed line so far.
  uint64_t Delivered() const { return delivered_; }
  void Route(std::shared_ptr<InProcessLine> line) {
    std::lock_guard lock(mutex_);
    if (line == line_) return;
    line_ = std::move(line);
    device_ = line_ ? std::make_unique<LineDevice>(*line_, line_) : nullptr;
  }

 private:
  // Each byte from ser2net goes to the line; whatever the line answers goes back at once.
  void Pump() {
    const Event never;
    uint8_t in[256];
    std::vector<uint8_t> out;
    while (!stop_) {
      pollfd ready{master_, POLLIN, 0};
      const int got = poll(&ready, 1, 2) > 0 ? static_cast<int>(read(master_, in, sizeof in)) : 0;
      out.clear();
      {
        std::lock_guard lock(mutex_);
        if (!device_) continue;
        for (int i = 0; i < got; ++i) device_->Write(in[i], never);
        if (got > 0) delivered_ += static_cast<uint64_t>(got);
        uint8_t byte = 0;
        while (device_->Read(byte, never).count == 1) out.push_back(byte);
      }
      for (size_t sent = 0; sent < out.size();) {
        const ssize_t n = write(master_, out.data() + sent, out.size() - sent);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
    }
  }

  int master_ = -1, slave_ = -1;
  std::unique_ptr<Ser2net> ser2net_;
  std::mutex mutex_;
  std::shared_ptr<InProcessLine> line_;
  std::unique_ptr<LineDevice> device_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> delivered_{0};
  std::thread pump_;
};

Bridge& TheBridge() {
  static Bridge bridge;
  return bridge;
}

// The network device, with what the line's own device adds: the line's vanishing and
// failing writes, and time that passes for the printer on rests and silent reads.
class RoutedDevice : public SerialDevice {
 public:
  RoutedDevice(std::unique_ptr<SerialDevice> net, std::unique_ptr<SerialDevice> local,
               std::shared_ptr<InProcessLine> line)
      : net_(std::move(net)),
        local_(std::move(local)),
        line_(std::move(line)),
        delivered_(TheBridge().Delivered()) {}

  uint32_t ApplyLineSettings(uint32_t baud) override { return net_->ApplyLineSettings(baud); }
  uint32_t SetQueueSizes(uint32_t in, uint32_t out) override {
    return net_->SetQueueSizes(in, out);
  }
  uint32_t GetTimeouts(CommTimeouts& t) override { return net_->GetTimeouts(t); }
  uint32_t SetTimeouts(const CommTimeouts& t) override { return net_->SetTimeouts(t); }
  uint32_t SetEventMask(uint32_t mask) override { return net_->SetEventMask(mask); }
  Transfer Write(uint8_t byte, const Event& abort) override {
    if (line_->Gone()) return {TransferStatus::Failed, 0, kIoError};
    if (line_->WritesFail()) return {TransferStatus::Done, 0, 0};
    const Transfer written = net_->Write(byte, abort);
    written_ += written.count;
    return written;
  }
  Transfer Read(uint8_t& byte, const Event& abort) override {
    if (line_->Gone()) return {TransferStatus::Failed, 0, kIoError};
    const Transfer read = net_->Read(byte, abort);
    if (read.status == TransferStatus::Done && read.count == 0) line_->PassSilence();
    return read;
  }
  uint32_t PurgeOutput() override { return net_->PurgeOutput(); }
  // The line's purge also marks where its next sequence starts: once the bytes written
  // before it have crossed the server, or the tail of an unanswered sequence still on its
  // way would be read as the next one's ESC and command. Bounded: bytes lost with a
  // killed server never come.
  uint32_t PurgeInput() override {
    const uint32_t error = net_->PurgeInput();
    for (const auto until = std::chrono::steady_clock::now() + 500ms;
         TheBridge().Delivered() - delivered_ < written_ &&
         std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(100us);
    local_->PurgeInput();
    return error;
  }
  uint32_t PurgeAll() override {
    const uint32_t error = net_->PurgeAll();
    local_->PurgeAll();
    return error;
  }
  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override {
    return net_->WaitLineEvent(stop, mask);
  }
  uint32_t ClearLineErrors(uint32_t& errors) override { return net_->ClearLineErrors(errors); }
  // Time passes for the emulated printer as on its own line, without waiting for it.
  void Rest(std::chrono::milliseconds pause) override { local_->Rest(pause); }

 private:
  std::unique_ptr<SerialDevice> net_, local_;
  std::shared_ptr<InProcessLine> line_;
  const uint64_t delivered_;          // the bridge's count when this connection began
  std::atomic<uint64_t> written_{0};  // printer bytes handed to the connection since
};

}  // namespace

std::string NetworkRouteMode() {
  const char* mode = std::getenv("TAURAVAT_TEST_NETWORK");
  return mode == nullptr ? "" : mode;
}

void RestartNetworkServer() {
  TheBridge().RestartServer();
}

DeviceOpener NetworkOpener(std::shared_ptr<InProcessLine> line) {
  const std::string url = TheBridge().Url(NetworkRouteMode());
  TheBridge().Route(line);
  return [line, url](const PortAddress&) {
    DeviceOpenResult result;
    std::unique_ptr<SerialDevice> local = line->OpenDevice();
    if (!local) {
      result.osError = kErrorFileNotFound;
      return result;
    }
    result = OpenNetworkDevice(url);
    if (result.device)
      result.device =
          std::make_unique<RoutedDevice>(std::move(result.device), std::move(local), line);
    return result;
  };
}

}  // namespace kestradr::testing
