// The serial device on POSIX terminals (Linux first): open with exclusive access, raw
// 8E1 line with CTS output flow control, single-byte transfers bounded by the port's
// time-outs, purges, and line errors from the kernel's per-port error counters.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "os_error.hpp"
#include "port_names.hpp"
#include "serial_baud_posix.hpp"
#include "serial_device.hpp"
#include "tcp_serial_device.hpp"

namespace kestradr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often an idle port samples the error counters; the kernel offers no wait for them.
constexpr milliseconds kLineErrorPeriod{100};
// Closing must not hang on output that can never leave (CTS held low with no write
// time-out); after this the rest is discarded.
constexpr milliseconds kCloseDrainLimit{2000};

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// A whole-operation deadline, computed once and checked at every wait.
class Deadline {
 public:
  static Deadline Never() { return Deadline(std::nullopt); }
  static Deadline After(milliseconds span) { return Deadline(Clock::now() + span); }
  bool Expired() const { return at_ && Clock::now() >= *at_; }
  int PollTimeout() const {
    if (!at_) return -1;
    const auto left = std::chrono::ceil<milliseconds>(*at_ - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

 private:
  explicit Deadline(std::optional<Clock::time_point> at) : at_(at) {}
  std::optional<Clock::time_point> at_;
};

enum class Readiness { Ready, HungUp, Aborted, TimedOut, Error };

Transfer Failure(int error) {
  return {TransferStatus::Failed, 0, TranslateOsError(error)};
}

bool IsPseudoTerminal(const struct stat& st) {
  // Unix98 pty slaves (/dev/pts/N) have majors 136..143.
  const unsigned major_number = major(st.st_rdev);
  return major_number >= 136 && major_number <= 143;
}

std::optional<speed_t> StandardSpeed(uint32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return std::nullopt;
  }
}

struct ErrorCounts {
  int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

std::optional<ErrorCounts> ReadErrorCounts(int fd) {
  serial_icounter_struct counters{};
  if (ioctl(fd, TIOCGICOUNT, &counters) != 0) return std::nullopt;
  return ErrorCounts{counters.frame, counters.overrun, counters.parity, counters.brk,
                     counters.buf_overrun};
}

uint32_t NewErrorFlags(const ErrorCounts& before, const ErrorCounts& now) {
  uint32_t flags = 0;
  if (now.brk != before.brk) flags |= kLineBreak;
  if (now.frame != before.frame) flags |= kLineFraming;
  if (now.overrun != before.overrun) flags |= kLineOverrun;
  if (now.bufOverrun != before.bufOverrun) flags |= kLineInputOverflow;
  if (now.parity != before.parity) flags |= kLineParity;
  return flags;
}

class PosixSerialDevice final : public SerialDevice {
 public:
  PosixSerialDevice(int fd, bool pseudoTerminal, bool exclusive)
      : fd_(fd), pty_(pseudoTerminal), exclusive_(exclusive) {
    if (auto counts = ReadErrorCounts(fd)) {
      counters_ = *counts;
      hasCounters_ = true;
    }
  }

  ~PosixSerialDevice() override {
    // The exclusive flag belongs to the tty, not to this descriptor: left set, it would
    // keep refusing everyone while any other descriptor holds the tty open.
    if (exclusive_) ioctl(fd_.get(), TIOCNXCL);
  }

  uint32_t ApplyLineSettings(uint32_t baud) override;
  uint32_t SetQueueSizes(uint32_t, uint32_t) override { return 0; }  // fixed by the kernel

  uint32_t GetTimeouts(CommTimeouts& timeouts) override {
    std::lock_guard lock(timeoutsMutex_);
    timeouts = timeouts_;
    return 0;
  }
  uint32_t SetTimeouts(const CommTimeouts& timeouts) override {
    std::lock_guard lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return 0;
  }
  uint32_t SetEventMask(uint32_t mask) override {
    eventMask_ = mask;
    return 0;
  }

  Transfer Write(uint8_t byte, const Event& abort) override;
  Transfer Read(uint8_t& byte, const Event& abort) override;

  uint32_t PurgeOutput() override { return DrainOutput(WriteDeadline()); }
  uint32_t PurgeInput() override {
    return tcflush(fd_.get(), TCIFLUSH) == 0 ? 0 : TranslateOsError(errno);
  }
  uint32_t PurgeAll() override;

  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override;
  uint32_t ClearLineErrors(uint32_t& errors) override {
    errors = pendingErrors_.exchange(0);
    return 0;
  }

 private:
  CommTimeouts Timeouts() {
    std::lock_guard lock(timeoutsMutex_);
    return timeouts_;
  }
  Deadline WriteDeadline() {
    const CommTimeouts t = Timeouts();
    const uint32_t total = t.writeTotalMultiplier + t.writeTotalConstant;
    return total == 0 ? Deadline::Never() : Deadline::After(milliseconds(total));
  }
  Readiness WaitReady(short events, const Event& abort, const Deadline& deadline);
  uint32_t DrainOutput(const Deadline& deadline);

