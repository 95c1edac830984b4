// A client that sends a request byte for byte, as a till's HTTP library might (or might
// not) write it, and reads one answer: for what a library client would not send.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tauravatd::testing {

struct RawReply {
  int status = 0;                              // 0 when no answer came
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  nlohmann::json json;  // discarded when the body is not valid JSON
  std::chrono::steady_clock::duration took{};
};

// Sends `request` as written on a new connection to 127.0.0.1:`port` and reads one answer,
// keeping the connection open meanwhile (a client that has sent all it means to). Gives
// up after `limit`.
RawReply Exchange(int port, std::string_view request,
                  std::chrono::seconds limit = std::chrono::seconds(30));

// A request of `method` for `path` with `headers` (each ending in CRLF) and `body` exactly
// as given: no Content-Length is added.
std::string Request(std::string_view method, std::string_view path, std::string_view headers = {},
                    std::string_view body = {});

// A request with `body` of `contentType` and its Content-Length.
std::string WithBody(std::string_view method, std::string_view path, std::string_view contentType,
                     std::string_view body);

}  // namespace tauravatd::testing
