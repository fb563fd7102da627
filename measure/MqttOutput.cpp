#include "measure/MqttOutput.h"

#include "measure/Metrics.h"
#include "measure/MqttClient.h"

MqttOutput::MqttOutput(MqttClient& client, std::string monitor, double intervalS, bool discovery, bool removeDiscovery,
                       MonitorMetrics* metrics)
    : client_(client), monitor_(std::move(monitor)), stateTopic_(StateTopic(client.Url(), monitor_)),
      availabilityTopic_(MonitorAvailabilityTopic(client.Url(), monitor_)), intervalS_(intervalS), metrics_(metrics)
{
    if (discovery || removeDiscovery)
        for (const Retained& r : DiscoveryConfigs(client_.Url(), HostName(), monitor_,
                                                  intervalS_, removeDiscovery))
            client_.Retain(r.Topic, r.Payload);
    Up();
}

void MqttOutput::Block(const MeasuredBlock& b)
{
    ++blocks_;
    if (sentS_ >= 0 && b.EndS - sentS_ < intervalS_) return;
    sentS_ = b.EndS;
    if (client_.Send(stateTopic_, StateJson(b, QDateTime::currentDateTimeUtc(), blocks_)))
        blocks_ = 0;
    else if (metrics_ != nullptr)
        metrics_->MqttDropped();
}

void MqttOutput::Lost() { client_.Retain(availabilityTopic_, "offline"); }

void MqttOutput::Up() { client_.Retain(availabilityTopic_, "online"); }
