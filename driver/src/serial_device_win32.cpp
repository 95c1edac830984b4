// The serial device on the Win32 communications interface: the port opened as an
// overlapped device without sharing, the 8E1 line with CTS output flow control in the
// DCB, COMMTIMEOUTS bounding every single-byte ReadFile/WriteFile, WaitCommEvent for the
// event thread, PurgeComm and ClearCommError.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "os_error.hpp"
#include "port_names.hpp"
#include "serial_device.hpp"
#include "serial_win32.hpp"
#include "tcp_serial_device.hpp"

namespace kestradr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a cancelled overlapped operation may take to report its end before its block
// is set aside until the handle closes.
constexpr DWORD kSettleMs = 2000;

// A failed call whose GetLastError is 0 must still read as a failure.
uint32_t LastErrorOr(uint32_t fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

Transfer Done(DWORD count) {
  return {TransferStatus::Done, count, 0};
}
Transfer Aborted() {
  return {TransferStatus::Aborted, 0, 0};
}
Transfer Failed(uint32_t error) {
  return {TransferStatus::Failed, 0, error};
}

// One OVERLAPPED block with its own manual-reset event. It outlives every operation
// started on it: an operation that could not be seen to end keeps it `pending`.
struct IoBlock {
  OVERLAPPED block{};
  UniqueHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  bool pending = false;
};

class Win32SerialDevice final : public SerialDevice {
 public:
  explicit Win32SerialDevice(UniqueHandle handle) : handle_(std::move(handle)) {}

  ~Win32SerialDevice() override {
    // Closing the handle ends whatever is still pending on it; the blocks it writes
    // into go only after that end was seen.
    handle_.reset();
    for (IoBlock* io : {&write_, &read_, &line_}) {
      if (io->pending) WaitForSingleObject(io->event.get(), kSettleMs);
    }
  }

  bool EventsValid() const { return write_.event && read_.event && line_.event; }

  uint32_t ApplyLineSettings(uint32_t baud) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_.get(), &dcb)) return LastErrorOr(kErrorInvalidParameter);
    SetLineFormat(dcb, baud);
    if (!SetCommState(handle_.get(), &dcb)) return LastErrorOr(kErrorInvalidParameter);
    return 0;
  }

  uint32_t SetQueueSizes(uint32_t inputBytes, uint32_t outputBytes) override {
    return SetupComm(handle_.get(), inputBytes, outputBytes) ? 0
                                                             : LastErrorOr(kErrorInvalidParameter);
  }

  uint32_t GetTimeouts(CommTimeouts& timeouts) override {
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(handle_.get(), &t)) return LastErrorOr(kErrorInvalidHandle);
    timeouts = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    return 0;
  }

  uint32_t SetTimeouts(const CommTimeouts& timeouts) override {
    COMMTIMEOUTS t{timeouts.readInterval, timeouts.readTotalMultiplier, timeouts.readTotalConstant,
                   timeouts.writeTotalMultiplier, timeouts.writeTotalConstant};
    if (!SetCommTimeouts(handle_.get(), &t)) return LastErrorOr(kErrorInvalidParameter);
    readReturnsAtOnce_ = timeouts.readInterval == kMaxTimeout &&
                         timeouts.readTotalMultiplier == 0 && timeouts.readTotalConstant == 0;
    return 0;
  }

  uint32_t SetEventMask(uint32_t mask) override {
    return SetCommMask(handle_.get(), mask) ? 0 : LastErrorOr(kErrorInvalidParameter);
  }

  Transfer Write(uint8_t byte, const Event& abort) override {
    writeByte_ = byte;
    return Run(write_, abort, [this](OVERLAPPED* block, DWORD* count) {
      return WriteFile(handle_.get(), &writeByte_, 1, count, block);
    });
  }

  Transfer Read(uint8_t& byte, const Event& abort) override {
    // "Return at once with what is buffered": asked of an empty queue, wine leaves the
    // overlapped read pending for ever, so an empty queue is answered here.
    if (readReturnsAtOnce_) {
      DWORD errors = 0;
      COMSTAT status{};
      if (ClearCommError(handle_.get(), &errors, &status)) {
        KeepErrors(errors);
        if (status.cbInQue == 0) return Done(0);
      }
    }
    const Transfer transfer = Run(read_, abort, [this](OVERLAPPED* block, DWORD* count) {
      return ReadFile(handle_.get(), &readByte_, 1, count, block);
    });
    if (transfer.status == TransferStatus::Done && transfer.count == 1) byte = readByte_;
    return transfer;
  }

  // A completed write may still sit in the driver's queue (USB adapters complete early):
  // let it leave within the write time-out before the queue is cleared, so no byte the
  // caller was told was written is thrown away.
  uint32_t PurgeOutput() override {
    CommTimeouts t{};
    const bool bounded = GetTimeouts(t) == 0 && t.writeTotalMultiplier + t.writeTotalConstant != 0;
    const auto deadline =
        Clock::now() + milliseconds(bounded ? t.writeTotalMultiplier + t.writeTotalConstant : 0);
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!ClearCommError(handle_.get(), &errors, &status)) return LastErrorOr(kErrorInvalidHandle);
      KeepErrors(errors);
      if (status.cbOutQue == 0 || (bounded && Clock::now() >= deadline)) break;
      Sleep(1);  // about one byte at 9600 b/s
    }
    return Purge(PURGE_TXCLEAR);
  }

  uint32_t PurgeInput() override { return Purge(PURGE_RXCLEAR); }

  uint32_t PurgeAll() override {
    return Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }

  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override;

  uint32_t ClearLineErrors(uint32_t& errors) override {
    DWORD flags = 0;
    COMSTAT status{};
    const bool cleared = ClearCommError(handle_.get(), &flags, &status) != FALSE;
    const uint32_t code = cleared ? 0 : LastErrorOr(kErrorInvalidHandle);
    errors = pendingErrors_.exchange(0) | (cleared ? flags : 0);
    return code;
  }

 private:
  template <typename Start>
  Transfer Run(IoBlock& io, const Event& abort, Start start);
  // Completion errors that are no failure of the device.
  Transfer Ended(DWORD error);
  // Ends a started operation that is no longer wanted and waits for its end.
  void Cancel(IoBlock& io);
  // Waits (briefly) for an operation set aside by Cancel; false while it still runs.
  bool Settle(IoBlock& io, DWORD waitMs);
  // Line errors read by anyone but the dispatcher are kept for it.
  void KeepErrors(DWORD errors) {
    if (errors != 0) pendingErrors_.fetch_or(errors);
  }
  uint32_t Purge(DWORD flags) {
    return PurgeComm(handle_.get(), flags) ? 0 : LastErrorOr(kErrorInvalidHandle);
  }

  UniqueHandle handle_;
  IoBlock write_;
  IoBlock read_;
  IoBlock line_;
  uint8_t writeByte_ = 0;  // the buffers live as long as their blocks
  uint8_t readByte_ = 0;
  DWORD lineMask_ = 0;
  std::atomic<bool> readReturnsAtOnce_{false};
  std::atomic<uint32_t> pendingErrors_{0};
};

