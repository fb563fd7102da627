// The MQTT messages as plain data: the broker's URL, and a state whose
// undefined figures are null, never a stale value.
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "measure/MqttMessages.h"

TEST(MqttMessages, UrlsGiveHostPortUserAndPrefixOrWhyNot)
{
    const struct { const char* text; bool tls; const char* user; const char* host; int port; const char* prefix; } ok[] = {
        {"mqtt://broker", false, "", "broker", 1883, "parlune/shack_pc"},
        {"mqtts://op@10.0.0.2:8884/station/hf/", true, "op", "10.0.0.2", 8884, "station/hf"},
        {"mqtts://broker.lan", true, "", "broker.lan", 8883, "parlune/shack_pc"},
    };
    for (const auto& c : ok) {
        std::string why;
        const std::optional<MqttUrl> u = ParseMqttUrl(c.text, "shack.pc", &why);
        ASSERT_TRUE(u.has_value()) << c.text << ": " << why;
        EXPECT_EQ(std::tuple(u->Tls, u->User, u->Host, u->Port, u->Prefix), std::tuple(c.tls, std::string(c.user), std::string(c.host), c.port, std::string(c.prefix)));
    }
    for (const char* bad : {"mqtt://", "mqtt://@host", "mqtt://host:65536", "mqtt://host:x", "mqtt://a b", "mqtt://h/a//b", "mqtt://h/#"}) {
        std::string why;
        EXPECT_FALSE(ParseMqttUrl(bad, "h", &why).has_value()) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

TEST(MqttMessages, FiguresABlockDoesNotDefineAreNull)
{
    BlockResult r;
    r.PeakHz = 1000, r.PeakLevel = 40, r.NoiseLevel = 10, r.SN1HzDb = 30, r.SNBinDb = 25;
    const QDateTime t = QDateTime::fromString("2026-12-06T10:00:00.000Z", Qt::ISODateWithMs);
    const auto state = [&](bool measured, std::optional<double> sn, std::optional<double> corrected) {
        const MeasuredBlock b{r, 7, 0, 1, measured, sn, corrected};
        return QJsonDocument::fromJson(QByteArray::fromStdString(StateJson(b, t, 3))).object();
    };
    const QJsonObject inBand = state(true, 20.5, 20.4), outside = state(true, std::nullopt, std::nullopt),
                      silent = state(false, std::nullopt, std::nullopt);
    EXPECT_EQ(std::tuple(inBand["snr_2500hz_db"].toDouble(), inBand["snr_2500hz_corrected_db"].toDouble(), inBand["snr_1hz_db"].toDouble(),
                         inBand["snr_bin_db"].toDouble(), inBand["in_band"].toBool(), inBand["blocks"].toInt(), inBand["time"].toString()),
              std::tuple(20.5, 20.4, 30.0, 25.0, true, 3, QString("2026-12-06T10:00:00.000Z")));
    for (const char* key : {"snr_2500hz_db", "snr_2500hz_corrected_db", "snr_1hz_db", "snr_bin_db"})
        EXPECT_TRUE(outside[key].isNull() && silent[key].isNull()) << key;
    EXPECT_EQ(std::pair(outside["peak_frequency_hz"].toDouble(), outside["in_band"].toBool()), std::pair(1000.0, false));
    for (const char* key : {"peak_frequency_hz", "peak_db", "noise_db"}) EXPECT_TRUE(silent[key].isNull()) << key;
}
