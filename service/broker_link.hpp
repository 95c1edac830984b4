// The service's connection out to an MQTT broker, on libmosquitto: MQTT 5 with a session
// the broker keeps while the service is away (clean start off, a session expiry), so
// messages sent to an offline shop wait for it; a reconnection with back-off; a last will.
// The connection runs on a thread of its own; the handlers run on it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service_config.hpp"

struct mosquitto;

namespace tauravatd {

struct BrokerMessage {
  std::string topic;
  std::string payload;
  // MQTT 5 request and response: where the sender wants its answer, and the data it
  // wants back with it.
  std::optional<std::string> responseTopic;
  std::optional<std::string> correlation;
};

class BrokerLink {
 public:
  struct Handlers {
    std::function<void()> connected;                     // on every (re)connection
    std::function<void(const BrokerMessage&)> received;  // QoS 1, acknowledged already
  };

  // `will` is published retained on `willTopic` when the connection is lost, and when
  // Stop ends it.
  BrokerLink(const BrokerConfig& config, std::string clientId, std::string willTopic,
             std::string will, Handlers handlers);
  ~BrokerLink();
  BrokerLink(const BrokerLink&) = delete;
  BrokerLink& operator=(const BrokerLink&) = delete;

  // Connects (or goes on trying in the background) and starts the connection's thread.
  void Start();
  // Ends the connection with the will, and the thread.
  void Stop();

  // Subscribes at QoS 1 (called from the `connected` handler).
  void Subscribe(const std::string& topic);
  // Queues a QoS 1 message with the library; false when the library refuses it now (no
  // connection): the caller keeps it and tries again after the next connection.
  bool Publish(const std::string& topic, const std::string& payload, bool retain,
               const std::optional<std::string>& correlation = std::nullopt);
  bool Connected() const;
  // Waits until every QoS 1 message published has been acknowledged, or `timeout` ends.
  bool Drained(std::chrono::milliseconds timeout);

 private:
  friend struct BrokerCallbacks;  // libmosquitto's call-backs, in the source file

  BrokerConfig config_;
  std::string description_;  // host:port, for the log
  Handlers handlers_;
  mosquitto* client_ = nullptr;
  bool started_ = false;
  std::jthread thread_;  // runs the library's loop

  mutable std::mutex mutex_;
  std::condition_variable acknowledged_;
  bool connected_ = false;
  std::vector<int> unacknowledged_;  // message ids
};

}  // namespace tauravatd
