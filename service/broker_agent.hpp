// The service on an MQTT broker (docs/fleet.md): receipts and commands come in on the
// site's topics and go the way HTTP requests go (the same desk, queues and journal); their
// outcomes and answers, each printer's status and the site's presence go out.
//
//   tauravat/v1/{site}/{printer}/receipts   in   the body of POST .../receipts
//   tauravat/v1/{site}/{printer}/outcomes   out  what POST would answer, once per message
//   tauravat/v1/{site}/{printer}/commands   in   {"id", "command", ...the operation's body}
//   tauravat/v1/{site}/{printer}/answers    out  {"id", "command", "status", ...the answer}
//   tauravat/v1/{site}/{printer}/status     out  retained: GET /v1/printers/{printer}
//   tauravat/v1/{site}/online               out  retained: {"online": true|false}
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "api.hpp"
#include "broker_link.hpp"
#include "change_feed.hpp"
#include "receipt_desk.hpp"
#include "service.hpp"

namespace tauravatd {

class BrokerAgent {
 public:
  BrokerAgent(Service& service, ReceiptDesk& desk, const BrokerConfig& config);
  ~BrokerAgent();
  BrokerAgent(const BrokerAgent&) = delete;
  BrokerAgent& operator=(const BrokerAgent&) = delete;

  void Start();
  // After the service has stopped: sends the outcomes that are ready, then leaves the
  // broker with the will ("online": false).
  void Stop();

 private:
  struct Outgoing {
    std::string topic;
    std::string payload;
    bool retain = false;
    std::optional<std::string> correlation;
  };
  // Where an answer goes: the printer's topic, and the sender's own when it named one.
  struct ReplyTo {
    std::string topic;
    std::optional<std::string> responseTopic;
    std::optional<std::string> correlation;
  };
  // A receipt admitted whose outcome is not final yet.
  struct Pending {
    ReplyTo reply;
    std::string id;
    std::optional<ReceiptDesk::Admitted> admitted;  // none: read the journal until final
  };

  std::string Topic(const std::string& printer, const char* leaf) const;
  void Connected();
  void Received(const BrokerMessage& message);
  void ReceiptMessage(const std::string& printer, const BrokerMessage& message);
  void CommandMessage(const std::string& printer, const BrokerMessage& message);
  // Runs an admitted command (on a thread of its own) and answers whoever waits for it.
  void RunCommand(const std::string& printer, const nlohmann::json& command);
  Answer Call(const std::string& method, const std::string& path, const std::string& printer,
              std::string body = {});
  void Reply(const ReplyTo& reply, const nlohmann::json& payload);

  void PublishLoop(std::stop_token stop);
  // The final outcomes of pending receipts, queued to be sent; true when any is left.
  bool CollectOutcomes();
  void CollectStatuses();
  std::optional<std::string> StatusJson(const std::string& printer);
  void Wake();
  void RecordWindow(std::chrono::steady_clock::duration window);

  Service& service_;
  ReceiptDesk& desk_;
  BrokerConfig config_;
  std::vector<Route> routes_;  // the HTTP interface's own handlers, for commands and status
  std::unique_ptr<BrokerLink> link_;
  ChangeFeed::Subscription following_;

  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool woken_ = false;
  std::deque<Outgoing> outbox_;
  std::vector<Pending> pending_;
  std::map<std::string, bool> statusDue_;                        // printer: a change to look at
  std::map<std::string, std::string> statusShown_;               // printer: the JSON last published
  std::map<std::string, std::vector<ReplyTo>> commandsRunning_;  // id: who waits for it
  struct CommandThread {
    std::shared_ptr<std::atomic<bool>> done;
    std::jthread thread;
  };
  std::vector<CommandThread> commandThreads_;  // those done are joined at the next command
  // Microseconds from a message's call-back to its id in the journal: the library
  // acknowledged the message just before the call-back.
  std::vector<int64_t> windows_;
  std::jthread publisher_;
};

}  // namespace tauravatd
