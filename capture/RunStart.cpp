// START: the control settings become the run parameters, the plots and the
// window table are prepared, the input is opened and started, and the run
// loop takes over until the run ends.  Every step is guarded: a step that
// faults (a rate of 0, a text that is not a number, an overflow) changes
// nothing and the next one runs.
#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "engine/RunSizes.h"
#include "engine/WholeNumber.h"
#include "engine/Windows.h"
#include "ui/Parlune.h"

namespace {
double Num(const QString& text) { return LeadingNumber(text.toStdString()); }
} // namespace

void Parlune::Start_Click()
{
    // One run at a time: a click that arrives while a run is still ending
    // (its last yield) starts nothing.
    if (Running)
        return;
    // A size the working arrays cannot take never reaches the capture: the
    // box turns red until a listed size is chosen, and nothing else changes.
    const std::int32_t size = FFTSizeOfText(FFTSize.Text().toStdString().c_str());
    if (size == 0) {
        FFTSize.setBackColor(RGB(255, 0, 0));
        return;
    }
    Step([&] { SampleRate = Num(SRate.Text()); });
    NFFT = size;
    const double SR = SampleRate;
    const double N = NFFT;

    Step([&] {
        FFTSize.setEnabled(false);
        SRate.setEnabled(false);
        WindType.setEnabled(false);
    });
    Step([&] { Spectrum.Cls(); });
    Step([&] { ShowGB.setText(QString::fromStdString(PlainText(Num(SigBW.Text()) * GuardFactor))); });
    Step([&] { ShowRes.setCaption(QString::fromStdString(FormatPattern(CheckedDiv(Num(SRate.Text()), N), "##0.0# Hz bins"))); });
    Step([&] { FMinBin = FloorToInt32(CheckedDiv(FMin.Value(), SR) * N + 0.5); });
    Step([&] { FMaxBin = FloorToInt32(CheckedDiv(FMax.Value(), SR) * N + 0.5); });
    Step([&] { DeviceBox.setBackColor(RGB(255, 255, 255)); });
    Step([&] { NAvg = AvScroll.Value(); });
    Step([&] {
        if (NAvg > 63)
            NAvg = 63;
    });
    Step([&] { SigBWBins = FloorToInt32(CheckedDiv(Num(SigBW.Text()), SR) * N + 0.5); });
    Step([&] { StopReq = false; });
    Step([&] { Stopit.setVisible(true); });
    // The centre is truncated to a bin here, not rounded.
    Step([&] { CFBin = FloorToInt32(CheckedDiv(WholeTextNumber(CF.Text().toStdString()), SR) * N); });
    // A fault in the test itself (N = 0) takes the first branch.
    bool fineBins = true;
    Step([&] { fineBins = CheckedDiv(SR, N) < 1; });
    Step([&] {
        if (fineBins)
            CFUD.setSmallChange(1);
        else
            CFUD.setSmallChange(RoundToInt16(SR / N));
    });
    Step([&] { DetPeriod.setText(QString::fromStdString(FormatPattern(CheckedDiv(NAvg, SR) * N, "#0.0"))); });
    Step([&] { FMax.setMax(RoundToInt16(SR * 0.45)); });
    Step([&] { Spectrum.setScaleLeft(static_cast<float>(CheckedDiv(FMin.Value(), SR) * N)); });
    Step([&] { Spectrum.setScaleWidth(static_cast<float>(CheckedDiv(FMax.Value() - FMin.Value(), SR) * N)); });
    Step([&] {
        WaterfallSetUp();
        monHisto().setWidth(monWF().Width());
        monHisto().Histogram.setWidth(RoundToInt32(0.9 * monHisto().Width()));
    });
    Step([&] { SelectWindow(static_cast<std::int16_t>(WindType.ListIndex()), WindENBW); });
    Step([&] { Start.setVisible(false); });

    // Capture format: two channels of 16 bits at the chosen rate.
    Step([&] { WaveFmt.wFormatTag = WAVE_FORMAT_PCM; });
    Step([&] { WaveFmt.nChannels = 2; });
    Step([&] { WaveFmt.nSamplesPerSec = static_cast<std::uint32_t>(RoundToInt32(SR)); });
    Step([&] { WaveFmt.wBitsPerSample = 16; });
    Step([&] { WaveFmt.nBlockAlign = static_cast<std::uint16_t>(WaveFmt.nChannels * WaveFmt.wBitsPerSample / 8); });
    Step([&] { WaveFmt.nAvgBytesPerSec = WaveFmt.nBlockAlign * WaveFmt.nSamplesPerSec; });
    Step([&] { WaveFmt.cbSize = 0; });

    // The list position is the device ID; no selection (-1) is the mapper.
    const int position = DeviceBox.ListIndex();
    Step([&] { waveInOpen(&hWaveIn, static_cast<std::uint32_t>(static_cast<std::int32_t>(position)), &WaveFmt, 0, 0, 0); });
    if (hWaveIn == 0) {
        MsgBox(this, "Wave input device didn't open!!", MsgIcon::Exclamation);
        return;
    }
    // After a choice the box already reads the device's name; writing the
    // same text again would count as typing and lose the list position that
    // a restart reopens.
    Step([&] {
        const QString name = position < 0 ? QString("Default Soundcard") : DeviceBox.List(position);
        if (DeviceBox.Text() != name)
            DeviceBox.setText(name);
        DeviceBox.setVisible(false);
    });
    Step([&] { waveInStart(hWaveIn); });
    Step([&] { Timer1.setEnabled(true); });
    Step([&] { CsrLoc.setVisible(true); });
    Step([&] { LogToFile.setEnabled(true); });
    RunLoop();
}
