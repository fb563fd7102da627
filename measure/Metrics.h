// The live figures of the monitors for Prometheus: one endpoint serving the
// text format, one set of series per monitor, labelled by its name.  Scrapes
// are answered on the endpoint's own threads from values set here.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/BlockChain.h"

namespace prometheus {
class Counter;
class Exposer;
class Gauge;
class Registry;
template <typename T>
class Family;
} // namespace prometheus

class Metrics;

// One monitor's series.
class MonitorMetrics {
public:
    // A measured block ending at unixTime (s); the S/N series only when the
    // peak is in the band (corrected: when defined).
    void Block(const BlockResult& r, std::optional<double> correctedDb, double unixTime);
    void Lost(); // the input has gone: measurement series removed, the loss counted
    void Up();   // the input is open again
    void Gap(double seconds); // audio that never came while the input was up

private:
    friend class Metrics;
    MonitorMetrics(Metrics& m, const std::string& name, double blockLengthS);
    void Remove();
    Metrics& m_;
    std::string name_;
    prometheus::Gauge* up_;
    prometheus::Gauge* last_;
    prometheus::Counter* blocks_;
    prometheus::Counter* losses_;
    prometheus::Counter* gaps_;
    // Measurement series, present while the input is up (and, for S/N, once set).
    prometheus::Gauge *sn2500_ = nullptr, *corrected_ = nullptr, *sn1Hz_ = nullptr, *snBin_ = nullptr;
    prometheus::Gauge *peakHz_ = nullptr, *peakDb_ = nullptr, *noiseDb_ = nullptr;
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
