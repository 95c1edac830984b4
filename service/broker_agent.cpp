#include "broker_agent.hpp"

#include <algorithm>

#include "log.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

constexpr auto kRound = std::chrono::milliseconds(200);  // a look at what waits, at the latest
constexpr auto kLastSend = std::chrono::seconds(5);      // at stop, for the outcomes to go out
constexpr size_t kWindowSamples = 100'000;

std::vector<std::string> Split(const std::string& topic) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t slash; (slash = topic.find('/', start)) != std::string::npos; start = slash + 1) {
    parts.push_back(topic.substr(start, slash - start));
  }
  parts.push_back(topic.substr(start));
  return parts;
}

bool Final(ReceiptState state) {
  return state != ReceiptState::kQueued && state != ReceiptState::kPrinting;
}

// What POST would answer. A body refused before it had an entry gets the id it gave (null
// when it gave none that can be read) and the state "rejected".
json Outcome(const Answer& answer, const std::string& payload) {
  if (answer.body.contains("state")) return answer.body;
  json id = nullptr;
  const json given = json::parse(payload, nullptr, false);
  if (given.is_object() && given.contains("id") && given["id"].is_string()) id = given["id"];
  return {
      {"id", std::move(id)}, {"state", "rejected"}, {"error", answer.body.value("error", json())}};
}

}  // namespace

BrokerAgent::BrokerAgent(Service& service, ReceiptDesk& desk, const BrokerConfig& config)
    : service_(service), desk_(desk), config_(config), routes_(MakeRoutes(service, desk)) {
  link_ = std::make_unique<BrokerLink>(
      config_, "tauravatd-" + config_.site, "tauravat/v1/" + config_.site + "/online",
      json{{"online", false}}.dump(),
      BrokerLink::Handlers{[this] { Connected(); },
                           [this](const BrokerMessage& message) { Received(message); }});
}

BrokerAgent::~BrokerAgent() {
  Stop();
}

void BrokerAgent::Start() {
  {
    std::lock_guard lock(mutex_);
    for (const auto& worker : service_.Workers()) statusDue_[worker->Name()] = true;
  }
  // The follower only notes what changed: the publisher reads it on its own thread.
  following_ = service_.Changes().Follow({.printerChanged =
                                              [this](const std::string& printer) {
                                                std::lock_guard lock(mutex_);
                                                statusDue_[printer] = true;
                                                woken_ = true;
                                                wake_.notify_all();
                                              },
                                          .entryChanged =
                                              [this](const JournalEntry& entry) {
                                                std::lock_guard lock(mutex_);
                                                statusDue_[entry.printer] =
                                                    true;  // its last receipt
                                                woken_ = true;
                                                wake_.notify_all();
                                              }});
  publisher_ = std::jthread([this](std::stop_token stop) { PublishLoop(stop); });
  link_->Start();
}

void BrokerAgent::Stop() {
  if (!publisher_.joinable()) return;
  std::vector<CommandThread> commands;
  {
    std::lock_guard lock(mutex_);
    commands = std::move(commandThreads_);
  }
  commands.clear();  // joined: the stopped service has answered them
  // The outcomes the stopped service settled go out before the will.
  const auto deadline = std::chrono::steady_clock::now() + kLastSend;
  while (std::chrono::steady_clock::now() < deadline) {
    Wake();
    std::unique_lock lock(mutex_);
    if (outbox_.empty() && pending_.empty()) break;
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  link_->Drained(kLastSend);
  publisher_.request_stop();
  Wake();
  publisher_.join();
  following_.Cancel();
  link_->Stop();
  std::lock_guard lock(mutex_);
  if (!windows_.empty()) {
    std::sort(windows_.begin(), windows_.end());
    LogNote("broker: " + std::to_string(windows_.size()) +
            " message(s) acknowledged before their journal entry, for a median of " +
            std::to_string(windows_[windows_.size() / 2]) + " us, at most " +
            std::to_string(windows_.back()) + " us");
  }
}

std::string BrokerAgent::Topic(const std::string& printer, const char* leaf) const {
  return "tauravat/v1/" + config_.site + "/" + printer + "/" + leaf;
}

void BrokerAgent::Connected() {
  link_->Subscribe("tauravat/v1/" + config_.site + "/+/receipts");
  link_->Subscribe("tauravat/v1/" + config_.site + "/+/commands");
  std::lock_guard lock(mutex_);
  // The broker may have lost what it retained: everything is shown again.
  statusShown_.clear();
  for (auto& [printer, due] : statusDue_) due = true;
  outbox_.push_front({"tauravat/v1/" + config_.site + "/online", json{{"online", true}}.dump(),
                      true, std::nullopt});
  woken_ = true;
  wake_.notify_all();
}

void BrokerAgent::Received(const BrokerMessage& message) {
  const auto parts = Split(message.topic);
  if (parts.size() != 5 || parts[0] != "tauravat" || parts[1] != "v1" || parts[2] != config_.site) {
    return;
  }
  if (parts[4] == "receipts") {
    ReceiptMessage(parts[3], message);
  } else if (parts[4] == "commands") {
    CommandMessage(parts[3], message);
  }
}

void BrokerAgent::ReceiptMessage(const std::string& printer, const BrokerMessage& message) {
  // The library has queued the acknowledgement: the id must reach the journal before this
  // call-back returns, and the sooner the better.
  const auto arrived = std::chrono::steady_clock::now();
  auto admitted = desk_.Admit(printer, message.payload);
  RecordWindow(std::chrono::steady_clock::now() - arrived);
  const ReplyTo reply{Topic(printer, "outcomes"), message.responseTopic, message.correlation};
  if (auto* answer = std::get_if<Answer>(&admitted)) {
    const json outcome = Outcome(*answer, message.payload);
    const auto state = outcome["state"].is_string()
                           ? ParseState(outcome["state"].get<std::string>())
                           : std::nullopt;
    if (state && !Final(*state)) {
      // Left printing by an earlier run: answered when the printer has settled it.
      std::lock_guard lock(mutex_);
      pending_.push_back({reply, outcome["id"].get<std::string>(), std::nullopt});
      return;
    }
    Reply(reply, outcome);
    return;
  }
  auto& receipt = std::get<ReceiptDesk::Admitted>(admitted);
  std::lock_guard lock(mutex_);
  pending_.push_back({reply, receipt.id, std::move(receipt)});
  woken_ = true;
  wake_.notify_all();
}

void BrokerAgent::Reply(const ReplyTo& reply, const json& payload) {
  const std::string text = payload.dump(-1, ' ', false, json::error_handler_t::replace);
  std::lock_guard lock(mutex_);
  outbox_.push_back({reply.topic, text, false, std::nullopt});
  if (reply.responseTopic) {
    outbox_.push_back({*reply.responseTopic, text, false, reply.correlation});
  }
  woken_ = true;
  wake_.notify_all();
}

void BrokerAgent::Wake() {
  std::lock_guard lock(mutex_);
  woken_ = true;
  wake_.notify_all();
}

void BrokerAgent::RecordWindow(std::chrono::steady_clock::duration window) {
  std::lock_guard lock(mutex_);
  if (windows_.size() < kWindowSamples) {
    windows_.push_back(std::chrono::duration_cast<std::chrono::microseconds>(window).count());
  }
}

void BrokerAgent::PublishLoop(std::stop_token stop) {
  while (!stop.stop_requested()) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, stop, kRound, [this] { return woken_; });
      woken_ = false;
    }
    CollectOutcomes();
    CollectStatuses();
    // In order; what the library will not take now waits for the next connection.
    while (true) {
      std::unique_lock lock(mutex_);
      if (outbox_.empty()) break;
      Outgoing next = outbox_.front();
      lock.unlock();
      if (!link_->Publish(next.topic, next.payload, next.retain, next.correlation)) break;
      lock.lock();
      outbox_.pop_front();
    }
  }
}

