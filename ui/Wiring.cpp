// The wiring of the controls' events to the window's handlers.
#include "ui/Parlune.h"

void Parlune::ConnectHandlers()
{
    startButton.onClick = [this] { Start_Click(); };
    stopButton.onClick = [this] { Stopit_Click(); };
    deviceBox.onClick = [this] { DeviceBox_Click(); };
    windowTypeBox.onChange = [this] { WindType_Change(); };
    sampleRateBox.onChange = [this] { SRate_Change(); };
    fftSizeBox.onClick = [this] { FFTSize_Click(); };
    averagingBar.onChange = [this] { AvScroll_Change(); };
    thresholdBar.onChange = [this] { DispThreshold_Change(); };
    peakingRefBar.onChange = [this] { PeakingRef_Change(); };
    periodBox.onChange = [this] { DetPeriod_Change(); };
    lockButton.onClick = [this] { Lock_Click(); };
    statNoiseCheck.onClick = [this] { UseStatNoise_Click(); };
    centreFrequencyBox.onChange = [this] { CF_Change(); };
    bandwidthBox.onChange = [this] { SigBW_Change(); };
    centreBar.onChange = [this] { CFUD_Change(); };
    bandwidthBar.onChange = [this] { SigBWUD_Change(); };
    guardBar.onChange = [this] { GB_Change(); };
    spanLowBar.onChange = [this] { FMin_Change(); };
    spanHighBar.onChange = [this] { FMax_Change(); };
    peakToCentreButton.onClick = [this] { CFToPeak_Click(); };
    preset5kHzOption.onClick = [this] { Wide_Click(); };
    presetSsbOption.onClick = [this] { SSB_Click(); };
    presetNarrowOption.onClick = [this] { WideCW_Click(); };
    presetCw800Option.onClick = [this] { CW800_Click(); };
    logToFileCheck.onClick = [this] { LogToFile_Click(); };
    clockTimer.onTimer = [this] { Timer1_Timer(); };
    spectrumPlot.onMouseMove = [this](int button, int shift, double x, double y) {
        Spectrum_MouseMove(button, shift, x, y);
    };
    spectrumPlot.onMouseDown = [this](int button, int shift, double x, double y) {
        Spectrum_MouseDown(button, shift, x, y);
    };
}
