// One monitor over MQTT, an output of its measurement: its discovery configs
// and input availability (retained), and a state message every interval.
#pragma once
#include <cstdint>
#include <string>

#include "measure/BlockOutputs.h"

class MqttClient;
class MonitorMetrics;

class MqttOutput final : public BlockOutput {
public:
    // Publishes the discovery configs (without `discovery` none; with
    // `removeDiscovery` empty ones, which delete them) and the input as online.  State
    // messages that cannot go out are counted in `metrics` (may be nullptr).
    MqttOutput(MqttClient& client, std::string monitor, double intervalS, bool discovery, bool removeDiscovery,
               MonitorMetrics* metrics);
    // The first block, then the first of every interval: its figures and
    // the blocks since the last message.
    void Block(const MeasuredBlock& b) override;
    void Close(const RunEnd&) override { Lost(); }
    void Lost(); // the input has gone: offline
    void Up();   // it is back: online

private:
    MqttClient& client_;
    std::string monitor_, stateTopic_, availabilityTopic_;
    double intervalS_;
    MonitorMetrics* metrics_;
    std::int64_t blocks_ = 0; // since the last message
    double sentS_ = -1;       // block end of the last message, s
};