bool BrokerAgent::CollectOutcomes() {
  std::vector<Pending> waiting;
  {
    std::lock_guard lock(mutex_);
    waiting.swap(pending_);
  }
  std::vector<Pending> left;
  for (Pending& item : waiting) {
    std::optional<json> outcome;
    if (item.admitted) {
      if (item.admitted->outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        const JournalEntry entry = item.admitted->outcome.get();
        outcome = service_.Answer().ReceiptAnswer(entry, item.admitted->fresh).body;
      }
    } else {
      try {
        if (const auto entry = service_.ReceiptJournal().Find(item.id);
            entry && Final(entry->state)) {
          outcome = service_.Answer().ReceiptAnswer(*entry, false).body;
        }
      } catch (const JournalError&) {
        // Looked at again in the next round.
      }
    }
    if (outcome) {
      Reply(item.reply, *outcome);
    } else {
      left.push_back(std::move(item));
    }
  }
  std::lock_guard lock(mutex_);
  for (Pending& item : left) pending_.push_back(std::move(item));
  return !pending_.empty();
}

void BrokerAgent::CollectStatuses() {
  std::vector<std::string> due;
  {
    std::lock_guard lock(mutex_);
    for (auto& [printer, isDue] : statusDue_) {
      if (std::exchange(isDue, false)) due.push_back(printer);
    }
  }
  for (const std::string& printer : due) {
    auto status = StatusJson(printer);
    if (!status) continue;
    std::lock_guard lock(mutex_);
    std::string& shown = statusShown_[printer];
    if (shown == *status) continue;  // the same again: nothing to tell
    shown = *status;
    outbox_.push_back({Topic(printer, "status"), *status, true, std::nullopt});
  }
}

// GET /v1/printers/{printer}, with the printer's latest receipt beside it.
std::optional<std::string> BrokerAgent::StatusJson(const std::string& printer) {
  Answer answer = Call("GET", "/v1/printers/{name}", printer);
  if (answer.status != 200) return std::nullopt;
  json lastReceipt = nullptr;
  try {
    EntryFilter latest;
    latest.limit = 1;
    if (const auto page = service_.ReceiptJournal().List(printer, latest);
        page && !page->entries.empty()) {
      const JournalEntry& entry = page->entries.front();
      lastReceipt = {
          {"id", entry.id},
          {"state", StateName(entry.state)},
          {"receipt_number", entry.receiptNumber ? json(*entry.receiptNumber) : json(nullptr)},
          {"updated", entry.updated}};
    }
  } catch (const JournalError&) {
    return std::nullopt;  // shown when the journal can be read again
  }
  answer.body["last_receipt"] = std::move(lastReceipt);
  return answer.body.dump(-1, ' ', false, json::error_handler_t::replace);
}

Answer BrokerAgent::Call(const std::string& method, const std::string& path,
                         const std::string& printer, std::string body) {
  for (const Route& route : routes_) {
    if (route.method == method && route.path == path) {
      return route.handle(ApiRequest{{printer}, {}, std::move(body)});
    }
  }
  return service_.Answer().Error(ErrorKind::kInternal, 500, "no route " + method + " " + path);
}

}  // namespace tauravatd
