// The port object TComm and the module state the byte primitives share with its worker
// threads. Private to the serial layer (and its tests); the rest of the driver uses
// comm.hpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "event.hpp"
#include "serial_device.hpp"

namespace kestradr {

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
  TComm();
  virtual ~TComm();  // Stop
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  void Configure(uint32_t baud, uint8_t port, uint16_t writeTimeoutSeconds,
                 uint16_t readTimeoutSeconds);
  uint32_t Start();
  uint32_t Stop();
  bool IsOpen() const;
  virtual uint32_t OpenDevice();
  void CloseDevice();
  uint32_t ApplyLineSettings();
  uint32_t SetTimeouts(uint16_t writeSeconds, uint16_t readSeconds);
  uint32_t PurgeOutput();
  uint32_t PurgeInput();
  // On the writer thread: one byte each; the number of bytes moved. Both end by
  // signalling IdleEvent, which hands the outcome (and `byte` for a read) back.
  uint32_t WriteData(uint8_t byte);
  uint32_t ReadData(uint8_t& byte);
  virtual void EventOccurred(uint32_t event);
  // The event dispatcher, run on the main thread for each event the event thread saw.
  void DispatchEvents(uint32_t mask);

  const std::string& PortName() const { return portName_; }
  const CommTimeouts& WorkingTimeouts() const { return workingTimeouts_; }
  const CommTimeouts& SavedTimeouts() const { return savedTimeouts_; }

 private:
  uint32_t StartThreadsAndLine();

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
  uint16_t writeTimeout_ = 0;
  uint16_t readTimeout_ = 0;
  uint8_t portNumber_ = 2;
  std::string portName_ = "Comm2";
};

// Module state. The names are those of the port's design; they live in their own
// namespace because comm.hpp offers accessor functions of the same names.
namespace comm {

extern std::unique_ptr<TComm> Comm;
extern bool PortOpen;
extern std::atomic<bool> TransferFailed;
// Ordered by the hand-over events: written before a request (ByteToWrite) or before
// IdleEvent is signalled (ByteRead), read only after the matching wait.
extern uint8_t ByteToWrite;
extern uint8_t ByteRead;
// Made afresh at every Start (none exist before the first open); AbortEvent is
// signalled at every Stop and stays so until the next Start.
extern std::unique_ptr<Event> IdleEvent;
extern std::unique_ptr<Event> WriteRequestEvent;
extern std::unique_ptr<Event> ReadRequestEvent;
extern std::unique_ptr<Event> AbortEvent;

}  // namespace comm
}  // namespace kestradr
