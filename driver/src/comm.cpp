// The serial port: the port object TComm, the module operations that open, close,
// purge and re-time it, and the byte primitives WriteByte/ReadByte that hand each
// single-byte transfer to the writer thread.
#include "comm.hpp"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

#include "comm_port.hpp"
#include "comm_texts.hpp"
#include "comm_threads.hpp"
#include "device_source.hpp"
#include "main_thread_queue.hpp"
#include "os_error.hpp"

namespace kestradr {

namespace comm {
std::unique_ptr<TComm> Comm;
bool PortOpen = false;
std::atomic<bool> TransferFailed{false};
uint8_t ByteToWrite = 0;
uint8_t ByteRead = 0;
std::unique_ptr<Event> IdleEvent;
std::unique_ptr<Event> WriteRequestEvent;
std::unique_ptr<Event> ReadRequestEvent;
std::unique_ptr<Event> AbortEvent;
}  // namespace comm

namespace {

// The failure record is written by the writer thread and by the caller (and, after an
// abort from another thread, by both at once), so it takes a lock of its own.
struct ErrorRecord {
  std::mutex mutex;
  std::string text;
  uint32_t code = 0;
};

ErrorRecord& Record() {
  static ErrorRecord record;
  return record;
}

template <std::size_t N>
void Record(const Cp1250Text<N>& text, uint32_t code) {
  SetCommError(text.str(), code);
}

// Fails the caller's side of a transfer: recorded, and left in TransferFailed.
template <std::size_t N>
bool FailTransfer(const Cp1250Text<N>& text) {
  Record(text, LastOsError());
  comm::TransferFailed = true;
  return false;
}

bool SignalEvent(Event* event) {
  if (event == nullptr) {
    SetInvalidHandleError();
    return false;
  }
  return event->Set();
}

bool ResetEvent(Event* event) {
  if (event == nullptr) {
    SetInvalidHandleError();
    return false;
  }
  return event->Reset();
}

bool CommIsOpen() {
  return comm::Comm != nullptr && comm::Comm->IsOpen();
}

struct NotOpen {};

// Ends a transfer on the writer thread. Every path hands IdleEvent back: a caller
// waiting for it would otherwise wait until the port closes.
uint32_t ReleaseCaller(uint32_t count) {
  if (!SignalEvent(comm::IdleEvent.get())) {
    Record(commtext::kCancelEvent, LastOsError());
    return 0;
  }
  return count;
}

}  // namespace

// ---- TComm ---------------------------------------------------------------------------

TComm::TComm() = default;

TComm::~TComm() {
  Stop();
}

void TComm::Configure(uint32_t baud, uint8_t port, uint16_t writeTimeoutSeconds,
                      uint16_t readTimeoutSeconds) {
  baudRate_ = baud;
  portNumber_ = port;
  portName_ = "Com" + std::to_string(port);
  writeTimeout_ = writeTimeoutSeconds;
  readTimeout_ = readTimeoutSeconds;
}

bool TComm::IsOpen() const {
  ClearLastOsError();
  return device_ != nullptr;
}

uint32_t TComm::Start() {
  Stop();
  SetCommError(std::string(), 0);
  const uint32_t opened = OpenDevice();
  if (opened != 0 || !IsOpen()) return opened;
  const uint32_t result = StartThreadsAndLine();
  if (result != 0) {
    // A port that failed to start is not left open (and held) behind the error; the
    // record of why it failed survives the close.
    const std::string text = CommErrorText();
    const uint32_t code = CommErrorCode();
    Stop();
    SetCommError(text, code);
  }
  return result;
}

uint32_t TComm::StartThreadsAndLine() {
  // Fresh hand-over events before the threads that use them exist.
  comm::IdleEvent = std::make_unique<Event>(true);
  comm::WriteRequestEvent = std::make_unique<Event>(false);
  comm::ReadRequestEvent = std::make_unique<Event>(false);
  comm::AbortEvent = std::make_unique<Event>(false);
  if (!comm::IdleEvent->Valid() || !comm::WriteRequestEvent->Valid() ||
      !comm::ReadRequestEvent->Valid()) {
    const uint32_t code = LastOsError();
    Record(commtext::kCreateEvent, code);
    return code != 0 ? code : kErrorInvalidHandle;
  }
  if (!comm::AbortEvent->Valid()) {
    const uint32_t code = LastOsError();
    Record(commtext::kCreateAbortEvent, code);
    return code != 0 ? code : kErrorInvalidHandle;
  }

  eventThread_ = std::make_unique<TZdarzeniaCommThread>(
      *device_, eventSet_, [this](uint32_t mask) { DispatchEvents(mask); });
  writerThread_ = std::make_unique<TZapisOdczytThread>(*this, *comm::WriteRequestEvent,
                                                       *comm::ReadRequestEvent);

  if (const uint32_t result = ApplyLineSettings(); result != 0) return result;
  if (const uint32_t result = device_->SetQueueSizes(inputQueueSize_, outputQueueSize_);
      result != 0) {
    Record(commtext::kQueueSizes, result);
    return result;
  }
  const uint32_t result = SetTimeouts(writeTimeout_, readTimeout_);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return result;
}

uint32_t TComm::Stop() {
  if (!IsOpen()) return 0;
  // Abort first: a transfer still in flight (no write time-out, CTS held low) would
  // otherwise keep the writer thread from ever ending.
  SignalEvent(comm::AbortEvent.get());
  if (const uint32_t result = device_->SetTimeouts(savedTimeouts_); result != 0) {
    Record(commtext::kSetTimeouts, result);
  }
  if (eventThread_) {
    eventThread_->Terminate();
    eventThread_->WaitFor();
    eventThread_.reset();
  }
  if (writerThread_) {
    writerThread_->Terminate();
    writerThread_->WaitFor();
    writerThread_.reset();
  }
  CloseDevice();
  if (!SignalEvent(comm::AbortEvent.get())) {
    const uint32_t code = LastOsError();
    Record(commtext::kSignalEvent, code);
    return code;
  }
  return 0;
}

uint32_t TComm::OpenDevice() {
  DeviceOpenResult opened = OpenConfiguredDevice(portNumber_);
  if (opened.device && !opened.notCharacterDevice) {
    device_ = std::move(opened.device);
    return 0;
  }
  // Not a character device: refused as an invalid handle. The error "of that moment"
  // may be 0 on success of the open; it is never reported as 0 here, since an open
  // that returned 0 without a port would read as success.
  const uint32_t code = opened.osError != 0 ? opened.osError : kErrorInvalidHandle;
  if (opened.notCharacterDevice) {
    Record(commtext::kDeviceBadHandle, code);
    return code;
  }
  switch (code) {
    case kErrorFileNotFound:
      Record(commtext::kDeviceNotFound, code);
      break;
    case kErrorAccessDenied:
      Record(commtext::kDeviceDenied, code);
      break;
    case kErrorInvalidHandle:
      Record(commtext::kDeviceBadHandle, code);
      break;
    default:
      Record(commtext::kDeviceOther, code);
      break;
  }
  return code;
}

void TComm::CloseDevice() {
  device_.reset();
}

uint32_t TComm::ApplyLineSettings() {
  if (!IsOpen()) return 0;
  const uint32_t result = device_->ApplyLineSettings(baudRate_);
  if (result != 0) Record(commtext::kLineSettings, result);
  return result;
}

uint32_t TComm::SetTimeouts(uint16_t writeSeconds, uint16_t readSeconds) {
  // The current values are saved first, so reading them fails on a closed port.
  CommTimeouts current{};
  const uint32_t read = device_ ? device_->GetTimeouts(current) : kErrorInvalidHandle;
  if (read != 0) {
    Record(commtext::kReadTimeouts, read);
    return read;
  }
  savedTimeouts_ = current;
  if (!IsOpen()) return 0;

  CommTimeouts working{};
  working.readInterval = readSeconds == 0 ? kMaxTimeout : readSeconds * 1000u;
  working.readTotalMultiplier = 0;
  working.readTotalConstant = readSeconds * 1000u;
  working.writeTotalMultiplier = 0;
  working.writeTotalConstant = writeSeconds * 1000u;
  workingTimeouts_ = working;
  if (const uint32_t result = device_->SetTimeouts(working); result != 0) {
    Record(commtext::kSetTimeouts, result);
    return result;
  }
  return 0;
}

uint32_t TComm::PurgeOutput() {
  return IsOpen() ? device_->PurgeOutput() : 0;
}

uint32_t TComm::PurgeInput() {
  return IsOpen() ? device_->PurgeInput() : 0;
}

uint32_t TComm::WriteData(uint8_t byte) {
  uint32_t count = 0;
  try {
    if (!ResetEvent(comm::WriteRequestEvent.get())) {
      Record(commtext::kCloseHandle, LastOsError());
      comm::TransferFailed = true;
      return ReleaseCaller(0);
    }
    ClearLastOsError();
    comm::TransferFailed = true;
    if (!device_ || !comm::AbortEvent) throw NotOpen{};
    const Transfer transfer = device_->Write(byte, *comm::AbortEvent);
    switch (transfer.status) {
      case TransferStatus::Done:
        count = transfer.count;
        // A time-out is no OS failure: nothing else is recorded with it.
        if (count != 1) Record(commtext::kWriteTimeout, 0);
        break;
      case TransferStatus::Aborted:
        Record(commtext::kWriteAborted, 0);
        break;
      case TransferStatus::Failed:
        Record(commtext::kBadWriteToPort, transfer.osError);
        break;
    }
    comm::TransferFailed = count == 0;
  } catch (...) {
    Record(commtext::kNotOpen, 0xFFFFFFFFu);
    comm::TransferFailed = true;
    count = 0;
  }
  return ReleaseCaller(count);
}

uint32_t TComm::ReadData(uint8_t& byte) {
  uint32_t count = 0;
  try {
    if (!ResetEvent(comm::ReadRequestEvent.get())) {
      Record(commtext::kCloseHandle, LastOsError());
      comm::TransferFailed = true;
      return ReleaseCaller(0);
    }
    ClearLastOsError();
    comm::TransferFailed = true;
    if (!device_ || !comm::AbortEvent) throw NotOpen{};
    uint8_t received = 0;
    const Transfer transfer = device_->Read(received, *comm::AbortEvent);
    switch (transfer.status) {
      case TransferStatus::Done:
        count = transfer.count;
        if (count == 1) {
          byte = received;
        } else {
          Record(commtext::kReadTimeout, 0);
        }
        break;
      case TransferStatus::Aborted:
        Record(commtext::kReadAborted, 0);
        break;
      case TransferStatus::Failed:
        Record(commtext::kBadRead, transfer.osError);
        break;
    }
    comm::TransferFailed = count == 0;
  } catch (...) {
    Record(commtext::kNotOpen, 0xFFFFFFFFu);
    comm::TransferFailed = true;
    count = 0;
  }
  return ReleaseCaller(count);
}

void TComm::DispatchEvents(uint32_t mask) {
  uint32_t errors = 0;
  if (device_) device_->ClearLineErrors(errors);
  lineErrors_ = errors;
  // The break event itself is not dispatched; a break shows as a line error.
  for (const uint32_t event :
       {kEvCts, kEvDsr, kEvErr, kEvRing, kEvRlsd, kEvRxChar, kEvRxFlag, kEvTxEmpty}) {
    if (mask & event) EventOccurred(event);
  }
}

void TComm::EventOccurred(uint32_t event) {
  if (event != kEvErr) return;
  // In this order, so the last flag set is what stays recorded.
  if (lineErrors_ & kLineBreak) Record(commtext::kBreak, kLineBreak);
  if (lineErrors_ & kLineFraming) Record(commtext::kFrame, kLineFraming);
  if (lineErrors_ & kLineOverrun) Record(commtext::kOverrun, kLineOverrun);
  if (lineErrors_ & kLineInputOverflow) Record(commtext::kRxOver, kLineInputOverflow);
  if (lineErrors_ & kLineParity) Record(commtext::kParity, kLineParity);
  if (lineErrors_ & kLineOutputFull) Record(commtext::kTxFull, kLineOutputFull);
}

// ---- Module operations ---------------------------------------------------------------

namespace {

// A port still open when the process exits must be closed while what its shutdown uses
// (the error record, the hand-over queue) still exists. Registered after those are
// made, the handler runs before they are destroyed, and before the port object is.
void CloseAtExit() {
  static const bool registered = [] {
    Record();
    MainQueue();
    std::atexit([] {
      if (comm::Comm) comm::Comm->Stop();
      comm::Comm.reset();
    });
    return true;
  }();
  (void)registered;
}

}  // namespace

int32_t InitPort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSeconds,
                 uint16_t readTimeoutSeconds) {
  ClearLastOsError();
  CloseAtExit();
  if (comm::PortOpen && CommIsOpen()) {
    // The caller learns of the refusal from the result; the recorded code is left as it
    // was, since a non-zero code would fail every exchange on the port that stays open.
    Record(commtext::kAlreadyOpen, CommErrorCode());
    return static_cast<int32_t>(kErrorAccessDenied);
  }
  comm::Comm = std::make_unique<TComm>();
  uint32_t result = 0;
  try {
    comm::Comm->Configure(baud, port, writeTimeoutSeconds, readTimeoutSeconds);
  } catch (...) {
    result = LastOsError();
    Record(commtext::kLineSettings, result);
  }
  if (result == 0) result = comm::Comm->Start();
  comm::PortOpen = true;
  return static_cast<int32_t>(result);
}

