// The notification protocol is one datagram on a Unix socket whose name systemd gives in
// the environment, and systemd documents it as stable for programs that do not link
// libsystemd. Speaking it here keeps the service free of one more library and lets the
// tests stand in for systemd with a socket of their own.
#include "readiness.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace tauravatd {

bool NotifyServiceManager(std::string_view state) {
  const char* name = std::getenv("NOTIFY_SOCKET");
  if (name == nullptr || (name[0] != '/' && name[0] != '@')) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t length = std::strlen(name);
  if (length >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, name, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket
  const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);

  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const ssize_t sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), size);
  ::close(fd);
  return sent == static_cast<ssize_t>(state.size());
}

}  // namespace tauravatd
