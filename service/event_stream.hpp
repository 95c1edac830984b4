// GET /v1/events: Server-Sent Events of what changes, for the shop's page and for
// integrators. Each stream first gives every printer's status, then
//
//   event: printer           data: the status as GET /v1/printers/{name} answers it
//   event: receipt           data: the entry as GET .../receipts/{id} answers it
//
// each only when it differs from what the stream last sent of it, and a comment line when
// nothing happened for a while. Streams are few and bounded: each holds a server thread of
// its own (the server has one for each on top of the others), and one over the limit is
// answered 503.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>

#include "answers.hpp"

namespace tauravatd {

class Service;

class EventStreams {
 public:
  EventStreams(Service& service, size_t limit, std::chrono::milliseconds keepAlive);
  ~EventStreams();
  EventStreams(const EventStreams&) = delete;
  EventStreams& operator=(const EventStreams&) = delete;

  // A new stream, or 503 when `limit` are open or the service is stopping.
  Answer Open();
  // Ends every stream, and refuses new ones; waits a moment for them to end.
  void Stop();

  size_t OpenCount() const;

  class Stream;

 private:
  friend class Stream;
  void Closed(Stream* stream);

  Service& service_;
  const size_t limit_;
  const std::chrono::milliseconds keepAlive_;
  mutable std::mutex mutex_;
  std::condition_variable closed_;
  std::set<Stream*> open_;
  bool stopping_ = false;
};

}  // namespace tauravatd
