#include "kestra/emu/pty_server.hpp"
#include "kestra/emu/wire_trace.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <deque>
#include <system_error>

namespace kestra::emu {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) ThrowErrno("fcntl");
}

timespec TimeoutUntil(Clock::time_point at, Clock::time_point now) {
  const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(at - now).count();
  if (left <= 0) return {0, 0};
  return {static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
}

struct TimedByte {
  uint8_t byte;
  Clock::time_point due;
};

// Bytes travelling one way along the line, each released at its due time.
class Lane {
 public:
  explicit Lane(Clock::duration byteTime) : byteTime_(byteTime) {}

  void Push(uint8_t byte, Clock::time_point earliest) {
    // A byte has fully arrived one byte time after it was sent, and not before the one
    // ahead of it: an isolated byte costs its line time too.
    auto due = std::max(earliest, last_) + byteTime_;
    last_ = due;
    bytes_.push_back({byte, due});
    // A client that never reads must not make the server grow without end.
    if (bytes_.size() > kCapacity) bytes_.pop_front();
  }
  bool Due(Clock::time_point now) const { return !bytes_.empty() && bytes_.front().due <= now; }
  uint8_t Pop() {
    const uint8_t b = bytes_.front().byte;
    bytes_.pop_front();
    return b;
  }
  std::optional<Clock::time_point> Next() const {
    if (bytes_.empty()) return std::nullopt;
    return bytes_.front().due;
  }

 private:
  static constexpr std::size_t kCapacity = 1 << 16;
  Clock::duration byteTime_;
  Clock::time_point last_{};
  std::deque<TimedByte> bytes_;
};

}  // namespace

PtyServer::PtyServer(PrinterConfig config, PtyServerOptions options)
    : options_(std::move(options)), printer_(std::move(config)) {}

PtyServer::~PtyServer() {
  Stop();
}

void PtyServer::Start() {
  if (Running()) return;
  master_.Reset(::posix_openpt(O_RDWR | O_NOCTTY));
  if (!master_.Valid()) ThrowErrno("posix_openpt");
  if (::grantpt(master_.Get()) != 0) ThrowErrno("grantpt");
  if (::unlockpt(master_.Get()) != 0) ThrowErrno("unlockpt");
  std::array<char, 128> name{};
  if (::ptsname_r(master_.Get(), name.data(), name.size()) != 0) ThrowErrno("ptsname_r");
  slavePath_ = name.data();

  slave_.Reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  if (!slave_.Valid()) ThrowErrno("open slave");
  // Raw from the start: no echo or line editing may touch the protocol bytes, even
  // before a client has set up the line.
  termios tio{};
  if (::tcgetattr(master_.Get(), &tio) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&tio);
  if (::tcsetattr(master_.Get(), TCSANOW, &tio) != 0) ThrowErrno("tcsetattr");
  SetNonBlocking(master_.Get());

  int pipeFds[2];
  if (::pipe(pipeFds) != 0) ThrowErrno("pipe");
  wakeRead_.Reset(pipeFds[0]);
  wakeWrite_.Reset(pipeFds[1]);
  SetNonBlocking(wakeRead_.Get());

  if (!options_.linkPath.empty()) {
    struct stat st {};
    if (::lstat(options_.linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      ::unlink(options_.linkPath.c_str());
    }
    if (::symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0) ThrowErrno("symlink");
    linked_ = true;
  }
  thread_ = std::jthread([this](std::stop_token stop) { Serve(stop); });
}

void PtyServer::Stop() {
  if (thread_.joinable()) {
    thread_.request_stop();
    const char wake = 1;
    [[maybe_unused]] const auto n = ::write(wakeWrite_.Get(), &wake, 1);
    thread_.join();
  }
  if (linked_) {
    ::unlink(options_.linkPath.c_str());
    linked_ = false;
  }
  slave_.Reset();
  master_.Reset();
  wakeRead_.Reset();
  wakeWrite_.Reset();
}

void PtyServer::Serve(std::stop_token stop) {
  const Clock::duration byteTime =
      options_.baud > 0 ? Clock::duration(std::chrono::microseconds(11'000'000 / options_.baud))
                        : Clock::duration::zero();
  Lane inbound(byteTime);
  Lane outbound(byteTime);
  auto last = Clock::now();
  std::vector<uint8_t> replies;
  WireTrace trace(options_.tracePath);
  // One byte from the computer into the printer (under the lock); the answer goes out
  // after any hold-back a fault asks for.
  const auto Feed = [&](uint8_t byte, Clock::time_point now) {
    replies.clear();
    std::chrono::milliseconds holdBack{0};
    const bool idle = !printer_.MidSequence();
    printer_.Receive(byte, replies, holdBack);
    if (trace.Active()) trace.FromComputer(byte, idle);
    for (uint8_t b : replies) outbound.Push(b, now + holdBack);
  };

  while (!stop.stop_requested()) {
    auto now = Clock::now();
    auto wakeAt = now + options_.tick;
    for (const auto& next : {inbound.Next(), outbound.Next()}) {
      if (next && *next < wakeAt) wakeAt = *next;
    }
    std::array<pollfd, 2> fds{{{master_.Get(), POLLIN, 0}, {wakeRead_.Get(), POLLIN, 0}}};
    if (outbound.Due(now)) fds[0].events |= POLLOUT;
    // To the microsecond: a wait rounded up to whole milliseconds would hold every byte
    // that falls between ticks, up to a millisecond a turn the real line does not take.
    const timespec timeout = TimeoutUntil(wakeAt, now);
    const int ready = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;

    now = Clock::now();
    if (fds[0].revents & POLLIN) {
      std::array<uint8_t, 512> buf;
      const auto n = ::read(master_.Get(), buf.data(), buf.size());
      for (ssize_t i = 0; i < n; ++i) inbound.Push(buf[static_cast<std::size_t>(i)], now);
    }

    {
      std::lock_guard lock(mutex_);
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - last);
      if (elapsed.count() > 0) {
        printer_.Advance(elapsed);
        last += elapsed;
      }
      while (inbound.Due(now)) Feed(inbound.Pop(), now);
    }

    std::vector<uint8_t> chunk;
    while (outbound.Due(now)) chunk.push_back(outbound.Pop());
    std::size_t written = 0;
    while (written < chunk.size()) {
      const auto n = ::write(master_.Get(), chunk.data() + written, chunk.size() - written);
      if (n <= 0) break;  // the line is full: the client is not reading, the bytes are lost
      for (ssize_t i = 0; i < n && trace.Active(); ++i) trace.ToComputer(chunk[written + i]);
      written += static_cast<std::size_t>(n);
    }
    if (trace.Active() && !outbound.Next()) trace.Flush();
  }

  // What the computer sent before the stop still reaches the printer (its snapshot and
  // the trace show it): a program that writes its last bytes and exits is usually not
  // read yet when the stop comes. Take what arrives within a short grace, without pacing.
  std::lock_guard lock(mutex_);
  for (;;) {
    while (inbound.Next()) Feed(inbound.Pop(), Clock::now());
    pollfd input{master_.Get(), POLLIN, 0};
    if (::poll(&input, 1, 20) <= 0 || !(input.revents & POLLIN)) break;
    std::array<uint8_t, 512> buf;
    const auto n = ::read(master_.Get(), buf.data(), buf.size());
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) inbound.Push(buf[static_cast<std::size_t>(i)], Clock::now());
  }
}

}  // namespace kestra::emu
