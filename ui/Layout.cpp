// The main window as laid out: every control with its place, texts, colours,
// ranges and tool tips as it stands before the stored settings are applied.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "capture/AudioServer.h"
#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "engine/Fault.h"
#include "ui/Parlune.h"

namespace {

enum class Kind { Label, TextBox, HBar, VBar, Combo, Check, Option, Frame, Button, Picture };

// Everything beyond name, kind, container, text and place.  Unset colours
// follow the container (labels, check and option buttons) or the widget's
// default (everything else).
struct Extra {
    Align align = Align::Left;
    bool border = true; // text boxes
    std::optional<FontSpec> font;
    std::optional<Colour> fore;
    std::optional<Colour> back;
    int min = 0, max = 0, value = 0, small = 1, large = 1; // scroll bars
    QStringList items;                                     // combo boxes
    const char* tip = nullptr;
};

struct Row {
    Control* ctl; // nullptr: a fixed caption the window creates and owns
    const char* name;
    Kind kind;
    const char* in; // the container's layout name; nullptr: directly on the window
    const char* text;
    int left, top, width, height; // twips, in the container's client area
    Extra x = {};
};

const FontSpec kSans975{"MS Sans Serif", 9.75, false};
const FontSpec kSans825Bold{"MS Sans Serif", 8.25, true};
const FontSpec kSans975Bold{"MS Sans Serif", 9.75, true};
const FontSpec kSans12Bold{"MS Sans Serif", 12, true};
const FontSpec kArial975Bold{"Arial", 9.75, true};
const FontSpec kArial12Bold{"Arial", 12, true};

constexpr Colour kRed = RGB(255, 0, 0);
constexpr Colour kBlue = RGB(0, 0, 255);
constexpr Colour kDarkBlue = RGB(0, 0, 192);
constexpr Colour kGreen = RGB(0, 128, 0);
constexpr Colour kDarkGreen = RGB(0, 64, 0);
constexpr Colour kLightBlue = RGB(192, 192, 255);
constexpr Colour kMagenta = RGB(255, 0, 255);
constexpr Colour kPaleOrange = RGB(255, 224, 192);
constexpr Colour kRedOrange = RGB(192, 64, 0);

} // namespace

Parlune::Parlune(QWidget* parent) : Window("Parlune", parent)
{
    setCaption("Parlune");
    setFont(MapFont(FontSpec{}));
    setBackColor(SystemColour(SysColour::ActiveBorder));
    setClientSize(12735, 7980);
    CreateControls();
    ConnectHandlers();
}

Parlune::~Parlune() = default;

Control& Parlune::Named(const QString& layoutName) const
{
    const auto it = byName_.find(layoutName);
    if (it == byName_.end())
        throw Fault(Fault::Kind::OutOfRange, "no control named " + layoutName.toStdString());
    return *it->second;
}

