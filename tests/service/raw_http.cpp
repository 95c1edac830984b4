#include "raw_http.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace tauravatd::testing {
namespace {

using namespace std::chrono_literals;

// Reads one HTTP answer from `socket` into `reply`: its head, then as many body bytes as
// its Content-Length says.
bool ReadAnswer(int socket, RawReply& reply, std::chrono::steady_clock::time_point deadline) {
  std::string received;
  size_t headEnd = std::string::npos, wanted = 0;
  for (;;) {
    if (headEnd != std::string::npos && received.size() >= headEnd + 4 + wanted) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{socket, POLLIN, 0};
    if (left <= 0ms || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    received.append(buffer, static_cast<size_t>(got));
    if (headEnd == std::string::npos &&
        (headEnd = received.find("\r\n\r\n")) != std::string::npos) {
      size_t line = received.find("\r\n");
      reply.status = std::stoi(received.substr(received.find(' ') + 1, 3));
      while (line < headEnd) {
        const size_t next = received.find("\r\n", line + 2);
        const std::string header = received.substr(line + 2, next - line - 2);
        const size_t colon = header.find(':');
        std::string name = header.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        reply.headers[name] = header.substr(header.find_first_not_of(' ', colon + 1));
        line = next;
      }
      if (reply.headers.count("content-length"))
        wanted = std::stoul(reply.headers["content-length"]);
    }
  }
  reply.body = received.substr(headEnd + 4, wanted);
  return true;
}

}  // namespace

RawReply Exchange(int port, std::string_view request, std::chrono::seconds limit) {
  RawReply reply;
  const auto start = std::chrono::steady_clock::now();
  const int connection = ::socket(AF_INET, SOCK_STREAM, 0);
  if (connection < 0) return reply;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      ::send(connection, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size()) &&
      ReadAnswer(connection, reply, start + limit)) {
    reply.json = nlohmann::json::parse(reply.body, nullptr, false);
  }
  reply.took = std::chrono::steady_clock::now() - start;
  ::close(connection);
  return reply;
}

std::string Request(std::string_view method, std::string_view path, std::string_view headers,
                    std::string_view body) {
  return std::string(method) + " " + std::string(path) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
         std::string(headers) + "\r\n" + std::string(body);
}

std::string WithBody(std::string_view method, std::string_view path, std::string_view contentType,
                     std::string_view body) {
  return Request(method, path,
                 "Content-Type: " + std::string(contentType) +
                     "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n",
                 body);
}

}  // namespace tauravatd::testing
