// The port object TComm. Private to the serial layer (and its tests); the rest of the
// driver uses the SerialLink of comm.hpp, which owns it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "comm_texts.hpp"
#include "event.hpp"
#include "serial_device.hpp"

namespace kestradr {

class SerialLink;
class TZdarzeniaCommThread;
class TZapisOdczytThread;

// Communication events as the event set names them (Windows EV_* numbering).
inline constexpr uint32_t kEvBreak = 0x40;
inline constexpr uint32_t kEvCts = 0x08;
inline constexpr uint32_t kEvDsr = 0x10;
inline constexpr uint32_t kEvErr = kEventError;
inline constexpr uint32_t kEvRing = 0x100;
inline constexpr uint32_t kEvRlsd = 0x20;
inline constexpr uint32_t kEvRxChar = 0x01;
inline constexpr uint32_t kEvRxFlag = 0x02;
inline constexpr uint32_t kEvTxEmpty = 0x04;
inline constexpr uint32_t kAllEvents = 0x1FF;

class TComm {
 public:
  explicit TComm(SerialLink& link);
  virtual ~TComm();  // Stop
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  void Configure(uint32_t baud, const PortAddress& address, uint32_t writeTimeoutMs,
                 uint32_t readTimeoutMs);
  uint32_t Start();
  uint32_t Stop();
  bool IsOpen() const;
  virtual uint32_t OpenDevice();
  void CloseDevice();
  uint32_t ApplyLineSettings();
  uint32_t SetTimeouts(uint32_t writeTimeoutMs, uint32_t readTimeoutMs);
  uint32_t PurgeOutput();
  uint32_t PurgeInput();
  // A pause of the caller's, passed on the device (slept when none is open).
  void Rest(std::chrono::milliseconds pause);
  // On the writer thread: one byte each; the number of bytes moved. Both end by
  // signalling IdleEvent, which hands the outcome (and `byte` for a read) back.
  uint32_t WriteData(uint8_t byte);
  uint32_t ReadData(uint8_t& byte);
  virtual void EventOccurred(uint32_t event);
  // The event dispatcher, run on the main thread for each event the event thread saw.
  void DispatchEvents(uint32_t mask);

  const std::string& PortName() const { return portName_; }
  // Why the last OpenDevice failed, in the platform's terms (0 when the device source
  // gave only the driver's number), and whether what opened was no character device.
  int OpenNativeError() const { return openNativeError_; }
  bool OpenedNotCharacterDevice() const { return openedNotCharacter_; }
  const CommTimeouts& WorkingTimeouts() const { return workingTimeouts_; }
  const CommTimeouts& SavedTimeouts() const { return savedTimeouts_; }

 private:
  uint32_t StartThreadsAndLine();
  void Record(std::string_view text, uint32_t code);
  template <std::size_t N>
  void Record(const Cp1250Text<N>& text, uint32_t code) {
    Record(text.view(), code);
  }
  // Ends a transfer on the writer thread: hands IdleEvent back to the caller.
  uint32_t ReleaseCaller(uint32_t count);

  SerialLink& link_;
  std::unique_ptr<SerialDevice> device_;
  CommTimeouts savedTimeouts_{};
  CommTimeouts workingTimeouts_{};
  std::unique_ptr<TZdarzeniaCommThread> eventThread_;
  std::unique_ptr<TZapisOdczytThread> writerThread_;
  uint32_t eventSet_ = kAllEvents;
  uint32_t lineErrors_ = 0;
  uint32_t baudRate_ = 0;
  uint32_t inputQueueSize_ = 4096;
  uint32_t outputQueueSize_ = 2048;
  uint32_t writeTimeoutMs_ = 0;
  uint32_t readTimeoutMs_ = 0;
  PortAddress address_{2, {}};
  std::string portName_ = "Comm2";
  int openNativeError_ = 0;
  bool openedNotCharacter_ = false;
};

}  // namespace kestradr
