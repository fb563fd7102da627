// The main window: owns the run state and every control.  Handler and
// procedure bodies live with their subsystem (Start_Click in capture/,
// RunLoop in engine/, CF_Change in ui/, ...).
#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "ui/RunState.h"
#include "display/PictureBox.h"
#include "display/SpectrumPlot.h"
#include "engine/BlockChain.h"
#include "display/LoopState.h"
#include "log/LogFile.h"
#include "controls/Controls.h"

class MonWF;
class MonHisto;
struct WaterfallRing;

class Parlune : public Window, public RunState {
public:
    explicit Parlune(QWidget* parent = nullptr);
    ~Parlune() override;

    // ---- Controls directly on the window --------------------------------
    PictureBox Spectrum;
    CommandButton Start;
    CommandButton Stopit;
    Label Label8;
    PictureBox IPAmplitude;
    Label Label5;
    ScrollBar DispThreshold;
    Label Label7;
    Label ShowMin;
    Label CsrLoc;
    Label ShowMax;
    Timer Timer1;
    // Frame1: signal, frequency span and noise measurement range
    Frame Frame1;
    ScrollBar FMin;
    TextBox FBand;
    ScrollBar FMax;
    Label Label9;
    Label Label13;
    ScrollBar GB;
    TextBox ShowGB;
    Label Label2;
    ScrollBar SigBWUD;
    TextBox SigBW;
    Label Label3;
    ScrollBar AvScroll;
    TextBox DetPeriod;
    CheckBox UseStatNoise;
    CheckBox TrackSig;
    CheckBox PeakInSigBand;
    CheckBox Squared;
    Frame Frame3;
    OptionButton Wide;
    OptionButton SSB;
    OptionButton WideCW;
    OptionButton CW800;
    ScrollBar CFUD;
    CommandButton CFToPeak;
    Label Label1;
    TextBox CF;
    CommandButton Lock;
    // Frame2: set-up
    Frame Frame2;
    ComboBox WindType;
    ComboBox DeviceBox;
    Label Label16;
    ComboBox SRate;
    Label Label4;
    ComboBox FFTSize;
    Label ShowRes;
    CheckBox SBswap;
    // Logging
    Frame Logging;
    TextBox LogFile;
    TextBox LogInterval;
    Label Label6;
    CheckBox LogToFile;
    // Frame4: peak detect
    Frame Frame4;
    Label PeakF;
    Label PeakFTol;
    Label PeakL;
    Label NoiseL;
    Label Label10;
    PictureBox Peaking;
    ScrollBar PeakingRef;
    Label PkRefVal;
    OptionButton CentrePeaking;
    // SNResults
    Frame SNResults;
    Label SNBin;
    Label SN1Hz;
    Label SN2k5Hz;

    // ---- Secondary windows: single instances created hidden on first use.
    MonWF& monWF();
    MonHisto& monHisto();

    // ---- Event handlers ---------------------------------------------------
    void Form_Load();   // ui/Startup.cpp
    void Form_Unload(); // ui/Shutdown.cpp
    void Start_Click();   // capture/RunStart.cpp
    void Stopit_Click();  // capture/RunStop.cpp
    void DeviceBox_Click(); // capture/DeviceList.cpp
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
    void TrackSig_Click();
    void LogToFile_Click();   // log/
    void Timer1_Timer();      // log/
    void Spectrum_MouseMove(int button, int shift, double x, double y); // display/
    void Spectrum_MouseDown(int button, int shift, double x, double y); // display/

    // ---- Procedures -------------------------------------------------------
    void RunLoop();     // engine/RunLoop.cpp
    void InitDevices(); // capture/DeviceList.cpp
    void ShowInputLost(); // capture/DeviceList.cpp: the run's input has gone
    void LogStep(); // log/: once per block while the peak is in the signal band and LogEnabled

    // ---- One block of a run (engine/RunLoop.cpp), split out so that the
    // processing between two captures can be measured on its own.
    void LoopSetUp(LoopState& s);    // once when the loop is entered
    void RangeLabels();              // block step 1
    ChainParams BlockParams() const; // the engine's parameters, read from the controls now
    PlotFrame PlanForPlot() const;        // the plot's frequency plan, read from the run state now
    bool ProcessBlock(LoopState& s); // the engine on the captured InBuf, then ShowBlock; false: the run ends
    void ShowBlock(LoopState& s, const BlockResult& r);
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
    // Logging (log/): the open log file and the time of day, in seconds since
    // midnight, of the last line written or of switching logging on.
    LogFileWriter LogOut;
    float LastLogTime = 0;
    std::shared_ptr<WaterfallRing> WFRing; // the waterfall's rows, newest first (display/)

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls(); // ui/Layout.cpp: every control as laid out
    void ConnectHandlers(); // ui/Layout.cpp: control events -> handlers
    QPointer<MonWF> monWF_;
    QPointer<MonHisto> monHisto_;
};
