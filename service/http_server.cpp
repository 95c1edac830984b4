#include "http_server.hpp"

#include <httplib.h>
#include <sys/socket.h>

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

void Send(httplib::Response& response, const Answer& answer) {
  response.status = answer.status;
  if (!answer.location.empty()) response.set_header("Location", answer.location);
  if (answer.retryAfter > 0) response.set_header("Retry-After", std::to_string(answer.retryAfter));
  if (!answer.text.empty()) {
    response.set_content(answer.text, answer.contentType);
  } else {
    response.set_content(answer.body.dump(), "application/json");
  }
}

}  // namespace

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

  if (options_.token) {
    server_->set_pre_routing_handler([this](const httplib::Request& request,
                                            httplib::Response& response) {
      const std::string header = request.get_header_value("Authorization");
      const std::string prefix = "Bearer ";
      if (header.rfind(prefix, 0) == 0 &&
          SameSecret(header.substr(prefix.size()), *options_.token)) {
        return httplib::Server::HandlerResponse::Unhandled;
      }
      response.set_header("WWW-Authenticate", "Bearer");
      Send(response,
           answers_.Error(ErrorKind::kUnauthorized, 401, "send \"Authorization: Bearer <token>\""));
      return httplib::Server::HandlerResponse::Handled;
    });
  }

  for (const Route& route : routes_) {
    const Route* handled = &route;
    auto handler = [handled](const httplib::Request& request, httplib::Response& response) {
      ApiRequest call;
      for (size_t i = 1; i < request.matches.size(); ++i) call.params.push_back(request.matches[i]);
      call.query.assign(request.params.begin(), request.params.end());
      call.body = request.body;
      Send(response, handled->handle(call));
    };
    const std::string pattern = PathPattern(route.path);
    if (route.method == "GET") {
      server_->Get(pattern, handler);
    } else if (route.method == "POST") {
      server_->Post(pattern, handler);
    } else if (route.method == "PUT") {
      server_->Put(pattern, handler);
    } else {
      throw std::logic_error("no way to serve method " + route.method);
    }
  }

  // What no route answered: an unknown path, a body over the limit, a malformed request.
  server_->set_error_handler(httplib::Server::HandlerWithResponse(
      [this](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        Answer answer;
        if (response.status == 413) {
          answer =
              answers_.Error(ErrorKind::kBodyTooLarge, 413,
                             "the body is over " + std::to_string(options_.bodyLimit) + " bytes");
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
