#include "http_server.hpp"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <stdexcept>
#include <thread>

#include "log.hpp"

namespace tauravatd {
namespace {

// Compares without stopping at the first difference, so the time taken does not tell
// how much of a guessed token was right.
bool SameSecret(const std::string& given, const std::string& expected) {
  if (expected.empty()) return false;
  unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
  }
  return difference == 0;
}

// A client told to come back gets a time to do so: long enough for paper to be loaded or a
// port to be opened again, short enough for a till waiting at the counter.
constexpr int kRetryAfterSeconds = 5;

void Send(httplib::Response& response, const Answer& answer) {
  response.status = answer.status;
  if (!answer.location.empty()) response.set_header("Location", answer.location);
  // Every 503 says when to come back; an answer may name a time of its own.
  const int retryAfter =
      answer.retryAfter > 0 ? answer.retryAfter : (answer.status == 503 ? kRetryAfterSeconds : 0);
  if (retryAfter > 0) response.set_header("Retry-After", std::to_string(retryAfter));
  if (answer.stream) {
    // Sent as it comes, never stored on the way.
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider(
        answer.contentType, [stream = answer.stream](size_t, httplib::DataSink& sink) {
          const bool more = stream([&sink](std::string_view text) {
            return sink.is_writable() && sink.write(text.data(), text.size());
          });
          // The end of the stream is its last chunk; a client that is gone ends it too.
          if (!more) sink.done();
          return true;
        });
    return;
  }
  const std::string type = answer.text.empty() ? "application/json" : answer.contentType;
  response.set_content(AnswerText(answer), type);
}

// On every answer: the page loads nothing but the service's own files and runs no inline
// script or style, so injected markup can do nothing; no answer is read as another type
// than it says; no address leaves the page in a Referer.
const httplib::Headers& SafetyHeaders() {
  static const httplib::Headers headers = {
      {"Content-Security-Policy",
       "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; "
       "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; "
       "frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
  };
  return headers;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Without either, HTTP/1.1 gives a request no body (RFC 9112, 6.3); cpp-httplib would
// wait for the connection to close instead.
bool HasBodyLength(const httplib::Request& request) {
  return request.has_header("Content-Length") ||
         EqualIgnoringCase(request.get_header_value("Transfer-Encoding"), "chunked");
}

// The path's parameters and the query of a request; its body is read apart.
ApiRequest CallOf(const httplib::Request& request) {
  ApiRequest call;
  for (size_t i = 1; i < request.matches.size(); ++i) call.params.push_back(request.matches[i]);
  call.query.assign(request.params.begin(), request.params.end());
  return call;
}

// HEAD is served wherever GET is.
bool Takes(const std::vector<std::string>& methods, const std::string& method) {
  const std::string asked = method == "HEAD" ? "GET" : method;
  return std::find(methods.begin(), methods.end(), asked) != methods.end();
}

// The methods the interface describes; HEAD goes unnamed, as everywhere in it.
std::string AllowHeader(std::vector<std::string> methods) {
  std::sort(methods.begin(), methods.end());
  std::string allow;
  for (const std::string& method : methods) {
    allow += (allow.empty() ? "" : ", ") + method;
  }
  return allow;
}

}  // namespace

std::optional<std::string_view> BearerToken(std::string_view header) {
  constexpr std::string_view kScheme = "Bearer";
  if (header.size() <= kScheme.size() || header[kScheme.size()] != ' ' ||
      !EqualIgnoringCase(header.substr(0, kScheme.size()), kScheme)) {
    return std::nullopt;
  }
  const size_t token = header.find_first_not_of(' ', kScheme.size());
  if (token == std::string_view::npos) return std::nullopt;
  return header.substr(token);
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

std::string PathPattern(const std::string& path) {
  static const std::regex parameter(R"(\{[a-z_]+\})");
  return std::regex_replace(path, parameter, "([A-Za-z0-9._:-]+)");
}

HttpServer::HttpServer(std::vector<Route> routes, const Answers& answers, HttpOptions options)
    : routes_(std::move(routes)),
      answers_(answers),
      options_(std::move(options)),
      server_(std::make_unique<httplib::Server>()) {
  const size_t threads = options_.threads;
  server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // cpp-httplib listens with a backlog of 5: tills that connect at once (a shop opening,
  // tills retrying on a busy printer) would find it full and lose their connections. The
  // listening socket is noted as it is made, and Bind() raises its backlog.
  server_->set_socket_options([this](socket_t sock) {
    httplib::default_socket_options(sock);
    listening_ = sock;
  });
  server_->set_payload_max_length(options_.bodyLimit);
  server_->set_default_headers(SafetyHeaders());

  server_->set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        return Refused(request, response) ? httplib::Server::HandlerResponse::Handled
                                          : httplib::Server::HandlerResponse::Unhandled;
      });

  for (const Route& route : routes_) {
    const std::string pattern = PathPattern(route.path);
    const auto known = std::find_if(paths_.begin(), paths_.end(), [&](const PathMethods& path) {
      return path.source == pattern;
    });
    if (known == paths_.end()) {
      paths_.push_back({std::regex(pattern), pattern, {route.method}, route.open});
    } else {
      known->methods.push_back(route.method);
    }
    const Route* handled = &route;
    if (route.method == "GET") {
      server_->Get(pattern,
                   [handled](const httplib::Request& request, httplib::Response& response) {
                     Send(response, handled->handle(CallOf(request)));
                   });
      continue;
    }
    // A body is read by the route itself: cpp-httplib's own reading would hold form bodies
    // (curl's default content type) to a limit of its own.
    auto reading = [this, handled](const httplib::Request& request, httplib::Response& response,
                                   const httplib::ContentReader& reader) {
      CallWithBody(*handled, request, response, reader);
    };
    if (route.method == "POST") {
      server_->Post(pattern, reading);
    } else if (route.method == "PUT") {
      server_->Put(pattern, reading);
    } else {
      throw std::logic_error("no way to serve method " + route.method);
    }
  }

  // What no route answered: a malformed request.
  server_->set_error_handler(httplib::Server::HandlerWithResponse(
      [this](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        Answer answer;
        if (response.status == 413) {
          answer = answers_.Error(ErrorKind::kBodyTooLarge, 413, "the body is too large");
        } else if (response.status == 404) {
          answer = answers_.Error(ErrorKind::kNotFound, 404, "no such path");
        } else {
          answer = answers_.Error(
              response.status < 500 ? ErrorKind::kInvalidRequest : ErrorKind::kInternal,
              response.status, "the request could not be served");
        }
        Send(response, answer);
        return httplib::Server::HandlerResponse::Handled;
      }));
  server_->set_exception_handler([this](const httplib::Request& request,
                                        httplib::Response& response, std::exception_ptr error) {
    std::string what = "unexpected failure";
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    LogWarning(request.method + " " + request.path + ": " + what);
    Send(response, answers_.Error(ErrorKind::kInternal, 500, what));
  });
}

bool HttpServer::Refused(const httplib::Request& request, httplib::Response& response) const {
  const auto path = std::find_if(paths_.begin(), paths_.end(), [&](const PathMethods& known) {
    return std::regex_match(request.path, known.pattern);
  });
  if (options_.token && !(path != paths_.end() && path->open)) {
    const std::string header = request.get_header_value("Authorization");
    const auto token = BearerToken(header);
    if (!token || !SameSecret(std::string(*token), *options_.token)) {
      response.set_header("WWW-Authenticate", "Bearer");
      Send(response,
           answers_.Error(ErrorKind::kUnauthorized, 401, "send \"Authorization: Bearer <token>\""));
      return true;
    }
  }
  if (path == paths_.end()) {
    Send(response, answers_.Error(ErrorKind::kNotFound, 404, "no such path"));
    return true;
  }
  if (!Takes(path->methods, request.method)) {
    const std::string allow = AllowHeader(path->methods);
    response.set_header("Allow", allow);
    Send(response, answers_.Error(ErrorKind::kMethodNotAllowed, 405,
                                  "this path takes " + allow + ", not " + request.method));
    return true;
  }
  if ((request.method == "POST" || request.method == "PUT") && !HasBodyLength(request)) {
    Send(response, answers_.Error(ErrorKind::kLengthRequired, 411,
                                  "send the body with a Content-Length (or chunked)"));
    return true;
  }
  return false;
}

void HttpServer::CallWithBody(const Route& route, const httplib::Request& request,
                              httplib::Response& response,
                              const httplib::ContentReader& reader) const {
  ApiRequest call = CallOf(request);
  if (request.is_multipart_form_data()) {
    // Read to its end, so that the connection can go on.
    reader([](const httplib::MultipartFormData&) { return true; },
           [](const char*, size_t) { return true; });
    Send(response, answers_.Error(ErrorKind::kInvalidJson, 400,
                                  "the body must be the JSON document itself, not a form"));
    return;
  }
  bool over = false;
  const bool read = reader([&](const char* data, size_t size) {
    // Counted here too: a chunked or compressed body has no length to check beforehand.
    over = call.body.size() + size > options_.bodyLimit;
    if (!over) call.body.append(data, size);
    return !over;
  });
  if (over || response.status == 413) {
    Send(response,
         answers_.Error(ErrorKind::kBodyTooLarge, 413,
                        "the body is over " + std::to_string(options_.bodyLimit) + " bytes"));
  } else if (!read) {
    const int status = response.status >= 400 ? response.status : 400;
    Send(response,
         answers_.Error(ErrorKind::kInvalidRequest, status, "the body could not be read"));
  } else {
    Send(response, route.handle(call));
  }
}

HttpServer::~HttpServer() = default;

int HttpServer::Bind(const std::string& host, int port) {
  if (port == 0) {
    port = server_->bind_to_any_port(host);
    if (port < 0) throw std::runtime_error("cannot listen on " + host);
  } else if (!server_->bind_to_port(host, port)) {
    throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port));
  }
  // Listening again on a listening socket only sets its backlog.
  if (listening_ >= 0) ::listen(listening_, SOMAXCONN);
  return port;
}

bool HttpServer::Serve() {
  serving_ = true;
  const bool served = stopRequested_ || server_->listen_after_bind();
  finished_ = true;
  return served;
}

void HttpServer::Stop() {
  stopRequested_ = true;
  server_->stop();
  // cpp-httplib ignores a stop that comes before its accept loop has begun: ask again
  // until serving has ended.
  while (serving_ && !finished_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server_->stop();
  }
}

}  // namespace tauravatd