template <typename Start>
Transfer Win32SerialDevice::Run(IoBlock& io, const Event& abort, Start start) {
  if (!abort.Valid()) return Failed(kErrorInvalidHandle);
  if (!Settle(io, 0)) return Failed(ERROR_IO_PENDING);
  if (!ResetEvent(io.event.get())) return Failed(LastErrorOr(kErrorInvalidHandle));
  io.block = OVERLAPPED{};
  io.block.hEvent = io.event.get();
  DWORD count = 0;
  if (start(&io.block, &count)) return Done(count);
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return Ended(error);

  // The device first: a byte that arrived together with the abort is still taken.
  const HANDLE waits[2] = {io.event.get(), reinterpret_cast<HANDLE>(abort.NativeHandle())};
  switch (WaitForMultipleObjects(2, waits, FALSE, INFINITE)) {
    case WAIT_OBJECT_0:
      if (GetOverlappedResult(handle_.get(), &io.block, &count, TRUE)) return Done(count);
      return Ended(GetLastError());
    case WAIT_OBJECT_0 + 1:
      Cancel(io);
      return Aborted();
    default: {
      const uint32_t failure = LastErrorOr(kErrorInvalidHandle);
      Cancel(io);
      return Failed(failure);
    }
  }
}

Transfer Win32SerialDevice::Ended(DWORD error) {
  switch (error) {
    case ERROR_TIMEOUT:
      // wine ends a timed-out transfer this way instead of with 0 bytes moved.
      return Done(0);
    case ERROR_OPERATION_ABORTED: {
      // A line error stops every transfer until the errors are cleared (abort on error),
      // or the queues were purged. The errors are taken now so transfers work again;
      // the dispatcher still records them.
      DWORD errors = 0;
      COMSTAT status{};
      if (ClearCommError(handle_.get(), &errors, &status)) KeepErrors(errors);
      return Aborted();
    }
    default:
      return Failed(error != 0 ? error : kErrorInvalidHandle);
  }
}

void Win32SerialDevice::Cancel(IoBlock& io) {
  CancelIoEx(handle_.get(), &io.block);
  io.pending = true;
  Settle(io, kSettleMs);
}

