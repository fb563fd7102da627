// The main window: the spectrum plot and its meters above, the signal,
// span and noise settings, the set-up, logging, peak and S/N panels below.
// It owns the controls and the run state; each control's QObject name is its
// layout name (in comments below), which the settings and tests use.
#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "controls/Controls.h"
#include "display/LoopState.h"
#include "display/PictureBox.h"
#include "display/SpectrumPlot.h"
#include "engine/BlockChain.h"
#include "log/LogFile.h"
#include "log/LogSchedule.h"
#include "ui/RunState.h"

class AudioServerWatch;
class MonWF;
class MonHisto;
struct WaterfallRing;

class Parlune : public Window, public RunState {
public:
    explicit Parlune(QWidget* parent = nullptr);
    ~Parlune() override;

    // ---- The plot and its meters ------------------------------------------
    PictureBox spectrumPlot;        // Spectrum: averaged spectrum, bins across, dB down
    CommandButton startButton;      // Start: "START", then "Restart"
    CommandButton stopButton;       // Stopit
    PictureBox inputLevelMeter;     // IPAmplitude: input level, dB of the largest sample
    ScrollBar thresholdBar;         // DispThreshold: dB at the plot's bottom edge, 100 (top) .. 0
    Label spanLowLabel;             // ShowMin: the span's ends under the plot
    Label cursorLabel;              // CsrLoc: frequency and level under the mouse
    Label spanHighLabel;            // ShowMax
    Timer clockTimer;               // Timer1: the caption clock, once a second

    // ---- Signal, frequency span and noise measurement range ---------------
    Frame signalFrame;              // Frame1
    ScrollBar spanLowBar;           // FMin, Hz
    TextBox spanBox;                // FBand: "low - high", display only
    ScrollBar spanHighBar;          // FMax, Hz
    ScrollBar guardBar;             // GB: guard band, tenths of the bandwidth per side
    TextBox guardBox;               // ShowGB: guard band, Hz
    ScrollBar bandwidthBar;         // SigBWUD: signal bandwidth, Hz
    TextBox bandwidthBox;           // SigBW
    ScrollBar averagingBar;         // AvScroll: blocks averaged
    TextBox periodBox;              // DetPeriod: averaging period, s
    CheckBox statNoiseCheck;        // UseStatNoise
    CheckBox trackCheck;            // TrackSig: follow a drifting peak
    CheckBox peakInBandCheck;       // PeakInSigBand
    CheckBox squareInputCheck;      // Squared
    OptionButton preset5kHzOption;  // Wide: span presets
    OptionButton presetSsbOption;   // SSB
    OptionButton presetNarrowOption; // WideCW
    OptionButton presetCw800Option; // CW800
    ScrollBar centreBar;            // CFUD: centre frequency, Hz
    CommandButton peakToCentreButton; // CFToPeak
    TextBox centreFrequencyBox;     // CF, Hz
    CommandButton lockButton;       // Lock

    // ---- Set-up ----------------------------------------------------------
    ComboBox windowTypeBox;         // WindType
    ComboBox deviceBox;             // DeviceBox: list position = device ID
    ComboBox sampleRateBox;         // SRate, Hz
    ComboBox fftSizeBox;            // FFTSize, points
    Label binWidthLabel;            // ShowRes
    CheckBox swapSidebandCheck;     // SBswap

    // ---- Logging ---------------------------------------------------------
    TextBox logFileBox;             // LogFile: name, relative to the working folder
    TextBox logIntervalBox;         // LogInterval, s
    CheckBox logToFileCheck;        // LogToFile

    // ---- Peak detect -----------------------------------------------------
    Label peakFrequencyLabel;       // PeakF
    Label peakToleranceLabel;       // PeakFTol: half a bin
    Label peakLevelLabel;           // PeakL
    Label noiseLevelLabel;          // NoiseL
    Label peakingMeterLabel;        // Label10: the fine meter's scale
    PictureBox peakingMeter;        // Peaking: peak level against the reference, +-5 dB
    ScrollBar peakingRefBar;        // PeakingRef: the reference, dB
    Label peakingOffsetLabel;       // PkRefVal
    OptionButton centreTraceOption; // CentrePeaking: reference := this block's peak

