// The serial link: the port object TComm, the operations that open, close, purge and
// re-time it, and the byte primitives WriteByte/ReadByte that hand each single-byte
// transfer to the writer thread.
#include "comm.hpp"

#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

#include "comm_port.hpp"
#include "comm_texts.hpp"
#include "comm_threads.hpp"
#include "device_source.hpp"
#include "os_error.hpp"

namespace kestradr {

namespace {

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

struct NotOpen {};

}  // namespace

// ---- TComm ---------------------------------------------------------------------------

TComm::TComm(SerialLink& link) : link_(link) {}

TComm::~TComm() {
  Stop();
}

void TComm::Configure(uint32_t baud, const PortAddress& address, uint32_t writeTimeoutMs,
                      uint32_t readTimeoutMs) {
  baudRate_ = baud;
  address_ = address;
  portName_ = address.path.empty() ? "Com" + std::to_string(address.number) : address.path;
  writeTimeoutMs_ = writeTimeoutMs;
  readTimeoutMs_ = readTimeoutMs;
}

void TComm::Record(std::string_view text, uint32_t code) {
  link_.SetCommError(std::string(text), code);
}

bool TComm::IsOpen() const {
  ClearLastOsError();
  return device_ != nullptr;
}

uint32_t TComm::Start() {
  Stop();
  link_.SetCommError(std::string(), 0);
  const uint32_t opened = OpenDevice();
  if (opened != 0 || !IsOpen()) return opened;
  const uint32_t result = StartThreadsAndLine();
  if (result != 0) {
    // A port that failed to start is not left open (and held) behind the error; the
    // record of why it failed survives the close.
    const std::string text = link_.CommErrorText();
    const uint32_t code = link_.CommErrorCode();
    Stop();
    link_.SetCommError(text, code);
  }
  return result;
}

uint32_t TComm::StartThreadsAndLine() {
  // Fresh hand-over events before the threads that use them exist.
  link_.IdleEvent = std::make_unique<Event>(true);
  link_.WriteRequestEvent = std::make_unique<Event>(false);
  link_.ReadRequestEvent = std::make_unique<Event>(false);
  link_.AbortEvent = std::make_unique<Event>(false);
  if (!link_.IdleEvent->Valid() || !link_.WriteRequestEvent->Valid() ||
      !link_.ReadRequestEvent->Valid()) {
    const uint32_t code = LastOsError();
    Record(commtext::kCreateEvent, code);
    return code != 0 ? code : kErrorInvalidHandle;
  }
  if (!link_.AbortEvent->Valid()) {
    const uint32_t code = LastOsError();
    Record(commtext::kCreateAbortEvent, code);
    return code != 0 ? code : kErrorInvalidHandle;
  }

  eventThread_ = std::make_unique<TZdarzeniaCommThread>(
      *device_, eventSet_, link_.Queue(), [this](uint32_t mask) { DispatchEvents(mask); });
  writerThread_ = std::make_unique<TZapisOdczytThread>(*this, link_, *link_.WriteRequestEvent,
                                                       *link_.ReadRequestEvent);

  if (const uint32_t result = ApplyLineSettings(); result != 0) return result;
  if (const uint32_t result = device_->SetQueueSizes(inputQueueSize_, outputQueueSize_);
      result != 0) {
    Record(commtext::kQueueSizes, result);
    return result;
  }
  const uint32_t result = SetTimeouts(writeTimeoutMs_, readTimeoutMs_);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return result;
}

uint32_t TComm::Stop() {
  if (!IsOpen()) return 0;
  // Abort first: a transfer still in flight (no write time-out, CTS held low) would
  // otherwise keep the writer thread from ever ending.
  SignalEvent(link_.AbortEvent.get());
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
  if (!SignalEvent(link_.AbortEvent.get())) {
    const uint32_t code = LastOsError();
    Record(commtext::kSignalEvent, code);
    return code;
  }
  return 0;
}

uint32_t TComm::OpenDevice() {
  DeviceOpenResult opened = OpenConfiguredDevice(address_);
  openNativeError_ = opened.nativeError;
  openedNotCharacter_ = opened.notCharacterDevice;
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

uint32_t TComm::SetTimeouts(uint32_t writeTimeoutMs, uint32_t readTimeoutMs) {
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
  working.readInterval = readTimeoutMs == 0 ? kMaxTimeout : readTimeoutMs;
  working.readTotalMultiplier = 0;
  working.readTotalConstant = readTimeoutMs;
  working.writeTotalMultiplier = 0;
  working.writeTotalConstant = writeTimeoutMs;
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

void TComm::Rest(std::chrono::milliseconds pause) {
  if (device_) {
    device_->Rest(pause);
  } else {
    std::this_thread::sleep_for(pause);
  }
}

uint32_t TComm::WriteData(uint8_t byte) {
  uint32_t count = 0;
  try {
    if (!ResetEvent(link_.WriteRequestEvent.get())) {
      Record(commtext::kCloseHandle, LastOsError());
      link_.transferFailed_ = true;
      return ReleaseCaller(0);
    }
    ClearLastOsError();
    link_.transferFailed_ = true;
    if (!device_ || !link_.AbortEvent) throw NotOpen{};
    const Transfer transfer = device_->Write(byte, *link_.AbortEvent);
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
    link_.transferFailed_ = count == 0;
  } catch (...) {
    Record(commtext::kNotOpen, 0xFFFFFFFFu);
    link_.transferFailed_ = true;
    count = 0;
  }
  return ReleaseCaller(count);
}

uint32_t TComm::ReadData(uint8_t& byte) {
  uint32_t count = 0;
  try {
    if (!ResetEvent(link_.ReadRequestEvent.get())) {
      Record(commtext::kCloseHandle, LastOsError());
      link_.transferFailed_ = true;
      return ReleaseCaller(0);
    }
    ClearLastOsError();
    link_.transferFailed_ = true;
    if (!device_ || !link_.AbortEvent) throw NotOpen{};
    uint8_t received = 0;
    const Transfer transfer = device_->Read(received, *link_.AbortEvent);
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
    link_.transferFailed_ = count == 0;
  } catch (...) {
    Record(commtext::kNotOpen, 0xFFFFFFFFu);
    link_.transferFailed_ = true;
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

uint32_t TComm::ReleaseCaller(uint32_t count) {
  // Every path hands IdleEvent back: a caller waiting for it would otherwise wait until
  // the port closes.
  if (!SignalEvent(link_.IdleEvent.get())) {
    Record(commtext::kCancelEvent, LastOsError());
    return 0;
  }
  return count;
}

// ---- SerialLink ----------------------------------------------------------------------

SerialLink::SerialLink() = default;

SerialLink::~SerialLink() {
  // Stopped while the record and the hand-over queue the shutdown uses still exist.
  if (Comm) Comm->Stop();
  Comm.reset();
}

int32_t SerialLink::InitPort(const PortAddress& address, uint32_t baud, uint32_t writeTimeoutMs,
                             uint32_t readTimeoutMs) {
  ClearLastOsError();
  openFailure_.reset();
  if (PortOpen && PortIsOpen()) {
    // The caller learns of the refusal from the result; the recorded code is left as it
    // was, since a non-zero code would fail every exchange on the port that stays open.
    SetCommError(commtext::kAlreadyOpen.str(), CommErrorCode());
    openFailure_ = OpenFailure{PortFault::Busy, NativeOsError(kErrorAccessDenied),
                               static_cast<int32_t>(kErrorAccessDenied)};
    return static_cast<int32_t>(kErrorAccessDenied);
  }
  Comm = std::make_unique<TComm>(*this);
  uint32_t result = 0;
  try {
    Comm->Configure(baud, address, writeTimeoutMs, readTimeoutMs);
  } catch (...) {
    result = LastOsError();
    SetCommError(commtext::kLineSettings.str(), result);
  }
  if (result == 0) result = Comm->Start();
  PortOpen = true;
  if (result != 0) {
    // A device source that gave no platform number leaves the driver's to stand for it;
    // a set-up failure after the open has only that one.
    const int native =
        Comm->OpenNativeError() != 0 ? Comm->OpenNativeError() : NativeOsError(result);
    const PortFault fault =
        Comm->OpenedNotCharacterDevice() ? PortFault::NotSerial : ClassifyPortError(native);
    openFailure_ = OpenFailure{fault, native, static_cast<int32_t>(result)};
  }
  return static_cast<int32_t>(result);
}

int32_t SerialLink::DonePort() {
  return Comm ? static_cast<int32_t>(Comm->Stop()) : 0;
}

void SerialLink::PurgePort() {
  if (!Comm) return;
  if (Comm->PurgeOutput() == 0) Comm->PurgeInput();
}

bool SerialLink::SetPortTimeouts(uint32_t writeTimeoutMs, uint32_t readTimeoutMs) {
  if (!Comm) {
    // No port object yet: the same outcome as a closed one.
    SetCommError(commtext::kReadTimeouts.str(), kErrorInvalidHandle);
    return false;
  }
  return Comm->SetTimeouts(writeTimeoutMs, readTimeoutMs) == 0;
}

void SerialLink::Rest(std::chrono::milliseconds pause) {
  if (Comm) {
    Comm->Rest(pause);
  } else {
    std::this_thread::sleep_for(pause);
  }
}

bool SerialLink::PortIsOpen() const {
  return Comm != nullptr && Comm->IsOpen();
}

bool SerialLink::WriteByte(uint8_t byte) {
  ClearLastOsError();
  transferFailed_ = false;
  Event* abort = AbortEvent.get();
  Event* idle = IdleEvent.get();
  const int first = WaitServingMainQueue(queue_, {abort, idle});
  int spin = 0;
  if (first == kWaitFailed) {
    SetCommError(commtext::kBadWrite.str(), LastOsError());
  } else if (first == 0) {
    SetCommError(commtext::kWriteAborted.str(), LastOsError());
  } else if (first == 1) {
    ByteToWrite = byte;
    if (!ResetEvent(idle)) return FailTransfer(commtext::kCancelEvent.view());
    // A writer thread that is awake writes the byte at once; one asleep is woken first.
    const bool watch = writerWatch_.Watching() || writeTrials_.Due();
    spin = StartWatching(watch ? kAwakeWatch : std::chrono::microseconds(0));
    if (!SignalEvent(WriteRequestEvent.get())) return FailTransfer(commtext::kSignalEvent.view());
  }
  bool outcome = false;
  const bool idleSeen = WaitServingMainQueue(queue_, {abort, idle}, kInfinite, spin) == 1;
  if (idleSeen) {
    outcome = !transferFailed_;
  } else {
    SetCommError(commtext::kWaitFunction.str(), LastOsError());
  }
  // Seen signalled, IdleEvent stays so (only the caller resets it): setting it again
  // would cost one more system call per byte for nothing.
  if (!idleSeen && !SignalEvent(idle)) return FailTransfer(commtext::kSignalEvent.view());
  if (!outcome) transferFailed_ = true;
  return outcome;
}

bool SerialLink::ReadByte(uint8_t& byte) {
  ClearLastOsError();
  transferFailed_ = false;
  Event* abort = AbortEvent.get();
  Event* idle = IdleEvent.get();
  const int first = WaitServingMainQueue(queue_, {abort, idle});
  int spin = 0;
  if (first == kWaitFailed) {
    SetCommError(commtext::kBadWrite.str(), LastOsError());
  } else if (first == 0) {
    SetCommError(commtext::kReadWaitAborted.str(), LastOsError());
  } else if (first == 1) {
    if (!ResetEvent(idle)) return FailTransfer(commtext::kCancelEvent.view());
    spin = StartWatching(lineAnswers_.NextWatch());
    if (!SignalEvent(ReadRequestEvent.get())) return FailTransfer(commtext::kSignalEvent.view());
  } else {
    SetCommError(commtext::kWaitFunction.str(), LastOsError());
  }
  bool outcome = false;
  const auto asked = SpinClock::now();
  const bool idleSeen = WaitServingMainQueue(queue_, {abort, idle}, kInfinite, spin) == 1;
  if (first == 1) lineAnswers_.Ended(SpinClock::now() - asked);
  if (idleSeen) {
    if (!transferFailed_) {
      byte = ByteRead;
      outcome = true;
    }
  } else {
    SetCommError(commtext::kWaitFunction.str(), LastOsError());
  }
  // Seen signalled, IdleEvent stays so (only the caller resets it): setting it again
  // would cost one more system call per byte for nothing.
  if (!idleSeen && !SignalEvent(idle)) return FailTransfer(commtext::kCancelEvent.view());
  if (!outcome) transferFailed_ = true;
  return outcome;
}

int SerialLink::StartWatching(std::chrono::microseconds watch) {
  callerWatch_.Start(watch);
  return Micros(watch);
}

bool SerialLink::FailTransfer(std::string_view text) {
  const uint32_t code = LastOsError();
  SetCommError(std::string(text), code);
  transferFailed_ = true;
  return false;
}

uint32_t SerialLink::CommErrorCode() const {
  std::lock_guard lock(recordMutex_);
  return errorCode_;
}

std::string SerialLink::CommErrorText() const {
  std::lock_guard lock(recordMutex_);
  return errorText_;
}

void SerialLink::SetCommError(const std::string& text, uint32_t code) {
  std::lock_guard lock(recordMutex_);
  errorText_ = text;
  errorCode_ = code;
}

bool SerialLink::CurrentPortTimeouts(uint32_t& writeTimeoutMs, uint32_t& readTimeoutMs) const {
  if (!PortIsOpen()) return false;
  const CommTimeouts& working = Comm->WorkingTimeouts();
  writeTimeoutMs = working.writeTotalConstant;
  readTimeoutMs = working.readTotalConstant;
  return true;
}

bool SerialLink::PortFailed() {
  queue_.Drain();
  return CommErrorCode() != 0;
}

bool PortAvailable(uint8_t port) {
  return ProbeConfiguredPort(port);
}

}  // namespace kestradr
