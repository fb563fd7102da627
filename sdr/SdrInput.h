// An SDR receiver as one more input of the capture layer: SoapySDR samples
// tuned and decimated to the opened rate (the analysis rate) and handed on
// as 16-bit I/Q frames on the user-interface thread, like any sound input.
// So every monitor, output and fault rule works for it unchanged.
#pragma once
#include <memory>
#include <string>

#include "capture/InputBackend.h"
#include "sdr/SoapySource.h"

class SdrBackend final : public InputBackend {
public:
    explicit SdrBackend(SdrSettings s) : s_(std::move(s)) {}
    std::string Name() const override { return "soapy:" + s_.Args; }
    std::uint32_t Formats() const override { return WAVE_FORMAT_1S16; }
    // Opens the device at the format's rate; a refusal's line is kept in
    // LastError() and the open fails as a device that has gone.
    std::unique_ptr<InputStream> Open(const WAVEFORMATEX& format, FrameSink sink, MMRESULT* why) override;
    const std::string& LastError() const { return error_; }

private:
    SdrSettings s_;
    std::string error_;
};
