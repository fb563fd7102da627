#include "measure/Metrics.h"

#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <exception>

#include "engine/Measurement.h"
#include "measure/Stop.h"

using prometheus::Counter;
using prometheus::Family;
using prometheus::Gauge;

namespace {

struct MetricInfo {
    const char* Name;
    bool Counter;
    const char* Help; // the endpoint's HELP line
    const char* Note; // what --help adds after the name, or ""
};

const char* const kInBandNote =
    "set only by blocks with the peak in the band; other blocks leave them at the last such block's value";

const MetricInfo kMetrics[kMetricCount] = {
    {"parlune_snr_2500hz_db", false, "S/N in 2500 Hz, dB, of the last block with the peak in the band", ""},
    {"parlune_snr_2500hz_corrected_db", false,
     "S/N in 2500 Hz with the noise taken out of the signal band, dB, of the last block with the peak in the band", ""},
    {"parlune_snr_1hz_db", false, "S/N in 1 Hz, dB, of the last block with the peak in the band", ""},
    {"parlune_snr_bin_db", false, "S/N in one noise-equivalent bin, dB, of the last block with the peak in the band",
     kInBandNote},
    {"parlune_peak_frequency_hertz", false, "Frequency of the spectrum's peak, Hz", ""},
    {"parlune_peak_level_db", false, "Level of the spectrum's peak above the display threshold, dB", ""},
    {"parlune_noise_level_db", false, "Noise level per bin above the display threshold, dB", ""},
    {"parlune_input_up", false, "1 while the monitor's input delivers audio, 0 once it is lost", ""},
    {"parlune_last_block_timestamp_seconds", false, "Unix time of the end of the last measured block", ""},
    {"parlune_block_length_seconds", false, "Duration of one block: FFT size over sample rate", ""},
    {"parlune_blocks_measured_total", true, "Blocks measured", ""},
    {"parlune_input_losses_total", true, "Times the input was lost", ""},
    {"parlune_audio_gap_seconds_total", true,
     "Time the input delivered nothing while it was up (a stopped process, a suspended machine), s",
     "time the input delivered nothing while up: a stopped process, a suspended machine"},
    {"parlune_input_overflows_total", true, "Times the device or its transport dropped samples; their blocks are not measured",
     "an SDR receiver's dropped samples"},
    {"parlune_mqtt_messages_dropped_total", true, "MQTT state messages dropped while the broker was away or behind",
     "while the broker was away or behind"},
    {"parlune_dial_frequency_hertz", false, "An SDR input's dial frequency: the radio frequency at the analysed 0 Hz, Hz",
     "SDR inputs only"},
};

int Index(Metric m) { return static_cast<int>(m); }

} // namespace

std::string MetricsListText()
{
    std::string gauges, counters, last; // the last counter joins the list with "and"
    for (const MetricInfo& m : kMetrics) {
        const std::string item = std::string(m.Name) + (*m.Note ? std::string(" (") + m.Note + ")" : "");
        if (!m.Counter) {
            gauges += (gauges.empty() ? "" : ", ") + item;
            continue;
        }
        if (!last.empty()) counters += (counters.empty() ? "" : ", ") + last;
        last = item;
    }
    return "Gauges, labelled by monitor: " + gauges + "; counters " + counters + " and " + last;
}

struct Metrics::Families {
    explicit Families(prometheus::Registry& r)
    {
        for (int i = 0; i < kMetricCount; ++i) {
            if (kMetrics[i].Counter)
                counters[i] = &prometheus::BuildCounter().Name(kMetrics[i].Name).Help(kMetrics[i].Help).Register(r);
            else
                gauges[i] = &prometheus::BuildGauge().Name(kMetrics[i].Name).Help(kMetrics[i].Help).Register(r);
        }
        info = &prometheus::BuildGauge().Name("parlune_build_info").Help("The program's version, as a label; always 1").Register(r);
    }
    Family<Gauge>* gauges[kMetricCount] = {};
    Family<Counter>* counters[kMetricCount] = {};
    Family<Gauge>* info = nullptr;
};

namespace {

constexpr int kServerThreads = 16;
constexpr int kRequestTimeoutMs = 3000;

// "[ADDR:]PORT" as civetweb takes it: ADDR:PORT, with 127.0.0.1 by default.
// Debian's civetweb is built without IPv6.
std::string BindAddress(const std::string& where)
{
    if (where.find('[') != std::string::npos || std::count(where.begin(), where.end(), ':') > 1)
        Fail(kExitUsage, "--metrics: IPv6 addresses are not supported, not '" + where + "'");
    const auto colon = where.rfind(':');
    const std::string port = colon == std::string::npos ? where : where.substr(colon + 1);
    const std::string addr = colon == std::string::npos ? "127.0.0.1" : where.substr(0, colon);
    const bool digits = !port.empty() && port.size() <= 5 &&
                        port.find_first_not_of("0123456789") == std::string::npos && std::stoi(port) >= 1 &&
                        std::stoi(port) <= 65535;
    if (!digits || addr.empty()) Fail(kExitUsage, "--metrics: must be [ADDR:]PORT with a port 1 .. 65535, not '" + where + "'");
    return addr + ":" + port;
}

} // namespace

