#include "measure/Metrics.h"

#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <algorithm>
#include <cctype>
#include <exception>

#include "engine/Measurement.h"
#include "measure/Stop.h"

using prometheus::Counter;
using prometheus::Family;
using prometheus::Gauge;

struct Metrics::Families {
    explicit Families(prometheus::Registry& r)
        : sn2500(G(r, "parlune_snr_2500hz_db", "S/N in 2500 Hz, dB, of the last block with the peak in the band")),
          corrected(G(r, "parlune_snr_2500hz_corrected_db",
                      "S/N in 2500 Hz with the noise taken out of the signal band, dB, of the last block with the peak in the band")),
          sn1Hz(G(r, "parlune_snr_1hz_db", "S/N in 1 Hz, dB, of the last block with the peak in the band")),
          snBin(G(r, "parlune_snr_bin_db", "S/N in one noise-equivalent bin, dB, of the last block with the peak in the band")),
          peakHz(G(r, "parlune_peak_frequency_hertz", "Frequency of the spectrum's peak, Hz")),
          peakDb(G(r, "parlune_peak_level_db", "Level of the spectrum's peak above the display threshold, dB")),
          noiseDb(G(r, "parlune_noise_level_db", "Noise level per bin above the display threshold, dB")),
          up(G(r, "parlune_input_up", "1 while the monitor's input delivers audio, 0 once it is lost")),
          last(G(r, "parlune_last_block_timestamp_seconds", "Unix time of the end of the last measured block")),
          length(G(r, "parlune_block_length_seconds", "Duration of one block: FFT size over sample rate")),
          blocks(prometheus::BuildCounter().Name("parlune_blocks_measured_total").Help("Blocks measured").Register(r)),
          losses(prometheus::BuildCounter().Name("parlune_input_losses_total").Help("Times the input was lost").Register(r)),
          gaps(prometheus::BuildCounter()
                   .Name("parlune_audio_gap_seconds_total")
                   .Help("Time the input delivered nothing while it was up (a stopped process, a suspended machine), s")
                   .Register(r)),
          info(G(r, "parlune_build_info", "The program's version, as a label; always 1"))
    {
    }
    static Family<Gauge>& G(prometheus::Registry& r, const char* name, const char* help)
    {
        return prometheus::BuildGauge().Name(name).Help(help).Register(r);
    }
    Family<Gauge> &sn2500, &corrected, &sn1Hz, &snBin, &peakHz, &peakDb, &noiseDb, &up, &last, &length;
    Family<Counter> &blocks, &losses, &gaps;
    Family<Gauge>& info;
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

void Set(Gauge*& g, Family<Gauge>& f, const std::string& monitor, double v)
{
    if (g == nullptr) g = &f.Add({{"monitor", monitor}});
    g->Set(v);
}

void Drop(Gauge*& g, Family<Gauge>& f)
{
    if (g != nullptr) f.Remove(g);
    g = nullptr;
}

} // namespace

Metrics::Metrics(const std::string& where) : registry_(std::make_shared<prometheus::Registry>())
{
    const std::string bind = BindAddress(where);
    f_ = std::make_unique<Families>(*registry_);
    f_->info.Add({{"version", PARLUNE_VERSION}}).Set(1);
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

MonitorMetrics::MonitorMetrics(Metrics& m, const std::string& name, double blockLengthS)
    : m_(m), name_(name), up_(&m.f_->up.Add({{"monitor", name}})), last_(&m.f_->last.Add({{"monitor", name}})),
      blocks_(&m.f_->blocks.Add({{"monitor", name}})), losses_(&m.f_->losses.Add({{"monitor", name}})),
      gaps_(&m.f_->gaps.Add({{"monitor", name}}))
{
    m.f_->length.Add({{"monitor", name}}).Set(blockLengthS);
}

void MonitorMetrics::Block(const BlockResult& r, std::optional<double> correctedDb, double unixTime)
{
    Metrics::Families& f = *m_.f_;
    up_->Set(1);
    last_->Set(unixTime);
    blocks_->Increment();
    Set(peakHz_, f.peakHz, name_, r.PeakHz);
    Set(peakDb_, f.peakDb, name_, r.PeakLevel);
    Set(noiseDb_, f.noiseDb, name_, r.NoiseLevel);
    if (!r.InBand) return;
    Set(sn2500_, f.sn2500, name_, SN2500HzDb(r.SN1HzDb));
    Set(sn1Hz_, f.sn1Hz, name_, r.SN1HzDb);
    Set(snBin_, f.snBin, name_, r.SNBinDb);
    if (correctedDb) Set(corrected_, f.corrected, name_, *correctedDb);
}

void MonitorMetrics::Lost()
{
    Remove();
    up_->Set(0);
    losses_->Increment();
}

void MonitorMetrics::Up() { up_->Set(1); }

void MonitorMetrics::Gap(double seconds) { gaps_->Increment(seconds); }

void MonitorMetrics::Remove()
{
    Metrics::Families& f = *m_.f_;
    Drop(sn2500_, f.sn2500);
    Drop(corrected_, f.corrected);
    Drop(sn1Hz_, f.sn1Hz);
    Drop(snBin_, f.snBin);
    Drop(peakHz_, f.peakHz);
    Drop(peakDb_, f.peakDb);
    Drop(noiseDb_, f.noiseDb);
}
