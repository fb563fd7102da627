#include "measure/MqttClient.h"

#include <mosquitto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "measure/Stop.h"

namespace {

constexpr int kKeepAliveS = 30;
constexpr int kConnAckWaitMs = 5000; // for the broker's answer at the start
constexpr int kMaxUnsent = 64;       // state messages queued before more are dropped

std::string ReadPassword(const std::string& file)
{
    if (file.empty()) {
        const char* env = std::getenv("PARLUNE_MQTT_PASSWORD");
        return env == nullptr ? "" : env;
    }
    std::ifstream in(file);
    std::string line;
    if (!in || (!std::getline(in, line) && !in.eof()))
        Fail(kExitUsage, "--mqtt-password-file: " + file + ": cannot read: " + std::strerror(errno));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void CheckCaFile(const std::string& file)
{
    std::ifstream in(file);
    if (!in) Fail(kExitUsage, "--mqtt-ca: " + file + ": cannot read: " + std::strerror(errno));
    std::stringstream text;
    text << in.rdbuf();
    if (text.str().find("-----BEGIN CERTIFICATE-----") == std::string::npos)
        Fail(kExitUsage, "--mqtt-ca: " + file + ": not a PEM certificate");
}

void Say(const char* what)
{
    std::fprintf(stderr, "parlune-measure: %s\n", what);
}

} // namespace

MqttClient::MqttClient(const MqttUrl& url, const std::string& passwordFile, const std::string& caFile) : url_(url)
{
    const std::string password = ReadPassword(passwordFile);
    if (url_.Tls && !caFile.empty()) CheckCaFile(caFile);
    mosquitto_lib_init();
    m_ = mosquitto_new(nullptr, true, this);
    if (m_ == nullptr) Fail(kExitUsage, "--mqtt: cannot make an MQTT client");
    // A refusal below leaves nothing behind: the client goes before the line.
    const auto refuse = [this](const std::string& line) {
        // Not a forced stop: cancelling the thread mid-connect leaks its address list.
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
        mosquitto_lib_cleanup();
        Fail(kExitUsage, line);
    };
    mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!url_.User.empty()) mosquitto_username_pw_set(m_, url_.User.c_str(), password.empty() ? nullptr : password.c_str());
    const std::string will = ProcessAvailabilityTopic(url_);
    mosquitto_will_set(m_, will.c_str(), 7, "offline", 1, true);
    if (url_.Tls) {
        if (caFile.empty())
            mosquitto_int_option(m_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else if (mosquitto_tls_set(m_, caFile.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
            refuse("--mqtt-ca: " + caFile + ": does not load");
    }
    mosquitto_connect_callback_set(m_, OnConnect);
    mosquitto_disconnect_callback_set(m_, OnDisconnect);
    mosquitto_publish_callback_set(m_, OnPublish);
    mosquitto_log_callback_set(m_, OnLog);
    mosquitto_reconnect_delay_set(m_, 1, 30, true);
    Retain(will, "online");

    const std::string where = url_.Host + ":" + std::to_string(url_.Port);
    const int rc = mosquitto_connect(m_, url_.Host.c_str(), url_.Port, kKeepAliveS);
    const std::string tlsFailed = "--mqtt: " + where + ": the TLS handshake failed (is --mqtt-ca the broker's CA?)";
    if (rc == MOSQ_ERR_EAI) refuse("--mqtt: cannot find the host " + url_.Host);
    if (rc == MOSQ_ERR_TLS) refuse(tlsFailed);
    mosquitto_loop_start(m_);
    if (rc == MOSQ_ERR_SUCCESS) {
        std::unique_lock lock(mutex_);
        answered_.wait_for(lock, std::chrono::milliseconds(kConnAckWaitMs),
                            [this] { return connack_ >= 0 || firstDrop_ != MOSQ_ERR_SUCCESS || sslError_; });
    }
    if (connack_ < 0 && (firstDrop_ == MOSQ_ERR_TLS || sslError_)) refuse(tlsFailed);
    if (connack_ > 0) refuse("--mqtt: " + where + " refused the connection: " + mosquitto_connack_string(connack_));
    if (connack_ < 0 && !saidLost_.exchange(true)) Say("MQTT broker lost; reconnecting");
}

MqttClient::~MqttClient()
{
    if (connected_) {
        const std::string will = ProcessAvailabilityTopic(url_);
        mosquitto_publish(m_, nullptr, will.c_str(), 7, "offline", 1, true);
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
    } else {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, true);
    }
    mosquitto_destroy(m_);
    mosquitto_lib_cleanup();
}

void MqttClient::Retain(const std::string& topic, const std::string& payload)
{
    const std::lock_guard lock(mutex_);
    retained_[topic] = payload;
    if (connected_)
        mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, true);
}

bool MqttClient::Send(const std::string& topic, const std::string& payload)
{
    if (!connected_ || unsent_ >= kMaxUnsent) return false;
    ++unsent_;
    if (mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 0, false) ==
        MOSQ_ERR_SUCCESS)
        return true;
    --unsent_;
    return false;
}

// On the network thread.
void MqttClient::OnConnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<MqttClient*>(self);
    bool first = false;
    {
        const std::lock_guard lock(c->mutex_);
        first = c->connack_ < 0;
        if (first) c->connack_ = rc;
    }
    c->answered_.notify_all();
    if (rc != 0) {
        // At the start the refusal is the one line, from the constructor.
        if (!first && !c->saidLost_.exchange(true)) Say("MQTT broker lost; reconnecting");
        return;
    }
    c->unsent_ = 0; // what was queued before went with the old connection
    c->connected_ = true;
    if (c->saidLost_.exchange(false)) Say("MQTT broker back");
    c->PublishRetained();
}

void MqttClient::OnDisconnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<MqttClient*>(self);
    const bool was = c->connected_.exchange(false);
    {
        const std::lock_guard lock(c->mutex_);
        if (c->connack_ < 0 && c->firstDrop_ == MOSQ_ERR_SUCCESS) {
            // Dropped before the broker answered at the start: the constructor says why.
            c->firstDrop_ = rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc;
            c->answered_.notify_all();
            return;
        }
    }
    // Only a connection that was up is lost; failed attempts say nothing more.
    if (was && rc != 0 && !c->saidLost_.exchange(true)) Say("MQTT broker lost; reconnecting");
}

// libmosquitto reports a failed TLS handshake only in its log.
void MqttClient::OnLog(mosquitto*, void* self, int level, const char* text)
{
    auto* c = static_cast<MqttClient*>(self);
    if (level == MOSQ_LOG_ERR && std::strstr(text, "SSL") != nullptr && c->connack_ < 0) {
        c->sslError_ = true;
        c->answered_.notify_all();
    }
}

void MqttClient::OnPublish(mosquitto*, void* self, int)
{
    auto* c = static_cast<MqttClient*>(self);
    if (c->unsent_ > 0) --c->unsent_;
}

void MqttClient::PublishRetained()
{
    const std::lock_guard lock(mutex_);
    for (const auto& [topic, payload] : retained_)
        mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, true);
}
