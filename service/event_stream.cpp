#include "event_stream.hpp"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "api.hpp"
#include "service.hpp"

namespace tauravatd {
namespace {

// Changes a stream holds for a client that reads slowly. Past it the stream ends: the
// client connects again and starts from the whole state, which loses nothing.
constexpr size_t kMaxPending = 1000;
// Receipts whose last sent form a stream remembers, to drop repeats.
constexpr size_t kMaxRemembered = 1000;
// How long a stop waits for the open streams to end.
constexpr std::chrono::seconds kEndingTime{2};
// How soon a browser connects again after a stream ended (milliseconds).
constexpr int kReconnectMs = 3000;

std::string Event(std::string_view name, const nlohmann::json& data) {
  return "event: " + std::string(name) +
         "\ndata: " + data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n\n";
}

}  // namespace

class EventStreams::Stream {
 public:
  Stream(EventStreams& owner, Service& service) : owner_(owner), service_(service) {
    subscription_ = service.Changes().Follow({
        .printerChanged = [this](const std::string& printer) { Queue(printer, std::nullopt); },
        .entryChanged = [this](const JournalEntry& entry) { Queue({}, entry); },
    });
  }
  ~Stream() {
    subscription_.Cancel();
    owner_.Closed(this);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  bool Next(const std::function<bool(std::string_view)>& write) {
    std::unique_lock lock(mutex_);
    if (!started_) {
      started_ = true;
      lock.unlock();
      std::string text = "retry: " + std::to_string(kReconnectMs) + "\n\n";
      for (const auto& worker : service_.Workers()) text += PrinterEvent(worker->Name());
      return write(text);
    }
    wake_.wait_for(lock, owner_.keepAlive_,
                   [this] { return stopped_ || overflowed_ || !pending_.empty(); });
    if (stopped_ || overflowed_) return false;
    if (pending_.empty()) {
      lock.unlock();
      return write(": keep-alive\n\n");
    }
    std::deque<Change> changes = std::move(pending_);
    pending_.clear();
    lock.unlock();
    std::string text;
    for (const Change& change : changes) {
      text += change.entry ? EntryEvent(*change.entry) : PrinterEvent(change.printer);
    }
    return text.empty() || write(text);
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    wake_.notify_all();
  }

 private:
  struct Change {
    std::string printer;
    std::optional<JournalEntry> entry;
  };

  // On the thread that made the change: only noted here, made into an event by the stream.
  void Queue(const std::string& printer, const std::optional<JournalEntry>& entry) {
    {
      std::lock_guard lock(mutex_);
      const auto same = std::find_if(pending_.begin(), pending_.end(), [&](const Change& c) {
        return entry ? c.entry && c.entry->id == entry->id : !c.entry && c.printer == printer;
      });
      if (same != pending_.end()) {
        same->entry = entry;  // the latest form of it is what will be sent
      } else if (pending_.size() >= kMaxPending) {
        overflowed_ = true;
      } else {
        pending_.push_back({printer, entry});
      }
    }
    wake_.notify_all();
  }

  // Empty when the client already has this form of it.
  std::string PrinterEvent(const std::string& printer) {
    PrinterWorker* worker = service_.Find(printer);
    if (worker == nullptr) return {};
    const nlohmann::json status = PrinterJson(worker->Status(), service_.Answer());
    return Fresh(sentPrinters_, printer, status) ? Event("printer", status) : std::string();
  }

  std::string EntryEvent(const JournalEntry& entry) {
    if (sentEntries_.size() > kMaxRemembered) sentEntries_.clear();
    const nlohmann::json json = service_.Answer().Entry(entry);
    return Fresh(sentEntries_, entry.id, json) ? Event("receipt", json) : std::string();
  }

  static bool Fresh(std::map<std::string, nlohmann::json>& sent, const std::string& key,
                    const nlohmann::json& now) {
    auto [known, inserted] = sent.try_emplace(key, now);
    if (inserted) return true;
    if (known->second == now) return false;
    known->second = now;
    return true;
  }

  EventStreams& owner_;
  Service& service_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Change> pending_;
  bool started_ = false;
  bool stopped_ = false;
  bool overflowed_ = false;
  // Read and written by the stream's own thread only.
  std::map<std::string, nlohmann::json> sentPrinters_;
  std::map<std::string, nlohmann::json> sentEntries_;
  ChangeFeed::Subscription subscription_;
};

EventStreams::EventStreams(Service& service, size_t limit, std::chrono::milliseconds keepAlive)
    : service_(service), limit_(limit), keepAlive_(keepAlive) {}

EventStreams::~EventStreams() {
  Stop();
}

Answer EventStreams::Open() {
  std::lock_guard lock(mutex_);
  if (stopping_) {
    return service_.Answer().Error(ErrorKind::kUnavailable, 503, "the service is stopping");
  }
  if (open_.size() >= limit_) {
    return service_.Answer().Error(
        ErrorKind::kUnavailable, 503,
        std::to_string(limit_) + " event streams are open, as many as this service serves");
  }
  auto stream = std::make_shared<Stream>(*this, service_);
  open_.insert(stream.get());
  Answer answer;
  // Exactly this type: cpp-httplib compresses any other text, and a compressor holds back
  // what it was given until it has enough.
  answer.contentType = "text/event-stream";
  answer.stream = [stream](const std::function<bool(std::string_view)>& write) {
    return stream->Next(write);
  };
  return answer;
}

void EventStreams::Stop() {
  std::unique_lock lock(mutex_);
  stopping_ = true;
  for (Stream* stream : open_) stream->Stop();
  // The server ends a stream properly (its last chunk) only while it still serves: wait a
  // moment for each to end before the server is stopped.
  closed_.wait_for(lock, kEndingTime, [this] { return open_.empty(); });
}

size_t EventStreams::OpenCount() const {
  std::lock_guard lock(mutex_);
  return open_.size();
}

void EventStreams::Closed(Stream* stream) {
  {
    std::lock_guard lock(mutex_);
    open_.erase(stream);
  }
  closed_.notify_all();
}

void AddEventRoutes(std::vector<Route>& routes, Service& service) {
  routes.push_back(
      {"GET", "/v1/events", [&service](const ApiRequest&) { return service.Streams().Open(); }});
}

}  // namespace tauravatd
