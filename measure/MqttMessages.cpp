#include "measure/MqttMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cctype>
#include <cmath>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A figure, or null where the block does not define it.
QJsonValue Figure(bool defined, double v) { return defined ? QJsonValue(v) : QJsonValue(QJsonValue::Null); }

struct Entity {
    const char* Key;  // the state's key and the entity's object id
    const char* Name; // what Home Assistant shows
    const char* Unit;
    const char* DeviceClass; // "" for none
};

const Entity kSensors[] = {
    {"snr_2500hz_db", "S/N in 2500 Hz", "dB", ""},
    {"snr_2500hz_corrected_db", "S/N in 2500 Hz, corrected", "dB", ""},
    {"snr_1hz_db", "S/N in 1 Hz", "dB", ""},
    {"snr_bin_db", "S/N in one bin", "dB", ""},
    {"peak_frequency_hz", "Peak frequency", "Hz", "frequency"},
    {"peak_db", "Peak level", "dB", ""},
    {"noise_db", "Noise level", "dB", ""},
};

std::string Json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(); }

} // namespace

std::string HostName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? name : "parlune";
}

std::string TopicSafe(std::string_view name)
{
    std::string out;
    for (const char c : name)
        out += std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' ? c : '_';
    return out;
}

std::optional<MqttUrl> ParseMqttUrl(std::string_view text, const std::string& hostname, std::string* why)
{
    MqttUrl u;
    const auto bad = [why](const std::string& w) {
        *why = w;
        return std::nullopt;
    };
    if (text.rfind("mqtts://", 0) == 0) {
        u.Tls = true;
        u.Port = 8883;
        text.remove_prefix(8);
    } else if (text.rfind("mqtt://", 0) == 0) {
        text.remove_prefix(7);
    } else {
        return bad("must be mqtt://[user@]host[:port][/prefix] or mqtts://...");
    }
    const std::size_t slash = std::min(text.find('/'), text.size());
    std::string_view authority = text.substr(0, slash), prefix = text.substr(std::min(slash + 1, text.size()));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        u.User = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        if (u.User.find(':') != std::string::npos)
            return bad("no password in the URL (ps would show it): use --mqtt-password-file or PARLUNE_MQTT_PASSWORD");
        if (u.User.empty()) return bad("an empty user name before '@'");
    }
    if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        const std::string_view port = authority.substr(colon + 1);
        const bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string_view::npos;
        if (!digits || std::stoi(std::string(port)) < 1 || std::stoi(std::string(port)) > 65535)
            return bad("the port must be 1 .. 65535");
        u.Port = std::stoi(std::string(port));
        authority = authority.substr(0, colon);
    }
    if (authority.empty()) return bad("no host");
    for (const char c : authority)
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '.' && c != '-') return bad("not a host name or IPv4 address");
    u.Host = authority;
    while (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
    if (prefix.find_first_of("+#") != std::string_view::npos || prefix.find("//") != std::string_view::npos)
        return bad("the prefix holds no '+', '#' or empty level");
    u.Prefix = prefix.empty() ? "parlune/" + TopicSafe(hostname) : std::string(prefix);
    return u;
}

std::string StateTopic(const MqttUrl& url, const std::string& monitor) { return url.Prefix + "/" + TopicSafe(monitor) + "/state"; }

std::string MonitorAvailabilityTopic(const MqttUrl& url, const std::string& monitor)
{
    return url.Prefix + "/" + TopicSafe(monitor) + "/availability";
}

std::string ProcessAvailabilityTopic(const MqttUrl& url) { return url.Prefix + "/availability"; }

std::string StateJson(const MeasuredBlock& b, const QDateTime& utc, std::int64_t blocks)
{
    QJsonObject o;
    o["time"] = utc.toString(Qt::ISODateWithMs);
    o["blocks"] = static_cast<qint64>(blocks);
    o["in_band"] = b.InBand();
    o["peak_frequency_hz"] = Figure(b.Measured, b.R.PeakHz);
    o["peak_db"] = Figure(b.Measured, b.R.PeakLevel);
    o["noise_db"] = Figure(b.Measured, b.R.NoiseLevel);
    o["snr_bin_db"] = Figure(b.InBand(), b.R.SNBinDb);
    o["snr_1hz_db"] = Figure(b.InBand(), b.R.SN1HzDb);
    o["snr_2500hz_db"] = Figure(b.InBand(), b.Sn2500Db.value_or(0));
    o["snr_2500hz_corrected_db"] = Figure(b.CorrectedDb.has_value(), b.CorrectedDb.value_or(0));
    return Json(o);
}

std::vector<Retained> DiscoveryConfigs(const MqttUrl& url, const std::string& host, const std::string& monitor,
                                       double intervalS, bool remove)
{
    const std::string node = "parlune_" + TopicSafe(host) + "_" + TopicSafe(monitor);
    const QJsonObject device{{"identifiers", QJsonArray{Q(node)}},
                             {"name", Q("Parlune " + monitor)},
                             {"model", "Parlune"},
                             {"manufacturer", "Parlune"},
                             {"sw_version", PARLUNE_VERSION}};
    const QJsonObject process{{"topic", Q(ProcessAvailabilityTopic(url))}};
    const QJsonArray both{process, QJsonObject{{"topic", Q(MonitorAvailabilityTopic(url, monitor))}}};
    std::vector<Retained> out;
    for (const Entity& e : kSensors) {
        QJsonObject c{{"name", e.Name},
                      {"unique_id", Q(node + "_" + e.Key)},
                      {"object_id", Q(node + "_" + e.Key)},
                      {"state_topic", Q(StateTopic(url, monitor))},
                      {"value_template", QString("{{ value_json.%1 }}").arg(e.Key)},
                      {"unit_of_measurement", e.Unit},
                      {"state_class", "measurement"},
                      {"availability", both},
                      {"availability_mode", "all"},
                      {"expire_after", static_cast<int>(std::ceil(3 * intervalS))},
                      {"device", device}};
        if (*e.DeviceClass != '\0') c["device_class"] = e.DeviceClass;
        out.push_back({"homeassistant/sensor/" + node + "/" + e.Key + "/config", remove ? "" : Json(c)});
    }
    const QJsonObject input{{"name", "Input"},
                            {"unique_id", Q(node + "_input")},
                            {"object_id", Q(node + "_input")},
                            {"device_class", "connectivity"},
                            {"state_topic", Q(MonitorAvailabilityTopic(url, monitor))},
                            {"payload_on", "online"},
                            {"payload_off", "offline"},
                            {"availability", QJsonArray{process}},
                            {"device", device}};
    out.push_back({"homeassistant/binary_sensor/" + node + "/input/config", remove ? "" : Json(input)});
    return out;
}
