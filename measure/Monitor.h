// One monitor of a live run: an input captured without gaps, with its own
// settings, ring, outputs, picture and metrics series.  Every monitor of a
// run lives on the same event loop.
#pragma once
#include <QElapsedTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/AudioServer.h"
#include "capture/CaptureSession.h"
#include "engine/BlockChain.h"
#include "measure/Config.h"
#include "measure/Metrics.h"
#include "measure/Output.h"

class MqttClient;
class MqttOutput;
class SdrBackend;

class Monitor {
public:
    // Checks the settings against the rate and the picture's place, and
    // leaves no file behind: the lines' output is opened later.  Throws Stop
    // (status 2 for a bad value, 1 for a picture that cannot be written).
    Monitor(const MonitorConfig& c, std::uint32_t deviceId, const std::string& device, Metrics* metrics);
    ~Monitor();
    // Its state goes to this broker too, from Open on (the client outlives the run).
    void UseMqtt(MqttClient* mqtt) { mqtt_ = mqtt; }

    // Opens the input and queues its buffers, its lines going to `out`
    // (opened once every monitor has been checked, maybe shared with
    // others); throws Stop when the input does not open: status 1, or 2
    // for an SDR receiver that is missing or refuses a setting.
    // `pictured`: the run's picture of all monitors draws this one's points.
    void Open(std::shared_ptr<Output> out, bool pictured);
    // Measures every full buffer; false when the input is lost for good
    // (no reconnect).  With reconnect the audio server (SoapySDR for a
    // receiver) is asked off the event loop every 3 s, and the input
    // reopened once it answers.
    bool Service();
    // The end of a run: the picture and the summary; after a stop only the picture.
    void Finish(double endS);
    void AfterStop(double endS) { report_->WritePlotAfterStop(endS); }

    double NowS() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; } // since the opening
    const std::string& Name() const { return name_; }
    const std::vector<SnPoint>& Points() const { return report_->Points(); }
    // True once an output of this monitor failed (one line said so): it writes nothing more.
    bool Failed() const { return out_ != nullptr && out_->Failed(); }

private:
    MMRESULT Start();
    bool Reopen();
    void Measure(const std::int16_t* frames, double end);
    std::optional<double> Coverage(double endS) const;

    const Options o_;
    std::string name_, device_;
    bool named_; // a config file's monitor: its lines carry its name
    std::int32_t n_;
    double blockS_; // one block, s
    ChainParams p_;
    ChainState state_;
    std::shared_ptr<Output> out_; // from Open on
    std::uint32_t id_;
    std::shared_ptr<SdrBackend> sdr_;       // a soapy: input's receiver, else nullptr
    std::unique_ptr<CaptureSession> input_; // nullptr while waiting to reopen
    std::unique_ptr<Report> report_;
    MonitorMetrics* series_ = nullptr;
    MqttClient* mqtt_ = nullptr;
    std::unique_ptr<MqttOutput> mqttOut_; // from Open on, with --mqtt
    std::unique_ptr<AudioServerWatch> watch_; // while the input is lost
    QElapsedTimer clock_;
    bool up_ = true;
    double first_ = -1, last_ = 0, plotted_ = 0; // s since the opening
    double lostAt_ = 0, awayS_ = 0, gapS_ = 0;  // s: when lost, time away, audio missed while up
    bool resumed_ = true;                        // no block since the (re)opening
    std::int64_t captured_ = 0;                  // blocks through the engine
    int losses_ = 0;
    std::uint32_t gapsSeen_ = 0;                 // the open input's overflows so far
    std::int64_t overflows_ = 0;                 // over the run
};