Metrics::Metrics(const std::string& where) : registry_(std::make_shared<prometheus::Registry>())
{
    const std::string bind = BindAddress(where);
    f_ = std::make_unique<Families>(*registry_);
    f_->info->Add({{"version", PARLUNE_VERSION}}).Set(1);
    try {
        // Idle or slow clients (a browser tab keeping its connection, a half
        // sent request) each hold a thread until the request time limit:
        // enough threads and a short limit keep scrapes answered.
        exposer_ = std::make_unique<prometheus::Exposer>(std::vector<std::string>{
            "listening_ports", bind, "num_threads", std::to_string(kServerThreads), "request_timeout_ms",
            std::to_string(kRequestTimeoutMs)});
    } catch (const std::exception& e) {
        Fail(kExitUsage, "--metrics: cannot serve on " + bind + " (in use, or not an address of this machine)");
    }
    exposer_->RegisterCollectable(registry_);
}

Metrics::~Metrics() = default;

MonitorMetrics& Metrics::Add(const std::string& monitor, double blockLengthS)
{
    monitors_.push_back(std::unique_ptr<MonitorMetrics>(new MonitorMetrics(*this, monitor, blockLengthS)));
    return *monitors_.back();
}

MonitorMetrics::MonitorMetrics(Metrics& m, const std::string& name, double blockLengthS) : m_(m), name_(name)
{
    for (const Metric g : {Metric::Up, Metric::LastBlock, Metric::BlockLength}) Set(g, 0);
    for (const Metric c : {Metric::Blocks, Metric::Losses, Metric::Gaps, Metric::Overflows, Metric::MqttDropped})
        counters_[Index(c)] = &m.f_->counters[Index(c)]->Add({{"monitor", name}});
    Set(Metric::BlockLength, blockLengthS);
}

void MonitorMetrics::Set(Metric m, double v)
{
    prometheus::Gauge*& g = gauges_[Index(m)];
    if (g == nullptr) g = &m_.f_->gauges[Index(m)]->Add({{"monitor", name_}});
    g->Set(v);
}

void MonitorMetrics::Block(const MeasuredBlock& b)
{
    if (!b.Measured) return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    Set(Metric::Up, 1);
    Set(Metric::LastBlock, std::chrono::duration<double>(now).count());
    counters_[Index(Metric::Blocks)]->Increment();
    Set(Metric::PeakHz, b.R.PeakHz);
    Set(Metric::PeakDb, b.R.PeakLevel);
    Set(Metric::NoiseDb, b.R.NoiseLevel);
    if (!b.InBand()) return;
    Set(Metric::Sn2500, *b.Sn2500Db);
    Set(Metric::Sn1Hz, b.R.SN1HzDb);
    Set(Metric::SnBin, b.R.SNBinDb);
    if (b.CorrectedDb) Set(Metric::Corrected, *b.CorrectedDb);
}

void MonitorMetrics::Lost()
{
    Remove();
    Set(Metric::Up, 0);
    counters_[Index(Metric::Losses)]->Increment();
}

void MonitorMetrics::Up() { Set(Metric::Up, 1); }

void MonitorMetrics::Gap(double seconds) { counters_[Index(Metric::Gaps)]->Increment(seconds); }

void MonitorMetrics::Overflows(std::int64_t n) { counters_[Index(Metric::Overflows)]->Increment(static_cast<double>(n)); }

void MonitorMetrics::Dial(double hz) { Set(Metric::Dial, hz); }

void MonitorMetrics::MqttDropped() { counters_[Index(Metric::MqttDropped)]->Increment(); }

// The measurement series go; the input's own stay.
void MonitorMetrics::Remove()
{
    for (const Metric m : {Metric::Sn2500, Metric::Corrected, Metric::Sn1Hz, Metric::SnBin, Metric::PeakHz,
                           Metric::PeakDb, Metric::NoiseDb}) {
        prometheus::Gauge*& g = gauges_[Index(m)];
        if (g != nullptr) m_.f_->gauges[Index(m)]->Remove(g);
        g = nullptr;
    }
}
