// The device interface between the port object and the platform. The port object
// (comm.cpp) owns the threads, the hand-over and every recorded text; a device only
// moves bytes and reports OS outcomes. Implementations: serial_device_posix.cpp,
// serial_device_win32.cpp, and scripted fakes in the tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "event.hpp"

namespace kestradr {

// OS error numbers the rest of the driver understands, whatever the platform reports.
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorInvalidParameter = 87;

// The five time-out values of a Windows COMMTIMEOUTS block, in milliseconds.
// A read interval of kMaxTimeout with both read constants 0 means "return at once
// with whatever is buffered".
struct CommTimeouts {
  uint32_t readInterval = 0;
  uint32_t readTotalMultiplier = 0;
  uint32_t readTotalConstant = 0;
  uint32_t writeTotalMultiplier = 0;
  uint32_t writeTotalConstant = 0;
};
inline constexpr uint32_t kMaxTimeout = 0xFFFFFFFFu;

// Outcome of a single-byte transfer. `Done` with count 0 is a time-out.
enum class TransferStatus { Done, Aborted, Failed };
struct Transfer {
  TransferStatus status = TransferStatus::Failed;
  uint32_t count = 0;
  uint32_t osError = 0;
};

// Communication event bits (as Windows numbers them) and line error flags.
inline constexpr uint32_t kEventError = 0x80;
inline constexpr uint32_t kLineBreak = 0x10;
inline constexpr uint32_t kLineFraming = 0x08;
inline constexpr uint32_t kLineOverrun = 0x02;
inline constexpr uint32_t kLineInputOverflow = 0x01;
inline constexpr uint32_t kLineParity = 0x04;
inline constexpr uint32_t kLineOutputFull = 0x100;

enum class LineWait { Event, Stopped, Failed };

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // 8 data bits, even parity, 1 stop bit, output flow control by CTS, binary.
  virtual uint32_t ApplyLineSettings(uint32_t baud) = 0;
  virtual uint32_t SetQueueSizes(uint32_t inputBytes, uint32_t outputBytes) = 0;
  virtual uint32_t GetTimeouts(CommTimeouts& timeouts) = 0;
  virtual uint32_t SetTimeouts(const CommTimeouts& timeouts) = 0;
  virtual uint32_t SetEventMask(uint32_t mask) = 0;

  // One byte each way, bounded by the time-outs; `abort` ends the wait early.
  virtual Transfer Write(uint8_t byte, const Event& abort) = 0;
  virtual Transfer Read(uint8_t& byte, const Event& abort) = 0;

  // Output purge: a byte the caller was told was written must still reach the line,
  // so where writes complete before the byte has left (POSIX) this waits for the
  // output to drain, within the write time-out, instead of discarding it.
  virtual uint32_t PurgeOutput() = 0;
  virtual uint32_t PurgeInput() = 0;
  // Abort pending transfers and clear the input; used when the port closes. Output
  // already written is let go to the line (within the write time-out), not discarded.
  virtual uint32_t PurgeAll() = 0;

  // Blocks until a communication event from the mask arrives (`mask` receives the
  // event bits) or `stop` is signalled.
  virtual LineWait WaitLineEvent(const Event& stop, uint32_t& mask) = 0;
  // Clears the device's line errors and returns their flags in `errors`.
  virtual uint32_t ClearLineErrors(uint32_t& errors) = 0;

  // The caller has nothing to send for `pause` (between status polls of a long
  // printout). A real line lets the time pass; an emulated one may pass it by itself.
  virtual void Rest(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }
};

struct DeviceOpenResult {
  std::unique_ptr<SerialDevice> device;  // null on failure
  uint32_t osError = 0;                  // 2, 5, 6, or another OS number
  int nativeError = 0;                   // the platform's own number (errno); 0: osError's
  bool notCharacterDevice = false;       // opened, but not a character device
};

// Where a port is: COM `number` as the platform maps it (port_names_*.cpp), or, with a
// `path`, that device as named.
struct PortAddress {
  int number = 0;
  std::string path;
  bool Empty() const { return number == 0 && path.empty(); }
};

// "COM3" (any case, 1 to 255) names a port number; anything else is a path.
PortAddress ParsePortAddress(std::string_view device);

using DeviceOpener = std::function<DeviceOpenResult(const PortAddress& address)>;
using PortProbe = std::function<bool(int port)>;

// The platform's own device (serial_device_posix.cpp / serial_device_win32.cpp).
DeviceOpenResult OpenPlatformDevice(const PortAddress& address);
bool ProbePlatformPort(int port);
// Raise the process (Windows' priority class only) and the calling thread for
// time-critical transfers where the platform allows it; failures are not errors.
void RaiseProcessPriority();
enum class ThreadPriority { Highest, TimeCritical };
void RaiseThreadPriority(ThreadPriority priority);

// Replaces the device source (tests); an empty function restores the platform's.
void SetDeviceOpener(DeviceOpener opener);
void SetPortProbe(PortProbe probe);

}  // namespace kestradr
