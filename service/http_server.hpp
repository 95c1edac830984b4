// The routes served over HTTP/1.1 (cpp-httplib): the access token, the body limit, and
// JSON errors for what the routes never see (unknown paths, bodies over the limit).
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "answers.hpp"
#include "api.hpp"

namespace httplib {
class Server;
}

namespace tauravatd {

struct HttpOptions {
  std::optional<std::string> token;  // "Authorization: Bearer <token>" on every request
  size_t bodyLimit = 64 * 1024;
  size_t threads = 16;
};

class HttpServer {
 public:
  HttpServer(std::vector<Route> routes, const Answers& answers, HttpOptions options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the address (port 0: any free port) and gives the port; throws on failure.
  int Bind(const std::string& host, int port);
  // Serves until Stop(), which may come from another thread at any time, before this
  // too; false when serving failed.
  bool Serve();
  void Stop();

 private:
  std::vector<Route> routes_;
  const Answers& answers_;
  HttpOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::atomic<bool> serving_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> stopRequested_{false};
  int listening_ = -1;  // the listening socket, once made
};

// Loopback addresses need no token; any other needs one.
bool IsLoopback(const std::string& host);

// The regular expression of a route's path: "{name}" becomes a capture of the characters
// a printer name or receipt id may hold.
std::string PathPattern(const std::string& path);

}  // namespace tauravatd