int32_t DonePort() {
  return comm::Comm ? static_cast<int32_t>(comm::Comm->Stop()) : 0;
}

void PurgePort() {
  if (!comm::Comm) return;
  if (comm::Comm->PurgeOutput() == 0) comm::Comm->PurgeInput();
}

bool SetPortTimeouts(uint16_t writeSeconds, uint16_t readSeconds) {
  if (!comm::Comm) {
    // No port object yet: the same outcome as a closed one.
    Record(commtext::kReadTimeouts, kErrorInvalidHandle);
    return false;
  }
  return comm::Comm->SetTimeouts(writeSeconds, readSeconds) == 0;
}

bool CurrentPortTimeouts(uint16_t& writeSeconds, uint16_t& readSeconds) {
  if (!CommIsOpen()) return false;
  const CommTimeouts& working = comm::Comm->WorkingTimeouts();
  writeSeconds = static_cast<uint16_t>(working.writeTotalConstant / 1000);
  readSeconds = static_cast<uint16_t>(working.readTotalConstant / 1000);
  return true;
}

bool PortAvailable(uint8_t port) {
  return ProbeConfiguredPort(port);
}

bool PortIsOpen() {
  return CommIsOpen();
}

bool WriteByte(uint8_t byte) {
  ClearLastOsError();
  comm::TransferFailed = false;
  Event* abort = comm::AbortEvent.get();
  Event* idle = comm::IdleEvent.get();
  const int first = WaitServingMainQueue({abort, idle});
  if (first == kWaitFailed) {
    Record(commtext::kBadWrite, LastOsError());
  } else if (first == 0) {
    Record(commtext::kWriteAborted, LastOsError());
  } else if (first == 1) {
    comm::ByteToWrite = byte;
    if (!ResetEvent(idle)) return FailTransfer(commtext::kCancelEvent);
    if (!SignalEvent(comm::WriteRequestEvent.get())) return FailTransfer(commtext::kSignalEvent);
  }
  bool outcome = false;
  const bool idleSeen = WaitServingMainQueue({abort, idle}, kInfinite, kHandOverSpinMicros) == 1;
  if (idleSeen) {
    outcome = !comm::TransferFailed;
  } else {
    Record(commtext::kWaitFunction, LastOsError());
  }
  // Seen signalled, IdleEvent stays so (only the caller resets it): setting it again
  // would cost one more system call per byte for nothing.
  if (!idleSeen && !SignalEvent(idle)) return FailTransfer(commtext::kSignalEvent);
  if (!outcome) comm::TransferFailed = true;
  return outcome;
}