  UniqueFd fd_;
  const bool pty_;
  const bool exclusive_;
  std::mutex timeoutsMutex_;
  CommTimeouts timeouts_{};
  std::atomic<uint32_t> eventMask_{0};
  bool hasCounters_ = false;
  ErrorCounts counters_{};                  // event thread only
  std::atomic<uint32_t> pendingErrors_{0};  // raised by the event thread, cleared by the caller
};

uint32_t PosixSerialDevice::ApplyLineSettings(uint32_t baud) {
  if (baud == 0) return kErrorInvalidParameter;  // B0 would mean "hang up"
  const int fd = fd_.get();
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return TranslateOsError(errno);
  cfmakeraw(&settings);
  settings.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  // A pty cannot hold a parity bit: the kernel drops PARENB, and asking for it again
  // makes the next tcsetattr fail. Real ports must hold it (checked below).
  settings.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS | (pty_ ? 0 : PARENB);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  const std::optional<speed_t> standard = StandardSpeed(baud);
  cfsetspeed(&settings, standard.value_or(B38400));
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return TranslateOsError(errno);
  if (!standard) {
    if (const int error = SetArbitraryBaud(fd, baud); error != 0) return TranslateOsError(error);
  }

  // tcsetattr succeeds when any part of the request was taken; check what was held.
  termios held{};
  if (tcgetattr(fd, &held) != 0) return TranslateOsError(errno);
  bool ok = (held.c_cflag & CSIZE) == CS8 && (held.c_cflag & CREAD) && (held.c_cflag & CRTSCTS);
  if (!pty_) ok = ok && (held.c_cflag & PARENB) && !(held.c_cflag & CSTOPB);
  if (standard) {
    ok = ok && cfgetospeed(&held) == *standard;
  } else {
    const uint32_t actual = ReadArbitraryBaud(fd);
    ok = ok && actual >= baud - baud / 50 && actual <= baud + baud / 50;  // UART divisor rounding
  }
  return ok ? 0 : kErrorInvalidParameter;
}

Readiness PosixSerialDevice::WaitReady(short events, const Event& abort, const Deadline& deadline) {
  if (!abort.Valid()) {
    errno = EBADF;
    return Readiness::Error;
  }
  pollfd fds[2] = {{fd_.get(), events, 0}, {static_cast<int>(abort.NativeHandle()), POLLIN, 0}};
  for (;;) {
    const int ready = poll(fds, 2, deadline.PollTimeout());
    if (ready == 0) return Readiness::TimedOut;
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Readiness::Error;
    }
    // A hang-up comes with POLLIN and a read of 0: report it as such, the caller still
    // takes what was buffered before it. Device first, as the overlapped result came
    // before the abort in the original wait.
    if (fds[0].revents & (POLLHUP | POLLERR)) return Readiness::HungUp;
    if (fds[0].revents & events) return Readiness::Ready;
    if ((fds[0].revents | fds[1].revents) & POLLNVAL) {
      errno = EBADF;
      return Readiness::Error;
    }
    if (fds[1].revents & POLLIN) return Readiness::Aborted;
  }
}

Transfer PosixSerialDevice::Write(uint8_t byte, const Event& abort) {
  const Deadline deadline = WriteDeadline();
  for (;;) {
    const ssize_t written = write(fd_.get(), &byte, 1);
    if (written == 1) return {TransferStatus::Done, 1, 0};
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return Failure(errno);
    switch (WaitReady(POLLOUT, abort, deadline)) {
      case Readiness::Ready:
        continue;
      case Readiness::HungUp:
        return Failure(EIO);
      case Readiness::Aborted:
        return {TransferStatus::Aborted, 0, 0};
      case Readiness::TimedOut:
        return {TransferStatus::Done, 0, 0};
      case Readiness::Error:
        return Failure(errno);
    }
  }
}

Transfer PosixSerialDevice::Read(uint8_t& byte, const Event& abort) {
  const CommTimeouts t = Timeouts();
  const bool returnAtOnce =
      t.readInterval == kMaxTimeout && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
  const uint32_t total = t.readTotalMultiplier + t.readTotalConstant;
  const Deadline deadline = returnAtOnce ? Deadline::After(milliseconds(0))
                            : total == 0 ? Deadline::Never()
                                         : Deadline::After(milliseconds(total));
  // Wait first: the byte asked for is usually still on its way, and a read that finds
  // nothing would cost one more system call per byte.
  for (;;) {
    bool hungUp = false;
    switch (WaitReady(POLLIN, abort, deadline)) {
      case Readiness::Ready:
        break;
      case Readiness::HungUp:
        hungUp = true;
        break;
      case Readiness::Aborted:
        return {TransferStatus::Aborted, 0, 0};
      case Readiness::TimedOut:
        return {TransferStatus::Done, 0, 0};
      case Readiness::Error:
        return Failure(errno);
    }
    ssize_t count = 0;
    do {
      count = read(fd_.get(), &byte, 1);
    } while (count < 0 && errno == EINTR);
    if (count == 1) return {TransferStatus::Done, 1, 0};
    if (count < 0 && errno != EAGAIN) return Failure(errno);
    // Readable yet nothing to take is end of file; after a hang-up nothing ever comes.
    if (hungUp || count == 0) return Failure(EIO);
  }
}

// write() completes once the byte is in the kernel's buffer, so instead of discarding
// the output (which would lose bytes already reported as written) wait until it left.
uint32_t PosixSerialDevice::DrainOutput(const Deadline& deadline) {
  for (;;) {
    int queued = 0;
    if (ioctl(fd_.get(), TIOCOUTQ, &queued) != 0) {
      return errno == ENOTTY ? 0 : TranslateOsError(errno);  // no output queue to wait for
    }
    if (queued <= 0) return 0;
    if (deadline.Expired()) return static_cast<uint32_t>(ETIMEDOUT);
    std::this_thread::sleep_for(milliseconds(1));  // about one byte at 9600 b/s
  }
}

uint32_t PosixSerialDevice::PurgeAll() {
  const CommTimeouts t = Timeouts();
  const uint32_t total = t.writeTotalMultiplier + t.writeTotalConstant;
  const milliseconds limit =
      total == 0 ? kCloseDrainLimit : std::min(kCloseDrainLimit, milliseconds(total));
  DrainOutput(Deadline::After(limit));
  // Output is never discarded: on a pseudo-terminal the output queue reads as empty while
  // the peer has not yet taken the bytes, and flushing it would drop the last bytes
  // written (the parameters of the final sequence) on their way to the peer.
  return tcflush(fd_.get(), TCIFLUSH) == 0 ? 0 : TranslateOsError(errno);
}

LineWait PosixSerialDevice::WaitLineEvent(const Event& stop, uint32_t& mask) {
  if (!hasCounters_ || !(eventMask_.load() & kEventError)) {
    // Nothing this device can report: sleep until the port closes.
    return WaitForAny({&stop}) == 0 ? LineWait::Stopped : LineWait::Failed;
  }
  for (;;) {
    const int woken = WaitForAny({&stop}, static_cast<int>(kLineErrorPeriod.count()));
    if (woken == 0) return LineWait::Stopped;
    if (woken == kWaitFailed) return LineWait::Failed;
    const std::optional<ErrorCounts> now = ReadErrorCounts(fd_.get());
    if (!now) return LineWait::Failed;  // the device went away (USB unplugged)
    const uint32_t flags = NewErrorFlags(counters_, *now);
    counters_ = *now;
    if (flags != 0) {
      pendingErrors_.fetch_or(flags);
      mask = kEventError;
      return LineWait::Event;
    }
  }
}

void TryLowLatency(int fd) {
  // USB adapters otherwise hold each received byte up to 16 ms; a one-byte-at-a-time
  // protocol would crawl. Drivers without the flag just refuse.
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &serial);
}

}  // namespace