bool Win32SerialDevice::Settle(IoBlock& io, DWORD waitMs) {
  if (!io.pending) return true;
  if (WaitForSingleObject(io.event.get(), waitMs) != WAIT_OBJECT_0) return false;
  DWORD count = 0;
  GetOverlappedResult(handle_.get(), &io.block, &count, FALSE);
  io.pending = false;
  return true;
}

LineWait Win32SerialDevice::WaitLineEvent(const Event& stop, uint32_t& mask) {
  // Errors already taken by a transfer or a purge are reported without waiting: the
  // event that announced them may have come while this thread was handing over.
  if (pendingErrors_.load() != 0) {
    mask = kEventError;
    return LineWait::Event;
  }
  if (!stop.Valid() || !Settle(line_, 0)) return LineWait::Failed;
  if (!ResetEvent(line_.event.get())) return LineWait::Failed;
  line_.block = OVERLAPPED{};
  line_.block.hEvent = line_.event.get();
  lineMask_ = 0;
  if (WaitCommEvent(handle_.get(), &lineMask_, &line_.block)) {
    mask = lineMask_;
    return LineWait::Event;
  }
  if (GetLastError() != ERROR_IO_PENDING) return LineWait::Failed;

  const HANDLE waits[2] = {reinterpret_cast<HANDLE>(stop.NativeHandle()), line_.event.get()};
  const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (woken == WAIT_OBJECT_0 + 1) {
    DWORD ignored = 0;
    if (!GetOverlappedResult(handle_.get(), &line_.block, &ignored, FALSE)) return LineWait::Failed;
    mask = lineMask_;
    return LineWait::Event;
  }
  // Clearing the mask ends a pending WaitCommEvent everywhere; CancelIoEx does not under
  // wine. The port is closing, so the mask is not needed any more.
  SetCommMask(handle_.get(), 0);
  line_.pending = true;
  Settle(line_, kSettleMs);
  return woken == WAIT_OBJECT_0 ? LineWait::Stopped : LineWait::Failed;
}

}  // namespace

void SetLineFormat(DCB& dcb, uint32_t baud) {
  dcb.BaudRate = baud;
  // The flag bits are one 32-bit word right after BaudRate; set as a whole, every flag
  // not named in kLineFlagsWord is 0.
  static_assert(sizeof(DCB::BaudRate) == 4);
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb.BaudRate) + sizeof dcb.BaudRate,
              &kLineFlagsWord, sizeof kLineFlagsWord);
  dcb.ByteSize = 8;
  dcb.Parity = EVENPARITY;
  dcb.StopBits = ONESTOPBIT;
}

uint32_t DcbFlagsWord(const DCB& dcb) {
  uint32_t word = 0;
  std::memcpy(&word, reinterpret_cast<const unsigned char*>(&dcb.BaudRate) + sizeof dcb.BaudRate,
              sizeof word);
  return word;
}

DeviceOpenResult OpenPlatformDevice(const PortAddress& address) {
  DeviceOpenResult result;
  const std::optional<std::string> path =
      address.path.empty() ? PlatformPortPath(address.number) : std::optional(address.path);
  if (!path) {
    result.osError = kErrorFileNotFound;
    return result;
  }
  if (IsNetAddress(*path)) return OpenNetworkDevice(*path);
  // Read and write, no sharing, an existing device, overlapped with normal attributes.
  UniqueHandle handle(CreateFileA(path->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  if (!handle) {
    result.osError = LastErrorOr(kErrorFileNotFound);
    result.nativeError = static_cast<int>(result.osError);
    return result;
  }
  SetLastError(ERROR_SUCCESS);
  if (GetFileType(handle.get()) != FILE_TYPE_CHAR) {
    result.notCharacterDevice = true;
    result.osError = GetLastError();  // often 0; the port object never reports that as success
    return result;
  }
  auto device = std::make_unique<Win32SerialDevice>(std::move(handle));
  if (!device->EventsValid()) {
    result.osError = LastErrorOr(kErrorInvalidHandle);
    return result;
  }
  result.device = std::move(device);
  return result;
}

bool ProbePlatformPort(int port) {
  const std::string path = "\\\\.\\COM" + std::to_string(port);
  const UniqueHandle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  return handle.valid();
}

void RaiseProcessPriority() {
  // Best effort, as on other platforms: without the right the port still works.
  const UniqueHandle process(OpenProcess(PROCESS_SET_INFORMATION, TRUE, GetCurrentProcessId()));
  if (process) SetPriorityClass(process.get(), HIGH_PRIORITY_CLASS);
}

void RaiseThreadPriority(ThreadPriority priority) {
  SetThreadPriority(GetCurrentThread(), priority == ThreadPriority::TimeCritical
                                            ? THREAD_PRIORITY_TIME_CRITICAL
                                            : THREAD_PRIORITY_HIGHEST);
}

}  // namespace kestradr
