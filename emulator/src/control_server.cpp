#include "kestra/emu/control_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <system_error>
#include <vector>

#include "kestra/emu/control_commands.hpp"

namespace kestra::emu {
namespace {

// A command line longer than this is not a command: the client is cut off.
constexpr std::size_t kMaxLine = 64 * 1024;

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

sockaddr_un Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    ThrowErrno(ENAMETOOLONG, "control socket " + path);
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

UniqueFd Socket() {
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.Valid()) ThrowErrno(errno, "socket");
  return fd;
}

// A socket file nobody answers on is what a killed emulator leaves behind.
bool LeftBehind(const std::string& path, const sockaddr_un& address) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return probe.Valid() &&
         ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
         errno == ECONNREFUSED;
}

struct Client {
  UniqueFd fd;
  std::string in;
  std::string out;
  bool closing = false;  // close once `out` is written
};

}  // namespace

ControlServer::ControlServer(PtyServer& server, std::string path)
    : server_(server), path_(std::move(path)) {}

ControlServer::~ControlServer() {
  Stop();
}

void ControlServer::Start() {
  if (thread_.joinable()) return;
  const sockaddr_un address = Address(path_);
  listener_ = Socket();
  if (LeftBehind(path_, address)) ::unlink(path_.c_str());
  if (::bind(listener_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ThrowErrno(errno, "control socket " + path_);
  }
  bound_ = true;
  if (::listen(listener_.Get(), 8) != 0) ThrowErrno(errno, "listen " + path_);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno(errno, "pipe");
  wakeRead_.Reset(pipeFds[0]);
  wakeWrite_.Reset(pipeFds[1]);
  thread_ = std::jthread([this](std::stop_token stop) { Serve(stop); });
}

void ControlServer::Stop() {
  if (thread_.joinable()) {
    thread_.request_stop();
    const char wake = 1;
    [[maybe_unused]] const auto n = ::write(wakeWrite_.Get(), &wake, 1);
    thread_.join();
  }
  if (bound_) {
    ::unlink(path_.c_str());
    bound_ = false;
  }
  listener_.Reset();
  wakeRead_.Reset();
  wakeWrite_.Reset();
}

void ControlServer::Serve(std::stop_token stop) {
  std::list<Client> clients;
  std::vector<pollfd> fds;
  while (!stop.stop_requested()) {
    fds.clear();
    fds.push_back({wakeRead_.Get(), POLLIN, 0});
    fds.push_back({listener_.Get(), POLLIN, 0});
    for (const auto& client : clients) {
      const short events =
          static_cast<short>((client.closing ? 0 : POLLIN) | (client.out.empty() ? 0 : POLLOUT));
      fds.push_back({client.fd.Get(), events, 0});
    }
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;

    if (fds[1].revents & POLLIN) {
      UniqueFd accepted(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (accepted.Valid()) clients.push_back({std::move(accepted), {}, {}, false});
    }

    std::size_t index = 2;
    for (auto it = clients.begin(); it != clients.end(); ++index) {
      // A client accepted in this round has no entry in `fds` yet.
      const short revents = index < fds.size() ? fds[index].revents : 0;
      Client& client = *it;
      bool gone = (revents & (POLLERR | POLLNVAL)) != 0;
      if (!gone && (revents & (POLLIN | POLLHUP)) && !client.closing) {
        char buf[4096];
        const auto n = ::read(client.fd.Get(), buf, sizeof buf);
        if (n > 0) {
          client.in.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          // The client is done: answer what it sent, a last line without its line feed
          // too, then close.
          client.closing = true;
          if (!client.in.empty()) client.in += '\n';
        }
        for (auto end = client.in.find('\n'); end != std::string::npos;
             end = client.in.find('\n')) {
          const std::string line = client.in.substr(0, end);
          client.in.erase(0, end + 1);
          if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
          client.out += server_.WithPrinter([&](Printer& p) { return ControlReply(p, line); });
          client.out += '\n';
        }
        if (client.in.size() > kMaxLine) {
          client.out += R"({"ok":false,"error":"command line too long"})"
                        "\n";
          client.in.clear();
          client.closing = true;
        }
      }
      if (!gone && !client.out.empty()) {
        // MSG_NOSIGNAL: a client that went away must not take the emulator with it.
        const auto n = ::send(client.fd.Get(), client.out.data(), client.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
          client.out.erase(0, static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          gone = true;
        }
      }
      if (gone || (client.closing && client.out.empty())) {
        it = clients.erase(it);
      } else {
        ++it;
      }
    }
  }
}

}  // namespace kestra::emu