    // ---- Signal / noise results, shown while the peak is in the band -----
    Frame resultsFrame;             // SNResults
    Label snBinLabel;               // SNBin: in one noise-equivalent bin
    Label sn1HzLabel;               // SN1Hz
    Label sn2500HzLabel;            // SN2k5Hz: in 2500 Hz

    // The control with this layout name (its QObject name), fixed captions
    // included; faults (OutOfRange) for an unknown name.
    Control& Named(const QString& layoutName) const;

    // ---- Secondary windows: single instances created hidden on first use.
    MonWF& monWF();
    MonHisto& monHisto();

    // ---- Event handlers ---------------------------------------------------
    void Form_Load();   // stored settings into the controls; device list
    void Form_Unload(); // settings written back, input closed
    void Start_Click();   // the controls become the run; runs until it ends
    void Stopit_Click();
    void DeviceBox_Click();
    void WindType_Change();
    void SRate_Change();
    void FFTSize_Click();
    void AvScroll_Change();
    void DetPeriod_Change();
    void DispThreshold_Change();
    void PeakingRef_Change();
    void UseStatNoise_Click();
    void Lock_Click();
    void CF_Change();
    void CFUD_Change();
    void SigBW_Change();
    void SigBWUD_Change();
    void GB_Change();
    void FMin_Change();
    void FMax_Change();
    void Wide_Click();
    void SSB_Click();
    void WideCW_Click();
    void CW800_Click();
    void CFToPeak_Click();
    void LogToFile_Click();
    void Timer1_Timer();
    void Spectrum_MouseMove(int button, int shift, double x, double y); // x in bins, y in dB
    void Spectrum_MouseDown(int button, int shift, double x, double y);

    // ---- Procedures -------------------------------------------------------
    void RunLoop();       // block after block until STOP, closing, a lost input or the end
    void InitDevices();   // fills the device box
    bool RefillDevices(); // the device box afresh, the chosen entry kept; false during a run or while the server is silent
    void ShowInputLost(); // the run's input has gone: the device box says so
    void LogBlock(const BlockResult& r); // LogStep, for a complete block with the peak in the band while logging
    void LogStep(const BlockResult& r);  // a line, when the interval has passed

    // ---- One block of a run, split out so that the processing between two
    // captures can be measured on its own.
    void LoopSetUp(LoopState& s);    // once when the loop is entered
    void RangeLabels();              // block step 1
    ChainParams BlockParams() const; // the engine's parameters, read from the controls now
    PlotFrame PlanForPlot() const;   // the plot's frequency plan, read from the run state now
    bool CaptureBlock();             // one block into InBuf; false: the run ends (STOP, closing, lost, not queued)
    bool YieldAfterBlock();          // the end-of-block yield; false: the run ends
    void ShowBlock(LoopState& s, const BlockResult& r); // plot, meters, panels, as far as the block got
    std::function<void()> BlockDoneHook; // runs at each end-of-block yield (tests)

    // ---- Results of the last block, kept between blocks -------------------
    // Written by the run loop; read by the log and the plot.
    double PeakPower = 0;  // mean power of PeakBin
    double NoisePower = 0; // noise power per bin (measured or statistical)
    double SigPower = 0;   // mean signal power per bin
    double SN1HzDb = 0;    // S/N normalised to 1 Hz, dB
    double SNBinDb = 0;    // S/N in one noise-equivalent bin, dB
    double PrevLevel = 0;  // display level of the last trace point; carries over blocks
    bool Closing = false;  // the window is being closed; the run loop returns at once
    // Logging: the open log file and when its next line is due.
    LogFileWriter LogOut;
    LogSchedule LogTimes;
    std::shared_ptr<WaterfallRing> WFRing; // the waterfall's rows, newest first
    PlotBackdrop PlotBack;                 // the spectrum plot's background as last drawn

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();  // every control as laid out
    void ConnectHandlers(); // control events -> handlers
    std::vector<std::unique_ptr<Control>> fixedCaptions_; // made by the layout, touched by no code
    std::map<QString, Control*> byName_;                 // every control by its layout name
    QPointer<MonWF> monWF_;
    QPointer<MonHisto> monHisto_;
    std::unique_ptr<AudioServerWatch> serverWatch_; // while the audio server has not answered
};
