#include "broker_link.hpp"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "log.hpp"

namespace tauravatd {
namespace {

// How long the broker keeps the session (its subscriptions and the messages sent to it)
// while the service is away: a shop closed for a long holiday still gets its receipts.
constexpr uint32_t kSessionExpirySeconds = 30 * 24 * 3600;
// Back-off between attempts to reach the broker: from 1 s, doubling, up to 60 s.
constexpr unsigned kFirstRetrySeconds = 1;
constexpr unsigned kLastRetrySeconds = 60;

void Check(int rc, const std::string& what) {
  if (rc != MOSQ_ERR_SUCCESS) throw std::runtime_error(what + ": " + mosquitto_strerror(rc));
}

struct Properties {
  mosquitto_property* list = nullptr;
  ~Properties() { mosquitto_property_free_all(&list); }
};

}  // namespace

struct BrokerCallbacks {
  static void Connect(mosquitto*, void* self, int rc, int, const mosquitto_property*) {
    auto& link = *static_cast<BrokerLink*>(self);
    if (rc != 0) {
      LogWarning("broker " + link.description_ +
                 " refused the connection: " + mosquitto_reason_string(rc));
      return;
    }
    {
      std::lock_guard lock(link.mutex_);
      link.connected_ = true;
    }
    LogNote("connected to the broker " + link.description_ + " as site " + link.config_.site);
    if (link.handlers_.connected) link.handlers_.connected();
  }

  static void Disconnect(mosquitto*, void* self, int rc, const mosquitto_property*) {
    auto& link = *static_cast<BrokerLink*>(self);
    bool was = false;
    {
      std::lock_guard lock(link.mutex_);
      was = std::exchange(link.connected_, false);
    }
    if (was && rc != 0) {
      LogWarning("lost the broker " + link.description_ + " (" + mosquitto_strerror(rc) +
                 "); connecting again");
    }
  }

  static void Message(mosquitto*, void* self, const mosquitto_message* message,
                      const mosquitto_property* properties) {
    auto& link = *static_cast<BrokerLink*>(self);
    BrokerMessage received;
    received.topic = message->topic;
    if (message->payloadlen > 0) {
      received.payload.assign(static_cast<const char*>(message->payload),
                              static_cast<size_t>(message->payloadlen));
    }
    char* topic = nullptr;
    if (mosquitto_property_read_string(properties, MQTT_PROP_RESPONSE_TOPIC, &topic, false)) {
      received.responseTopic = topic;
      free(topic);
    }
    void* data = nullptr;
    uint16_t length = 0;
    if (mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &data, &length,
                                       false)) {
      received.correlation = std::string(static_cast<const char*>(data), length);
      free(data);
    }
    try {
      link.handlers_.received(received);
    } catch (const std::exception& e) {
      LogWarning("a message on " + received.topic + " was not handled: " + e.what());
    }
  }

  static void Publish(mosquitto*, void* self, int mid) {
    auto& link = *static_cast<BrokerLink*>(self);
    std::lock_guard lock(link.mutex_);
    std::erase(link.unacknowledged_, mid);
    link.acknowledged_.notify_all();
  }
};

BrokerLink::BrokerLink(const BrokerConfig& config, std::string clientId, std::string willTopic,
                       std::string will, Handlers handlers)
    : config_(config),
      description_(config.host + ":" + std::to_string(config.port)),
      handlers_(std::move(handlers)) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { mosquitto_lib_init(); });
  // Clean start off: the broker keeps the session between connections.
  client_ = mosquitto_new(clientId.c_str(), false, this);
  if (client_ == nullptr) throw std::runtime_error("cannot make an MQTT client");
  try {
    Check(mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5), "MQTT 5");
    if (config_.user) {
      Check(mosquitto_username_pw_set(client_, config_.user->c_str(),
                                      config_.password ? config_.password->c_str() : nullptr),
            "the broker's user");
    }
    if (config_.tls) {
      Check(
          mosquitto_tls_set(client_, config_.caFile ? config_.caFile->c_str() : nullptr,
                            config_.caFile ? nullptr : "/etc/ssl/certs", nullptr, nullptr, nullptr),
          "TLS");
    }
    Check(mosquitto_will_set_v5(client_, willTopic.c_str(), static_cast<int>(will.size()),
                                will.data(), 1, true, nullptr),
          "the last will");
    Check(mosquitto_reconnect_delay_set(client_, kFirstRetrySeconds, kLastRetrySeconds, true),
          "the back-off");
  } catch (...) {
    mosquitto_destroy(client_);
    throw;
  }
  mosquitto_connect_v5_callback_set(client_, BrokerCallbacks::Connect);
  mosquitto_disconnect_v5_callback_set(client_, BrokerCallbacks::Disconnect);
  mosquitto_message_v5_callback_set(client_, BrokerCallbacks::Message);
  mosquitto_publish_callback_set(client_, BrokerCallbacks::Publish);
}