void Parlune::CreateControls()
{
    const Colour activeBorder = SystemColour(SysColour::ActiveBorder);
    const Colour inactiveBorder = SystemColour(SysColour::InactiveBorder);
    const Colour buttonFace = SystemColour(SysColour::ButtonFace);
    const Colour menu = SystemColour(SysColour::Menu);

    // A member control and its layout name, which is also its QObject name;
    // a fixed caption that no code touches after creation, owned by the window.
#define C(member, name) &member, name
#define F(name) nullptr, #name
    // Rows leave out the properties that keep their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
    // Containers come before their contents.
    const std::vector<Row> rows = {
        // Directly on the window.  Start is created after Spectrum so that it lies on top.
        {C(spectrumPlot, "Spectrum"), Kind::Picture, nullptr, "", 255, 90, 11340, 3060, {.back = kLightBlue}},
        {C(startButton, "Start"), Kind::Button, nullptr, "START", 4440, 2160, 2415, 855, {.font = kArial975Bold}},
        {C(stopButton, "Stopit"), Kind::Button, nullptr, "STOP ", 11550, 6420, 975, 735, {.font = kArial12Bold}},
        {F(Label8), Kind::Label, nullptr, "10dB /", 11520, 120, 615, 255},
        {C(inputLevelMeter, "IPAmplitude"), Kind::Picture, nullptr, "", 11685, 345, 240, 1335},
        {F(Label5), Kind::Label, nullptr, "I/P Level", 12030, 675, 570, 435, {.font = kSans825Bold, .fore = kDarkBlue}},
        {C(thresholdBar, "DispThreshold"), Kind::VBar, nullptr, "", 11700, 1845, 255, 1335,
         {.min = 100, .max = 0, .value = 40, .large = 10}},
        {F(Label7), Kind::Label, nullptr, "Disp Thresh", 12045, 2220, 675, 435, {.font = kSans825Bold, .fore = kDarkBlue}},
        {C(spanLowLabel, "ShowMin"), Kind::Label, nullptr, "---", 210, 3195, 825, 225, {.font = kSans975, .fore = kDarkGreen}},
        {C(cursorLabel, "CsrLoc"), Kind::Label, nullptr, "", 6930, 3210, 2415, 270,
         {.align = Align::Centre, .font = kSans975, .fore = kGreen}},
        {C(spanHighLabel, "ShowMax"), Kind::Label, nullptr, "---", 10800, 3180, 780, 225,
         {.align = Align::Right, .font = kSans975, .fore = kDarkGreen}},

        // Frame1: signal, frequency span and noise measurement range.
        {C(signalFrame, "Frame1"), Kind::Frame, nullptr, "Signal , Frequency  Span and Noise Measurement range", 255, 3450, 9975, 2670,
         {.back = inactiveBorder}},
        {C(spanLowBar, "FMin"), Kind::HBar, "Frame1", "", 480, 360, 3615, 255,
         {.min = 20, .max = 32700, .value = 20, .small = 5, .large = 100}},
        {C(spanBox, "FBand"), Kind::TextBox, "Frame1", "", 4185, 360, 1095, 285, {.align = Align::Centre}},
        {C(spanHighBar, "FMax"), Kind::HBar, "Frame1", "", 5400, 360, 3375, 255,
         {.min = 20, .max = 32700, .value = 4800, .small = 5, .large = 100}},
        {F(Label9), Kind::Label, "Frame1", "Freq Limits", 8880, 360, 855, 255},
        {F(Label13), Kind::Label, "Frame1", "Noise Guard Band", 195, 855, 1320, 210,
         {.align = Align::Centre, .tip = "Gap either side of signal band before noise measurement starts"}},
        {C(guardBar, "GB"), Kind::HBar, "Frame1", "", 225, 1125, 1350, 255, {.min = 0, .max = 20, .value = 5, .large = 5}},
        {C(guardBox, "ShowGB"), Kind::TextBox, "Frame1", "50", 1620, 1140, 525, 195, {.border = false, .fore = kBlue}},
        {F(Label2), Kind::Label, "Frame1", "Signal Bandwidth  Hz", 165, 1455, 1575, 255,
         {.align = Align::Centre, .tip = "Bandwidth needed to totally encompass signal"}},
        {C(bandwidthBar, "SigBWUD"), Kind::HBar, "Frame1", "", 210, 1695, 1365, 255, {.min = 1, .max = 1000, .value = 200, .large = 10}},
        {C(bandwidthBox, "SigBW"), Kind::TextBox, "Frame1", "100", 1620, 1710, 360, 210,
         {.border = false, .fore = kDarkBlue, .back = inactiveBorder}},
        {F(Label3), Kind::Label, "Frame1", "Averaging, seconds", 195, 1995, 1815, 255},
        {C(averagingBar, "AvScroll"), Kind::HBar, "Frame1", "", 195, 2235, 1350, 255, {.min = 1, .max = 32, .value = 1}},
        {C(periodBox, "DetPeriod"), Kind::TextBox, "Frame1", "1", 1605, 2250, 435, 210,
         {.border = false, .fore = kDarkBlue, .back = inactiveBorder}},
        {C(statNoiseCheck, "UseStatNoise"), Kind::Check, "Frame1", "Use Statistics for Noise Measure", 2190, 750, 1590, 345,
         {.back = buttonFace, .tip = "Use when multiple strong signals affect noise measurement"}},
        {C(trackCheck, "TrackSig"), Kind::Check, "Frame1", "Auto Track Frequency Peak", 2175, 1215, 1620, 405,
         {.tip = "Use for slow drifting signals"}},
        {C(peakInBandCheck, "PeakInSigBand"), Kind::Check, "Frame1", "Peak Search only in Signal Band", 2175, 1650, 1710, 465,
         {.tip = "Prevents unwanted stronger signals being shown as peak"}},
        {C(squareInputCheck, "Squared"), Kind::Check, "Frame1", "Square Input", 2160, 2250, 1425, 225,
         {.back = buttonFace,
          .tip = "Use to extract a carrier from some modulations, eg. BPSK.   Envelope detection"}},
        {F(Frame3), Kind::Frame, "Frame1", "Set Standard Filters", 4035, 900, 5055, 630, {.back = buttonFace}},
        {C(preset5kHzOption, "Wide"), Kind::Option, "Frame3", "5kHz", 105, 225, 855, 315, {.tip = "Wideband filter"}},
        {C(presetSsbOption, "SSB"), Kind::Option, "Frame3", "SSB", 1200, 240, 735, 315, {.tip = "typical SSB filter 300 - 3000Hz"}},
        {C(presetNarrowOption, "WideCW"), Kind::Option, "Frame3", "1kHz CF Narrow", 2280, 165, 1455, 390, {.tip = "800 - 1300Hz"}},
        {C(presetCw800Option, "CW800"), Kind::Option, "Frame3", "CW 800Hz CF", 3720, 165, 1215, 390, {.tip = "Narrow CW 650 - 950Hz"}},
        {C(centreBar, "CFUD"), Kind::HBar, "Frame1", "", 4035, 1665, 5055, 255, {.min = 10, .max = 32700, .value = 1000, .large = 10}},
        {C(peakToCentreButton, "CFToPeak"), Kind::Button, "Frame1", "  Peak      >> CF", 4050, 2040, 855, 495,
         {.tip = "Centre signal passband on highest peak"}},
        {F(Label1), Kind::Label, "Frame1", "Centre Frequency   Hz", 5175, 1995, 1695, 255, {.align = Align::Centre}},
        {C(centreFrequencyBox, "CF"), Kind::TextBox, "Frame1", "1000", 6870, 1965, 840, 285,
         {.align = Align::Centre, .border = false, .font = kSans975Bold, .fore = kBlue, .back = inactiveBorder}},
        {C(lockButton, "Lock"), Kind::Button, "Frame1", "Lock Settings", 9045, 2190, 870, 435,
         {.tip = "Lock Settings (cannot be undone)"}},

        // Frame2: set-up.
        {F(Frame2), Kind::Frame, nullptr, "Setup", 10320, 3450, 2295, 2655, {.back = inactiveBorder}},
        {C(windowTypeBox, "WindType"), Kind::Combo, "Frame2", "FFT Window Type", 120, 240, 1935, 315,
         {.items = {"Hamming", "Blackman Harris", "Hanning", "HFT95_FlatTop", "No Window"}}},
        {C(deviceBox, "DeviceBox"), Kind::Combo, "Frame2", "Choose Soundcard", 120, 600, 1935, 315, {.back = kRed}},
        {F(Label16), Kind::Label, "Frame2", "S Rate", 240, 1080, 615, 255},
        {C(sampleRateBox, "SRate"), Kind::Combo, "Frame2", "12000", 960, 960, 1095, 315,
         {.items = {"6000", "7200", "8100", "11025", "11100", "12000", "24000", "48000"}}},
        {F(Label4), Kind::Label, "Frame2", "FFT Size", 120, 1440, 735, 255},
        {C(fftSizeBox, "FFTSize"), Kind::Combo, "Frame2", "8192", 960, 1320, 1095, 315,
         {.items = {"1024", "2048", "4096", "8192", "16384", "32768", "65536", "131072", "262144"}}},
        {C(binWidthLabel, "ShowRes"), Kind::Label, "Frame2", "", 105, 1695, 2115, 300, {.back = buttonFace}},
        {C(swapSidebandCheck, "SBswap"), Kind::Check, "Frame2", "Swap Sideband I/Q Mode", 375, 1980, 1590, 405},

        // Logging.
        {F(Logging), Kind::Frame, nullptr, "Logging", 450, 6240, 2580, 1530, {.back = inactiveBorder}},
        {C(logFileBox, "LogFile"), Kind::TextBox, "Logging", "Parlune.txt", 180, 270, 1965, 330},
        {C(logIntervalBox, "LogInterval"), Kind::TextBox, "Logging", "5", 180, 675, 570, 300},
        {F(Label6), Kind::Label, "Logging", "Interval, s", 855, 750, 1380, 225},
        {C(logToFileCheck, "LogToFile"), Kind::Check, "Logging", "Log to File", 210, 1140, 1095, 240, {.back = menu}},

        // Frame4: peak detect.
        {F(Frame4), Kind::Frame, nullptr, "Peak Detect", 3090, 6240, 4965, 1530, {.back = inactiveBorder}},
        {C(peakFrequencyLabel, "PeakF"), Kind::Label, "Frame4", "", 165, 240, 2265, 330, {.font = kSans12Bold, .fore = kRed, .back = menu}},
        {C(peakToleranceLabel, "PeakFTol"), Kind::Label, "Frame4", "", 195, 495, 1920, 210,
         {.align = Align::Right, .font = kSans825Bold, .fore = kRed, .back = menu}},
        {C(peakLevelLabel, "PeakL"), Kind::Label, "Frame4", "", 180, 750, 2280, 360, {.font = kSans12Bold, .fore = kDarkBlue, .back = menu}},
        {C(noiseLevelLabel, "NoiseL"), Kind::Label, "Frame4", "", 165, 1200, 2280, 255, {.font = kSans12Bold, .fore = kGreen, .back = menu}},
        {C(peakingMeterLabel, "Label10"), Kind::Label, "Frame4", "-5dB   Peak Ampl fine   +5dB", 2520, 135, 2220, 210,
         {.align = Align::Centre, .fore = menu}},
        {C(peakingMeter, "Peaking"), Kind::Picture, "Frame4", "", 2580, 345, 2160, 285},
        {C(peakingRefBar, "PeakingRef"), Kind::HBar, "Frame4", "", 2595, 630, 2145, 240, {.min = 0, .max = 200, .value = 100, .large = 5}},
        {C(peakingOffsetLabel, "PkRefVal"), Kind::Label, "Frame4", "", 2640, 1080, 1140, 255, {.fore = kMagenta, .back = buttonFace}},
        {C(centreTraceOption, "CentrePeaking"), Kind::Option, "Frame4", "Centre Trace", 3840, 960, 1095, 435, {.fore = kPaleOrange}},

        // Results.
        {C(resultsFrame, "SNResults"), Kind::Frame, nullptr, " Detected Signal / Noise in Signal BW.", 8160, 6270, 3150, 1530,
         {.back = inactiveBorder}},
        {C(snBinLabel, "SNBin"), Kind::Label, "SNResults", "dB", 120, 240, 2835, 375, {.font = kArial975Bold, .fore = kRedOrange}},
        {C(sn1HzLabel, "SN1Hz"), Kind::Label, "SNResults", "dB", 120, 630, 2790, 375, {.font = kArial975Bold, .fore = kRedOrange}},
        {C(sn2500HzLabel, "SN2k5Hz"), Kind::Label, "SNResults", "dB", 120, 1020, 2835, 375, {.font = kArial975Bold, .fore = kRed}},
    };
#undef C
#undef F
#pragma GCC diagnostic pop

    // Backgrounds that labels, check boxes and option buttons take from their container.
    std::map<std::string, Colour> containerBack = {{"", activeBorder}};
    std::map<std::string, Frame*> frames;
    std::vector<Control*> made; // per row
    for (const Row& r : rows) {
        Control* ctl = r.ctl;
        if (ctl == nullptr) {
            fixedCaptions_.push_back(r.kind == Kind::Frame ? std::unique_ptr<Control>(new Frame)
                                                           : std::unique_ptr<Control>(new Label));
            ctl = fixedCaptions_.back().get();
        }
        made.push_back(ctl);
        QWidget* parent = r.in ? frames.at(r.in)->client() : this;
        const QString name = QString::fromLatin1(r.name);
        const QString text = QString::fromUtf8(r.text);
        const Extra& x = r.x;
        std::optional<Colour> back = x.back;
        switch (r.kind) {
        case Kind::Label:
            static_cast<Label*>(ctl)->create(parent, name, text, r.left, r.top, r.width, r.height, x.align);
            break;
        case Kind::TextBox:
            static_cast<TextBox*>(ctl)->create(parent, name, text, r.left, r.top, r.width, r.height, x.border, x.align);
            break;
        case Kind::HBar:
        case Kind::VBar:
            static_cast<ScrollBar*>(ctl)->create(parent, name, r.kind == Kind::HBar ? Qt::Horizontal : Qt::Vertical,
                                                 r.left, r.top, r.width, r.height, x.min, x.max, x.value, x.small,
                                                 x.large);
            break;
        case Kind::Combo:
            static_cast<ComboBox*>(ctl)->create(parent, name, text, r.left, r.top, r.width, r.height, x.items);
            break;
        case Kind::Check:
            static_cast<CheckBox*>(ctl)->create(parent, name, text, r.left, r.top, r.width, r.height);
            break;
        case Kind::Option:
            static_cast<OptionButton*>(ctl)->create(parent, name, text, r.left, r.top, r.width, r.height);
            break;
        case Kind::Frame:
            static_cast<Frame*>(ctl)->create(parent, name, text, r.left, r.top, r.width, r.height);
            frames[r.name] = static_cast<Frame*>(ctl);
            break;
        case Kind::Button:
            static_cast<CommandButton*>(ctl)->create(parent, name, text, r.left, r.top, r.width, r.height);
            break;
        case Kind::Picture:
            static_cast<PictureBox*>(ctl)->create(parent, name, r.left, r.top, r.width, r.height);
            break;
        }
        const std::string in = r.in ? r.in : "";
        if (r.kind == Kind::Label || r.kind == Kind::Check || r.kind == Kind::Option)
            back = back.value_or(containerBack.at(in));
        if (r.kind == Kind::Frame)
            containerBack[r.name] = back.value_or(activeBorder);
        if (x.font)
            ctl->setFont(*x.font);
        if (x.fore)
            ctl->setForeColor(*x.fore);
        if (back)
            ctl->setBackColor(*back);
        if (x.tip)
            ctl->setToolTipText(QString::fromUtf8(x.tip));
    }

    for (std::size_t i = 0; i < rows.size(); ++i)
        byName_[QString::fromLatin1(rows[i].name)] = made[i];

    // Labels lie beneath the picture boxes they overlap ("10dB /" reaches
    // 75 twips into the plot), so no plot loses a corner to an opaque label.
    // Under the first one created, which lies lowest, it is under them all.
    for (std::size_t l = 0; l < rows.size(); ++l) {
        if (rows[l].kind != Kind::Label)
            continue;
        QWidget* const lw = made[l]->widget();
        for (std::size_t p = 0; p < rows.size(); ++p)
            if (rows[p].kind == Kind::Picture && std::string(rows[p].in ? rows[p].in : "") == (rows[l].in ? rows[l].in : "") &&
                lw->geometry().intersects(made[p]->widget()->geometry())) {
                lw->stackUnder(made[p]->widget());
                break;
            }
    }

    clockTimer.create(this, "Timer1");

    // States at creation, before any device is chosen or any run has started.
    startButton.setEnabled(false);
    stopButton.setVisible(false);
    logToFileCheck.setEnabled(false);
    spanBox.setEnabled(false); // display only
    clockTimer.setEnabled(false);

    Control* const tabOrder[] = {
        &spectrumPlot, &startButton, &fftSizeBox, &inputLevelMeter, &windowTypeBox, &centreFrequencyBox, &bandwidthBox, &trackCheck, &peakToCentreButton, &spanLowBar,
        &spanHighBar, &spanBox, &guardBar, &periodBox, &deviceBox, &swapSidebandCheck, &thresholdBar, &sampleRateBox, &centreBar, &bandwidthBar,
        &averagingBar, &stopButton, &presetCw800Option, &presetNarrowOption, &logFileBox, &logIntervalBox, &presetSsbOption, &preset5kHzOption, &logToFileCheck, &guardBox,
        &lockButton, &peakingMeter, &peakingRefBar, &statNoiseCheck, &centreTraceOption, &peakInBandCheck, &squareInputCheck,
    };
    // Picture boxes and scroll bars take the focus too; Qt would skip them.
    for (Control* c : tabOrder)
        if (!(c->widget()->focusPolicy() & Qt::TabFocus))
            c->widget()->setFocusPolicy(Qt::StrongFocus);
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1]->widget(), tabOrder[i]->widget());
}
