// The routes served over HTTP/1.1 (cpp-httplib): the access token, the body limit, and
// JSON errors for what the routes never see (unknown paths and methods, bodies over the
// limit or without a length).
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "answers.hpp"
#include "api.hpp"

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

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
  // The methods one path takes.
  struct PathMethods {
    std::regex pattern;
    std::string source;  // the pattern as written
    std::vector<std::string> methods;
    bool open = false;  // served without the token (Route::open)
  };

  // Answers at once what no route may take: a missing or wrong token, an unknown path or
  // method, a body of unknown length. True when it answered.
  bool Refused(const httplib::Request& request, httplib::Response& response) const;
  // Reads the body whatever its content type, up to the limit, and calls the route.
  void CallWithBody(const Route& route, const httplib::Request& request,
                    httplib::Response& response, const httplib::ContentReader& reader) const;

  std::vector<Route> routes_;
  std::vector<PathMethods> paths_;
  const Answers& answers_;
  HttpOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::atomic<bool> serving_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> stopRequested_{false};
  int listening_ = -1;  // the listening socket, once made
};

// The token of an Authorization header of the Bearer scheme, named in any case (RFC 7235);
// nothing for another scheme.
std::optional<std::string_view> BearerToken(std::string_view header);

// Loopback addresses need no token; any other needs one.
bool IsLoopback(const std::string& host);

// The regular expression of a route's path: "{name}" becomes a capture of the characters
// a printer name or receipt id may hold.
std::string PathPattern(const std::string& path);

}  // namespace tauravatd