BrokerLink::~BrokerLink() {
  Stop();
  mosquitto_destroy(client_);
}

void BrokerLink::Start() {
  Properties properties;
  Check(mosquitto_property_add_int32(&properties.list, MQTT_PROP_SESSION_EXPIRY_INTERVAL,
                                     kSessionExpirySeconds),
        "the session expiry");
  const int rc = mosquitto_connect_bind_v5(client_, config_.host.c_str(), config_.port,
                                           config_.keepaliveSeconds, nullptr, properties.list);
  if (rc != MOSQ_ERR_SUCCESS) {
    // The library's thread goes on trying, with back-off.
    LogWarning("cannot reach the broker " + description_ + " now (" +
               (rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc)) +
               "); trying again in the background");
  }
  // The library's loop retries a lost connection with back-off itself, but gives up for
  // good on some failures (a name that does not resolve, a TLS handshake refused): a shop
  // whose line comes back must find its broker again, so the loop is run again.
  mosquitto_threaded_set(client_, true);
  started_ = true;
  thread_ = std::jthread([this](std::stop_token stop) {
    unsigned delay = kFirstRetrySeconds;
    while (!stop.stop_requested()) {
      const int ended = mosquitto_loop_forever(client_, 1000, 1);
      if (stop.stop_requested()) break;
      LogWarning("the connection to the broker " + description_ + " ended (" +
                 mosquitto_strerror(ended) + "); trying again in " + std::to_string(delay) + " s");
      std::mutex sleeping;
      std::unique_lock lock(sleeping);
      std::condition_variable_any().wait_for(lock, stop, std::chrono::seconds(delay),
                                             [] { return false; });
      delay = std::min(delay * 2, kLastRetrySeconds);
      mosquitto_reconnect(client_);
    }
  });
}

void BrokerLink::Stop() {
  if (!std::exchange(started_, false)) return;
  thread_.request_stop();
  // Disconnecting with the will tells the chain the shop is offline, as a lost line would.
  mosquitto_disconnect_v5(client_, MQTT_RC_DISCONNECT_WITH_WILL_MSG, nullptr);
  thread_.join();
}

void BrokerLink::Subscribe(const std::string& topic) {
  const int rc = mosquitto_subscribe_v5(client_, nullptr, topic.c_str(), 1, 0, nullptr);
  if (rc != MOSQ_ERR_SUCCESS) {
    LogWarning("cannot subscribe to " + topic + ": " + mosquitto_strerror(rc));
  }
}

bool BrokerLink::Publish(const std::string& topic, const std::string& payload, bool retain,
                         const std::optional<std::string>& correlation) {
  Properties properties;
  if (correlation) {
    mosquitto_property_add_binary(
        &properties.list, MQTT_PROP_CORRELATION_DATA, correlation->data(),
        static_cast<uint16_t>(std::min<size_t>(correlation->size(), 65535)));
  }
  int mid = 0;
  // Held while the library queues it, so that the acknowledgement finds the id listed.
  std::lock_guard lock(mutex_);
  if (!connected_) return false;
  const int rc =
      mosquitto_publish_v5(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                           payload.data(), 1, retain, properties.list);
  if (rc != MOSQ_ERR_SUCCESS) return false;
  unacknowledged_.push_back(mid);
  return true;
}

bool BrokerLink::Connected() const {
  std::lock_guard lock(mutex_);
  return connected_;
}

bool BrokerLink::Drained(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return acknowledged_.wait_for(lock, timeout, [this] { return unacknowledged_.empty(); });
}

}  // namespace tauravatd
