// The rfc2217:// device: Telnet with the COM port option to a serial device server. The
// server's port takes the driver's line settings; purges reach the server's buffer; CTS
// and the line errors come back as the server's notifications.

#include "os_error.hpp"
#include "tcp_serial_device.hpp"
#include "telnet_com_port.hpp"

namespace kestradr {
namespace {

namespace tn = telnet;

uint32_t LineErrorFlags(uint8_t lineState) {
  uint32_t flags = 0;
  if (lineState & tn::kLineStateBreak) flags |= kLineBreak;
  if (lineState & tn::kLineStateFraming) flags |= kLineFraming;
  if (lineState & tn::kLineStateParity) flags |= kLineParity;
  if (lineState & tn::kLineStateOverrun) flags |= kLineOverrun;
  return flags;
}

class Rfc2217Device final : public TcpSerialDevice {
 public:
  using TcpSerialDevice::TcpSerialDevice;

  // Agrees on the options and asks for the notices. The server's answer to a purge
  // shows that it serves us; one that serves somebody else hangs up instead.
  uint32_t Negotiate() {
    std::lock_guard lock(io_);
    const std::vector<uint8_t> greeting = stream_.Greeting();
    output_.insert(output_.end(), greeting.begin(), greeting.end());
    const uint8_t lineMask =
        tn::kLineStateBreak | tn::kLineStateFraming | tn::kLineStateParity | tn::kLineStateOverrun;
    const uint8_t modemMask = tn::kModemCts | tn::kModemCtsChanged;
    Queue(tn::ComPortCommand(tn::kSetLineStateMask, std::span(&lineMask, 1)));
    Queue(tn::ComPortCommand(tn::kSetModemStateMask, std::span(&modemMask, 1)));
    const uint32_t purged = Ask({{tn::kPurgeData, tn::kPurgeReceive}});
    input_.clear();
    return purged;
  }

  uint32_t ApplyLineSettings(uint32_t baud) override {
    if (baud == 0) return kErrorInvalidParameter;
    std::lock_guard lock(io_);
    // The server answers each with what its port now holds.
    return Ask({{tn::kSetBaudRate, baud},
                {tn::kSetDataSize, 8},
                {tn::kSetParity, tn::kParityEven},
                {tn::kSetStopSize, tn::kStopBitsOne},
                {tn::kSetControl, tn::kControlHardware}});
  }

 protected:
  void TakeIn(std::span<const uint8_t> received) override {
    stream_.Receive(received, input_, output_);
    if (const uint8_t state = stream_.TakeLineState(); LineErrorFlags(state) != 0)
      RaiseLineErrors(LineErrorFlags(state));
  }
  void PutOut(uint8_t byte) override { stream_.Encode(byte, output_); }
  bool ClearToSend() override {
    // The notice that CTS dropped may be waiting: taken in before each byte goes.
    Pull(idle_, Deadline::After(std::chrono::milliseconds(0)));
    return stream_.ClearToSend();
  }

  // What the server holds: it answers the purge in order, so what arrives before the
  // answer is dropped as it comes in, without waiting here for a round trip. The command
  // waits for the next byte written (the sequence's first) and travels in its segment:
  // the server then purges and passes the byte on in one wake-up instead of two, which
  // is time on the printer's line at every turn. A read sends it first.
  uint32_t PurgeServerInput() override {
    Queue(tn::ComPortCommand(tn::kPurgeData, std::span(&tn::kPurgeReceive, 1)));
    stream_.PurgeSent();
    return 0;
  }

 private:
  struct Request {
    uint8_t command;
    uint32_t value;
  };

  void Queue(const std::vector<uint8_t>& bytes) {
    output_.insert(output_.end(), bytes.begin(), bytes.end());
  }

  // Sends the commands and waits for the server's answer to each: 0 when every answer is
  // the value asked for, 87 when one differs or the server refuses the COM port
  // option, 5 when it hangs up (serving another client), or the OS error.
  uint32_t Ask(std::initializer_list<Request> requests) {
    for (const Request& r : requests) {
      stream_.Forget(r.command);
      if (r.command == tn::kSetBaudRate) {
        Queue(tn::ComPortCommand(r.command, r.value));
      } else {
        const auto value = static_cast<uint8_t>(r.value);
        Queue(tn::ComPortCommand(r.command, std::span(&value, 1)));
      }
    }
    const Deadline deadline = Deadline::After(kNetConnectLimit);
    uint32_t result = Push(idle_, deadline);
    const auto answered = [&] {
      for (const Request& r : requests)
        if (!stream_.Answer(r.command)) return false;
      return true;
    };
    while (result == 0 && !answered() && !stream_.ComPortRefused()) result = Pull(idle_, deadline);
    if (stream_.ComPortRefused()) return kErrorInvalidParameter;
    if (result == kTimedOut) return TimedOutError();
    // Hung up while the line is agreed (a reset, or a write that found it closed): the
    // server is serving another client.
    if (result == ConnectionResetError() || (result != 0 && Dropped())) return kErrorAccessDenied;
    if (result != 0) return result;
    for (const Request& r : requests) {
      // A purge's answer names what was purged; the settings' answers what is in force.
      if (r.command != tn::kPurgeData && *stream_.Answer(r.command) != r.value)
        return kErrorInvalidParameter;
    }
    return 0;
  }

  tn::Stream stream_;
};

}  // namespace

DeviceOpenResult OpenRfc2217Device(const NetAddress& address) {
  DeviceOpenResult result;
  SocketOpen connected = TcpSocket::Connect(address.host, address.port, kNetConnectLimit);
  if (!connected.socket) {
    result.osError = connected.osError;
    result.nativeError = connected.nativeError;
    return result;
  }
  auto device = std::make_unique<Rfc2217Device>(std::move(connected.socket));
  if (const uint32_t negotiated = device->Negotiate(); negotiated != 0) {
    result.osError = negotiated;
    // A server that hangs up while the line is agreed is serving another client.
    if (negotiated == kErrorAccessDenied) result.nativeError = BusyNativeError();
    return result;
  }
  result.device = std::move(device);
  return result;
}

}  // namespace kestradr