bool ReadByte(uint8_t& byte) {
  ClearLastOsError();
  comm::TransferFailed = false;
  Event* abort = comm::AbortEvent.get();
  Event* idle = comm::IdleEvent.get();
  const int first = WaitServingMainQueue({abort, idle});
  if (first == kWaitFailed) {
    Record(commtext::kBadWrite, LastOsError());
  } else if (first == 0) {
    Record(commtext::kReadWaitAborted, LastOsError());
  } else if (first == 1) {
    if (!ResetEvent(idle)) return FailTransfer(commtext::kCancelEvent);
    if (!SignalEvent(comm::ReadRequestEvent.get())) return FailTransfer(commtext::kSignalEvent);
  } else {
    Record(commtext::kWaitFunction, LastOsError());
  }
  bool outcome = false;
  const bool idleSeen = WaitServingMainQueue({abort, idle}, kInfinite, kHandOverSpinMicros) == 1;
  if (idleSeen) {
    if (!comm::TransferFailed) {
      byte = comm::ByteRead;
      outcome = true;
    }
  } else {
    Record(commtext::kWaitFunction, LastOsError());
  }
  // Seen signalled, IdleEvent stays so (only the caller resets it): setting it again
  // would cost one more system call per byte for nothing.
  if (!idleSeen && !SignalEvent(idle)) return FailTransfer(commtext::kCancelEvent);
  if (!outcome) comm::TransferFailed = true;
  return outcome;
}

bool TransferFailed() {
  return comm::TransferFailed;
}

bool PortFailed() {
  MainQueue().Drain();
  return CommErrorCode() != 0;
}

uint32_t CommErrorCode() {
  std::lock_guard lock(Record().mutex);
  return Record().code;
}

std::string CommErrorText() {
  std::lock_guard lock(Record().mutex);
  return Record().text;
}

void SetCommError(const std::string& text, uint32_t code) {
  std::lock_guard lock(Record().mutex);
  Record().text = text;
  Record().code = code;
}

}  // namespace kestradr
