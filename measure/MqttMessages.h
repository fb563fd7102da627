// What parlune-measure says over MQTT, as plain data: the broker's address
// from --mqtt, each monitor's state message, and the Home Assistant
// discovery configs that describe it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QDateTime>

#include "measure/BlockOutputs.h"

struct MqttUrl {
    bool Tls = false; // mqtts://
    std::string User; // "" for none
    std::string Host;
    int Port = 1883;
    std::string Prefix; // topics start with it, no '/' at either end
};

// "mqtt://[user@]host[:port][/prefix]" or "mqtts://..." (port 8883); the
// prefix defaults to "parlune/<hostname>".  Nothing, and *why set, for a
// bad URL.
std::optional<MqttUrl> ParseMqttUrl(std::string_view text, const std::string& hostname, std::string* why);

// This machine's name (gethostname), "parlune" when it has none.
std::string HostName();

// A name as one topic level or id: letters, digits, '-' and '_' kept, every
// other byte '_'.
std::string TopicSafe(std::string_view name);

// One monitor's state: the block's figures (units in the keys; null where
// a figure is not defined for the block), in_band, the time and the blocks
// measured since the last message.
std::string StateJson(const MeasuredBlock& b, const QDateTime& utc, std::int64_t blocks);

struct Retained {
    std::string Topic, Payload;
};
// The discovery configs of one monitor's entities: its S/N, peak and noise
// sensors and the input's connectivity.  Available while both the process
// (<prefix>/availability) and the monitor's input are online; a sensor
// expires after three state intervals.  `remove`: the same topics with
// empty payloads, which delete the entities.
std::vector<Retained> DiscoveryConfigs(const MqttUrl& url, const std::string& host, const std::string& monitor,
                                       double intervalS, bool remove = false);

// <prefix>/<monitor>/state, <prefix>/<monitor>/availability, <prefix>/availability.
std::string StateTopic(const MqttUrl& url, const std::string& monitor);
std::string MonitorAvailabilityTopic(const MqttUrl& url, const std::string& monitor);
std::string ProcessAvailabilityTopic(const MqttUrl& url);
