// parlune-measure's connection to an MQTT broker (libmosquitto, on its own
// network thread, so a slow or absent broker never holds up a measurement):
// connected before any input opens, with a will that marks the process
// offline, and reconnected with back-off (1 s, doubling to 30 s) when the
// broker goes.  Retained messages are published again at every connect, so
// a restarted broker learns the discovery and availability afresh.
#pragma once
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "measure/MqttMessages.h"

struct mosquitto;

class MqttClient {
public:
    // The password from passwordFile, else PARLUNE_MQTT_PASSWORD; the CA
    // from caFile for mqtts://.  Throws Stop (status 2) for a password file
    // that cannot be read, a CA file that does not load, a host that is not
    // found, a TLS handshake that fails, or a broker that refuses the login.
    // A broker that does not answer is retried ("MQTT broker lost").
    MqttClient(const MqttUrl& url, const std::string& passwordFile, const std::string& caFile);
    // Marks the process offline and leaves.
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    const MqttUrl& Url() const { return url_; }
    // Published now (when connected) and again after every reconnect; an
    // empty payload deletes the topic's retained message.
    void Retain(const std::string& topic, const std::string& payload);
    // A state message: sent when connected and the broker keeps up, else
    // dropped (false): only the latest state matters.
    bool Send(const std::string& topic, const std::string& payload);

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnLog(mosquitto*, void* self, int level, const char* text);
    void PublishRetained();

    MqttUrl url_;
    mosquitto* m_ = nullptr;
    std::mutex mutex_;                          // guards retained_ and the start handshake
    std::condition_variable answered_;          // the broker answered or the connection dropped, at the start
    std::map<std::string, std::string> retained_;
    std::atomic<bool> connected_{false};
    std::atomic<int> connack_{-1};              // the first CONNACK's code, -1 until it comes
    std::atomic<bool> sslError_{false};        // the TLS handshake failed before that
    int firstDrop_ = 0;                         // why the connection dropped before that (MOSQ_ERR_*), 0: it did not
    std::atomic<bool> saidLost_{false};
    std::atomic<int> unsent_{0};                // state messages queued, not yet written
};
