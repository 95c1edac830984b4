#include "ser2net.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kestradr::testing {
namespace {

constexpr const char* kProgram = "/usr/sbin/ser2net";
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A free loopback port, held by a bound socket that never listens. SO_REUSEADDR on both
// sides lets ser2net bind and listen on it; the kernel hands it to nobody else, neither
// as another free port nor as the local port of a connection, until the holder closes.
// Closing it and letting ser2net bind later left a window in which a parallel suite
// could take the same port and answer for it.
int ReservePort(int& holder) {
  holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (holder < 0 || setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (holder >= 0) close(holder);
    holder = -1;
    throw std::runtime_error("no free loopback port");
  }
  return ntohs(address.sin_port);
}

// The inodes of the sockets `pid` has open.
std::set<std::string> SocketInodes(pid_t pid) {
  std::set<std::string> inodes;
  std::error_code error;
  const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (!error && target.starts_with("socket:[") && target.ends_with("]"))
      inodes.insert(target.substr(8, target.size() - 9));
  }
  return inodes;
}

// Whether `pid` itself listens on loopback `port`, read from the kernel's tables: a
// probing connection would take the device for a moment and turn the next client away,
// and a listener of some other program's must not pass for ours.
bool ListeningBy(pid_t pid, int port) {
  std::ifstream table("/proc/net/tcp");
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, address, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> address >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    if (address == local && state == "0A") return SocketInodes(pid).contains(inode);
  }
  return false;
}

}  // namespace

Ser2net::Ser2net(std::string device, bool nodelay) : device_(std::move(device)) {
  char pattern[] = "/tmp/ser2net-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary directory");
  directory_ = pattern;
  rawPort_ = ReservePort(rawHold_);
  try {
    telnetPort_ = ReservePort(telnetHold_);
  } catch (...) {
    close(rawHold_);
    throw;
  }
  // The speed and format of the line as the printer has them; RFC 2217 clients set their
  // own. Every reply is passed on at once, as the documentation advises for a printer.
  const std::string tcp = nodelay ? "tcp(nodelay)" : "tcp";
  std::ofstream(directory_ + "/ser2net.yaml")
      << "connection: &raw\n"
      << "  accepter: " << tcp << ",127.0.0.1," << rawPort_ << "\n"
      << "  connector: serialdev," << device_ << ",9600e81,local\n"
      << "  options:\n    chardelay: false\n"
      << "connection: &rfc2217\n"
      << "  accepter: telnet(rfc2217)," << tcp << ",127.0.0.1," << telnetPort_ << "\n"
      << "  connector: serialdev," << device_ << ",9600e81,local\n"
      << "  options:\n    chardelay: false\n";
}

Ser2net::~Ser2net() {
  Stop();
  close(rawHold_);
  close(telnetHold_);
  std::filesystem::remove_all(directory_);
}

bool Ser2net::Installed() {
  return access(kProgram, X_OK) == 0;
}

void Ser2net::Start() {
  const std::string config = directory_ + "/ser2net.yaml";
  const std::string pidFile = directory_ + "/ser2net.pid";
  const std::string log = directory_ + "/ser2net.log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // -n: in the foreground, so that the pid is the server's own.
  const char* argv[] = {kProgram, "-n", "-c", config.c_str(), "-P", pidFile.c_str(), nullptr};
  const int spawned =
      posix_spawn(&pid_, kProgram, &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("ser2net did not start");
  for (const auto until = Clock::now() + 5s; Clock::now() < until;) {
    if (ListeningBy(pid_, rawPort_) && ListeningBy(pid_, telnetPort_)) return;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("ser2net ended at start; its log: " + log);
    }
    std::this_thread::sleep_for(10ms);
  }
  Stop(true);
  throw std::runtime_error("ser2net did not take connections within 5 s; its log: " + log);
}

void Ser2net::Stop(bool kill) {
  if (pid_ <= 0) return;
  ::kill(pid_, kill ? SIGKILL : SIGTERM);
  for (const auto until = Clock::now() + 5s; Clock::now() < until;) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(5ms);
  }
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace kestradr::testing
