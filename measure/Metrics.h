// The live figures of the monitors for Prometheus: one endpoint serving the
// text format, one set of series per monitor, labelled by its name.  Scrapes
// are answered on the endpoint's own threads from values set here.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measure/BlockOutputs.h"

namespace prometheus {
class Counter;
class Exposer;
class Gauge;
class Registry;
template <typename T>
class Family;
} // namespace prometheus

class Metrics;

// The series of every monitor, in the order --help lists them.
enum class Metric {
    Sn2500, Corrected, Sn1Hz, SnBin, PeakHz, PeakDb, NoiseDb, Up, LastBlock, BlockLength, // gauges
    Blocks, Losses, Gaps, Overflows, MqttDropped,                                            // counters
    Dial,                                                                                    // SDR inputs' gauge
};
inline constexpr int kMetricCount = static_cast<int>(Metric::Dial) + 1;
// --help's list of the series: "Gauges, labelled by monitor: ...; counters ...".
std::string MetricsListText();

// One monitor's series: an output of its measurement.
class MonitorMetrics final : public BlockOutput {
public:
    // A measured block, stamped with the time now; the S/N series only when
    // the peak is in the band (corrected: when defined).
    void Block(const MeasuredBlock& b) override;
    void Lost(); // the input has gone: measurement series removed, the loss counted
    void Up();   // the input is open again
    void Gap(double seconds); // audio that never came while the input was up
    void Overflows(std::int64_t n); // the device dropped samples n more times
    void Dial(double hz);     // an SDR input's dial frequency
    void MqttDropped();       // a state message that could not go to the broker

private:
    friend class Metrics;
    MonitorMetrics(Metrics& m, const std::string& name, double blockLengthS);
    void Remove();
    void Set(Metric m, double v);
    Metrics& m_;
    std::string name_;
    // Each gauge's series, present while the input is up (and, for S/N, once set).
    prometheus::Gauge* gauges_[kMetricCount] = {};
    prometheus::Counter* counters_[kMetricCount] = {};
};

class Metrics {
public:
    // Serves http://ADDR:PORT/metrics from "[ADDR:]PORT" (ADDR 127.0.0.1
    // unless given; IPv4 only).  Throws Stop (status 2) for a bad
    // address or a port that cannot be had.
    explicit Metrics(const std::string& where);
    ~Metrics();
    MonitorMetrics& Add(const std::string& monitor, double blockLengthS);

private:
    friend class MonitorMetrics;
    struct Families;
    std::shared_ptr<prometheus::Registry> registry_;
    std::unique_ptr<Families> f_;
    std::unique_ptr<prometheus::Exposer> exposer_;
    std::vector<std::unique_ptr<MonitorMetrics>> monitors_;
};