DeviceOpenResult OpenPlatformDevice(const PortAddress& address) {
  DeviceOpenResult result;
  const std::optional<std::string> path =
      address.path.empty() ? PlatformPortPath(address.number) : std::optional(address.path);
  if (!path) {
    result.osError = kErrorFileNotFound;
    result.nativeError = ENOENT;
    return result;
  }
  if (IsNetAddress(*path)) return OpenNetworkDevice(*path);
  const int fd = open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    result.nativeError = errno;
    // A /dev/ttyS node without a UART behind it answers EIO: the port does not exist.
    result.osError = errno == EIO ? kErrorFileNotFound : TranslateOsError(errno);
    return result;
  }
  UniqueFd guard(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    result.nativeError = errno;
    result.osError = TranslateOsError(errno);
    return result;
  }
  if (!S_ISCHR(st.st_mode)) {
    result.notCharacterDevice = true;
    result.osError = kErrorInvalidHandle;
    result.nativeError = ENOTTY;
    return result;
  }
  // Both locks: flock() alone is advisory and ignored by programs that do not take it;
  // TIOCEXCL alone is bypassed by root and leaves a window between open() and the
  // ioctl. A held flock is what "held by another program" means here.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    result.nativeError = errno;
    result.osError = TranslateOsError(errno);
    return result;
  }
  const bool exclusive = ioctl(fd, TIOCEXCL) == 0;
  const bool pty = IsPseudoTerminal(st);
  if (!pty) TryLowLatency(fd);
  result.device = std::make_unique<PosixSerialDevice>(guard.release(), pty, exclusive);
  return result;
}

bool ProbePlatformPort(int port) {
  return OpenPlatformDevice(PortAddress{port, {}}).device != nullptr;
}

void RaiseProcessPriority() {
  // Nothing: a library must not change its caller's priority, and Windows' priority class
  // has no counterpart here that the port needs. The transfer threads raise themselves.
}

void RaiseThreadPriority(ThreadPriority priority) {
  // Linux nice values are per thread. A real-time class is not asked for: a stuck
  // worker in SCHED_FIFO could starve the machine, and the nice value is enough.
  const int wanted = priority == ThreadPriority::TimeCritical ? -15 : -12;
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  if (errno == 0 && current > wanted)
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), wanted);
}

}  // namespace kestradr
