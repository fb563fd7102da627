// The main window as created (before Form_Load), every control against an
// independent copy of the layout: a wrong twip, a lost blank or tool tip, a
// control in the wrong frame or of the wrong kind, a wrong colour, font,
// alignment or border shows up here.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "support/ScrollBarPart.h"
#include "display/PictureBox.h"
#include "ui/Parlune.h"

namespace {

enum K { Lbl, Txt, HB, VB, Cmb, Chk, Opt, Frm, Btn, Pic };
const char* const kQtClass[] = {"QLabel", "QLineEdit", "QScrollBar", "QScrollBar", "QComboBox",
                                "QCheckBox", "QRadioButton", "QGroupBox", "QPushButton", ""};

constexpr Colour kDefault = -1; // left by the layout: the container's, or the widget's own
// Colours in the layout's terms (0xBBGGRR) or a system role; fonts as named.
constexpr Colour AB = -2, IB = -3, MN = -4, BF = -5;
const FontSpec Sans975{"MS Sans Serif", 9.75}, Sans825B{"MS Sans Serif", 8.25, true},
    Sans975B{"MS Sans Serif", 9.75, true}, Sans12B{"MS Sans Serif", 12, true}, Arial975B{"Arial", 9.75, true},
    Arial12B{"Arial", 12, true};
enum A { L, R, C };

struct Look {
    Colour fore = kDefault, back = kDefault;
    FontSpec font = {};
    A align = L;
    bool border = true; // text boxes
};

struct Row {
    Control* ctl;
    const char* name;
    K kind;
    const char* in; // container, "" for the window
    const char* text;
    int left, top, width, height;
    Look look = {};
    const char* tip = "";
    int min = 0, max = 0, value = 0, small = 1, large = 1;
};

QString TextOf(const Row& r)
{
    auto* c = r.ctl;
    switch (r.kind) {
    case Lbl: return static_cast<Label*>(c)->Caption();      case Txt: return static_cast<TextBox*>(c)->Text();
    case Cmb: return static_cast<ComboBox*>(c)->Text();      case Chk: return static_cast<CheckBox*>(c)->Caption();
    case Opt: return static_cast<OptionButton*>(c)->Caption(); case Frm: return static_cast<Frame*>(c)->Caption();
    case Btn: return static_cast<CommandButton*>(c)->Caption(); default: return {};
    }
}

TEST(Layout, EveryControlAsCreated)
{
    Parlune w;
#define M(name) &w.Named(#name), #name
    const std::vector<Row> rows = {
        {M(Spectrum), Pic, "", "", 255, 90, 11340, 3060, {.back = 0xFFC0C0}},
        {M(Start), Btn, "", "START", 4440, 2160, 2415, 855, {.font = Arial975B}},
        {M(Stopit), Btn, "", "STOP ", 11550, 6420, 975, 735, {.font = Arial12B}}, {M(Label8), Lbl, "", "10dB /", 11520, 120, 615, 255},
        {M(IPAmplitude), Pic, "", "", 11685, 345, 240, 1335},
        {M(Label5), Lbl, "", "I/P Level", 12030, 675, 570, 435, {.fore = 0xC00000, .font = Sans825B}},
        {M(DispThreshold), VB, "", "", 11700, 1845, 255, 1335, {}, "", 100, 0, 40, 1, 10},
        {M(Label7), Lbl, "", "Disp Thresh", 12045, 2220, 675, 435, {.fore = 0xC00000, .font = Sans825B}},
        {M(ShowMin), Lbl, "", "---", 210, 3195, 825, 225, {.fore = 0x004000, .font = Sans975}},
        {M(CsrLoc), Lbl, "", "", 6930, 3210, 2415, 270, {.fore = 0x008000, .font = Sans975, .align = C}},
        {M(ShowMax), Lbl, "", "---", 10800, 3180, 780, 225, {.fore = 0x004000, .font = Sans975, .align = R}},
        {M(Frame1), Frm, "", "Signal , Frequency  Span and Noise Measurement range", 255, 3450, 9975, 2670, {.back = IB}},
        {M(FMin), HB, "Frame1", "", 480, 360, 3615, 255, {}, "", 20, 32700, 20, 5, 100},
        {M(FBand), Txt, "Frame1", "", 4185, 360, 1095, 285, {.align = C}},
        {M(FMax), HB, "Frame1", "", 5400, 360, 3375, 255, {}, "", 20, 32700, 4800, 5, 100},
        {M(Label9), Lbl, "Frame1", "Freq Limits", 8880, 360, 855, 255},
        {M(Label13), Lbl, "Frame1", "Noise Guard Band", 195, 855, 1320, 210, {.align = C}, "Gap either side of signal band before noise measurement starts"},
        {M(GB), HB, "Frame1", "", 225, 1125, 1350, 255, {}, "", 0, 20, 5, 1, 5},
        {M(ShowGB), Txt, "Frame1", "50", 1620, 1140, 525, 195, {.fore = 0xFF0000, .border = false}},
        {M(Label2), Lbl, "Frame1", "Signal Bandwidth  Hz", 165, 1455, 1575, 255, {.align = C}, "Bandwidth needed to totally encompass signal"},
        {M(SigBWUD), HB, "Frame1", "", 210, 1695, 1365, 255, {}, "", 1, 1000, 200, 1, 10},
        {M(SigBW), Txt, "Frame1", "100", 1620, 1710, 360, 210, {.fore = 0xC00000, .back = IB, .border = false}},
        {M(Label3), Lbl, "Frame1", "Averaging, seconds", 195, 1995, 1815, 255},
        {M(AvScroll), HB, "Frame1", "", 195, 2235, 1350, 255, {}, "", 1, 32, 1},
        {M(DetPeriod), Txt, "Frame1", "1", 1605, 2250, 435, 210, {.fore = 0xC00000, .back = IB, .border = false}},
        {M(UseStatNoise), Chk, "Frame1", "Use Statistics for Noise Measure", 2190, 750, 1590, 345, {.back = BF}, "Use when multiple strong signals affect noise measurement"},
        {M(TrackSig), Chk, "Frame1", "Auto Track Frequency Peak", 2175, 1215, 1620, 405, {}, "Use for slow drifting signals"},
        {M(PeakInSigBand), Chk, "Frame1", "Peak Search only in Signal Band", 2175, 1650, 1710, 465, {}, "Prevents unwanted stronger signals being shown as peak"},
        {M(Squared), Chk, "Frame1", "Square Input", 2160, 2250, 1425, 225, {.back = BF}, "Use to extract a carrier from some modulations, eg. BPSK.   Envelope detection"},
        {M(Frame3), Frm, "Frame1", "Set Standard Filters", 4035, 900, 5055, 630, {.back = BF}},
        {M(Wide), Opt, "Frame3", "5kHz", 105, 225, 855, 315, {}, "Wideband filter"},
        {M(SSB), Opt, "Frame3", "SSB", 1200, 240, 735, 315, {}, "typical SSB filter 300 - 3000Hz"},
        {M(WideCW), Opt, "Frame3", "1kHz CF Narrow", 2280, 165, 1455, 390, {}, "800 - 1300Hz"},
        {M(CW800), Opt, "Frame3", "CW 800Hz CF", 3720, 165, 1215, 390, {}, "Narrow CW 650 - 950Hz"},
        {M(CFUD), HB, "Frame1", "", 4035, 1665, 5055, 255, {}, "", 10, 32700, 1000, 1, 10},
        {M(CFToPeak), Btn, "Frame1", "  Peak      >> CF", 4050, 2040, 855, 495, {}, "Centre signal passband on highest peak"},
        {M(Label1), Lbl, "Frame1", "Centre Frequency   Hz", 5175, 1995, 1695, 255, {.align = C}},
        {M(CF), Txt, "Frame1", "1000", 6870, 1965, 840, 285, {.fore = 0xFF0000, .back = IB, .font = Sans975B, .align = C, .border = false}},
        {M(Lock), Btn, "Frame1", "Lock Settings", 9045, 2190, 870, 435, {}, "Lock Settings (cannot be undone)"},
        {M(Frame2), Frm, "", "Setup", 10320, 3450, 2295, 2655, {.back = IB}}, {M(WindType), Cmb, "Frame2", "FFT Window Type", 120, 240, 1935, 315},
        {M(DeviceBox), Cmb, "Frame2", "Choose Soundcard", 120, 600, 1935, 315, {.back = 0x0000FF}},
        {M(Label16), Lbl, "Frame2", "S Rate", 240, 1080, 615, 255},
        {M(SRate), Cmb, "Frame2", "12000", 960, 960, 1095, 315}, {M(Label4), Lbl, "Frame2", "FFT Size", 120, 1440, 735, 255},
        {M(FFTSize), Cmb, "Frame2", "8192", 960, 1320, 1095, 315}, {M(ShowRes), Lbl, "Frame2", "", 105, 1695, 2115, 300, {.back = BF}},
        {M(SBswap), Chk, "Frame2", "Swap Sideband I/Q Mode", 375, 1980, 1590, 405},
        {M(Logging), Frm, "", "Logging", 450, 6240, 2580, 1530, {.back = IB}},
        {M(LogFile), Txt, "Logging", "Parlune.txt", 180, 270, 1965, 330}, {M(LogInterval), Txt, "Logging", "5", 180, 675, 570, 300},
        {M(Label6), Lbl, "Logging", "Interval, s", 855, 750, 1380, 225},
        {M(LogToFile), Chk, "Logging", "Log to File", 210, 1140, 1095, 240, {.back = MN}},
        {M(Frame4), Frm, "", "Peak Detect", 3090, 6240, 4965, 1530, {.back = IB}},
        {M(PeakF), Lbl, "Frame4", "", 165, 240, 2265, 330, {.fore = 0x0000FF, .back = MN, .font = Sans12B}},
        {M(PeakFTol), Lbl, "Frame4", "", 195, 495, 1920, 210, {.fore = 0x0000FF, .back = MN, .font = Sans825B, .align = R}},
        {M(PeakL), Lbl, "Frame4", "", 180, 750, 2280, 360, {.fore = 0xC00000, .back = MN, .font = Sans12B}},
        {M(NoiseL), Lbl, "Frame4", "", 165, 1200, 2280, 255, {.fore = 0x008000, .back = MN, .font = Sans12B}},
        {M(Label10), Lbl, "Frame4", "-5dB   Peak Ampl fine   +5dB", 2520, 135, 2220, 210, {.fore = MN, .align = C}},
        {M(Peaking), Pic, "Frame4", "", 2580, 345, 2160, 285},
        {M(PeakingRef), HB, "Frame4", "", 2595, 630, 2145, 240, {}, "", 0, 200, 100, 1, 5},
        {M(PkRefVal), Lbl, "Frame4", "", 2640, 1080, 1140, 255, {.fore = 0xFF00FF, .back = BF}},
        {M(CentrePeaking), Opt, "Frame4", "Centre Trace", 3840, 960, 1095, 435, {.fore = 0xC0E0FF}},
        {M(SNResults), Frm, "", " Detected Signal / Noise in Signal BW.", 8160, 6270, 3150, 1530, {.back = IB}},
        {M(SNBin), Lbl, "SNResults", "dB", 120, 240, 2835, 375, {.fore = 0x0040C0, .font = Arial975B}},
        {M(SN1Hz), Lbl, "SNResults", "dB", 120, 630, 2790, 375, {.fore = 0x0040C0, .font = Arial975B}},
        {M(SN2k5Hz), Lbl, "SNResults", "dB", 120, 1020, 2835, 375, {.fore = 0x0000FF, .font = Arial975B}},
    };
#undef M
    const std::set<QString> frames = {"Frame1", "Frame2", "Frame3", "Frame4", "Logging", "SNResults"};
    const std::set<QString> disabled = {"Start", "LogToFile", "FBand"};
    std::set<QString> names, tipped;
    std::map<std::string, Colour> backOf; // frames' backgrounds, for what they hold
    auto Shown = [](Colour c) { // 0xBBGGRR or a system role, as the program keeps it
        const SysColour roles[] = {SysColour::ActiveBorder, SysColour::InactiveBorder, SysColour::Menu, SysColour::ButtonFace};
        return c <= AB ? SystemColour(roles[AB - c]) : RGB(c & 0xFF, (c >> 8) & 0xFF, c >> 16);
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        names.insert(r.name);
        if (*r.tip) tipped.insert(r.name);
        QWidget* wid = r.ctl->widget();
        ASSERT_NE(wid, nullptr);
        EXPECT_EQ(w.findChild<QWidget*>(r.name), wid);
        for (int k = Lbl; k < Pic; ++k)
            EXPECT_EQ(wid->inherits(kQtClass[k]), QString(kQtClass[k]) == kQtClass[r.kind]) << kQtClass[k];
        QWidget* container = &w;
        for (const Row& f : rows)
            container = *r.in && QString(f.name) == r.in ? static_cast<Frame*>(f.ctl)->client() : container;
        EXPECT_EQ(wid->parentWidget(), container) << "in " << r.in;
        EXPECT_EQ(std::vector<int>({r.ctl->Left(), r.ctl->Top(), r.ctl->Width(), r.ctl->Height()}),
                  std::vector<int>({r.left, r.top, r.width, r.height}));
        EXPECT_EQ(wid->geometry(), QRect(r.left / 15, r.top / 15, r.width / 15, r.height / 15));
        EXPECT_EQ(TextOf(r).toStdString(), r.text);
        EXPECT_EQ(r.ctl->ToolTipText().toStdString(), r.tip);
        EXPECT_EQ(wid->toolTip().toStdString(), r.tip);
        // Look: colours as shown (a text or combo box's field, a picture's
        // image, otherwise the widget's background), font, alignment, border.
        const QPalette::ColorRole backRole = r.kind == Txt || r.kind == Cmb ? QPalette::Base : QPalette::Window,
                                  foreRole = r.kind == Txt || r.kind == Cmb ? QPalette::Text
                                             : r.kind == Btn               ? QPalette::ButtonText
                                                                           : QPalette::WindowText;
        const bool inherits = r.kind == Lbl || r.kind == Chk || r.kind == Opt;
        const Colour back = r.look.back != kDefault ? Shown(r.look.back)
                            : inherits             ? Shown(std::string(r.in).empty() ? AB : backOf.at(r.in))
                            : r.kind == Pic        ? Shown(BF)
                                                   : FromQColor(QApplication::palette(wid).color(backRole));
        const Colour fore = r.look.fore != kDefault ? Shown(r.look.fore) : SystemColour(SysColour::WindowText);
        EXPECT_EQ(r.kind == Pic ? FromQColor(static_cast<PictureBox*>(r.ctl)->Image().pixel(0, 0))
                                : FromQColor(wid->palette().color(QPalette::Active, backRole)), back);
        EXPECT_EQ(r.ctl->ForeColor(), fore);
        EXPECT_TRUE(r.kind == Pic || FromQColor(wid->palette().color(QPalette::Active, foreRole)) == fore);
        EXPECT_EQ(wid->font().toString().toStdString(), MapFont(r.look.font).toString().toStdString());
        const Qt::Alignment align[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
        if (r.kind == Lbl)
            EXPECT_EQ(static_cast<Label*>(r.ctl)->label()->alignment() & Qt::AlignHorizontal_Mask, align[r.look.align]);
        if (r.kind == Txt) {
            EXPECT_EQ(static_cast<TextBox*>(r.ctl)->edit()->alignment() & Qt::AlignHorizontal_Mask, align[r.look.align]);
            EXPECT_EQ(static_cast<TextBox*>(r.ctl)->edit()->hasFrame(), r.look.border);
        }
        if (r.kind == Frm) backOf[r.name] = r.look.back;
        if (r.kind == HB || r.kind == VB) {
            auto* s = static_cast<ScrollBar*>(r.ctl);
            EXPECT_EQ(s->bar()->orientation(), r.kind == HB ? Qt::Horizontal : Qt::Vertical);
            EXPECT_EQ(std::vector<int>({s->Min(), s->Max(), s->Value(), s->SmallChange(), s->LargeChange()}),
                      std::vector<int>({r.min, r.max, r.value, r.small, r.large}));
        }
        EXPECT_FALSE((r.kind == Chk && static_cast<CheckBox*>(r.ctl)->Value()) ||
                     (r.kind == Opt && static_cast<OptionButton*>(r.ctl)->Value())) << "checked at creation";
        EXPECT_EQ(wid->isEnabled(), !disabled.count(r.name));
        EXPECT_EQ(wid->isHidden(), QString(r.name) == "Stopit");
    }
    // A label never lies on top of a picture box it overlaps (a later
    // sibling is drawn over an earlier one); "10dB /" overlaps two.
    int overlaps = 0;
    for (const Row& l : rows)
        for (const Row& p : rows)
            if (l.kind == Lbl && p.kind == Pic && QString(l.in) == p.in &&
                l.ctl->widget()->geometry().intersects(p.ctl->widget()->geometry())) {
                const QObjectList& stack = l.ctl->widget()->parent()->children();
                ++overlaps;
                EXPECT_LT(stack.indexOf(l.ctl->widget()), stack.indexOf(p.ctl->widget())) << l.name << " over " << p.name;
            }
    EXPECT_EQ(overlaps, 2);
    // No other control, and no tool tip anywhere else.
    for (QWidget* child : w.findChildren<QWidget*>()) {
        const QString name = child->objectName();
        const bool control = child->parentWidget() == &w || frames.count(child->parentWidget()->objectName());
        EXPECT_TRUE(!control || name.startsWith("qt_") || names.count(name)) << "unexpected " << name.toStdString();
        EXPECT_TRUE(child->toolTip().isEmpty() || tipped.count(name)) << "stray tool tip on " << name.toStdString();
    }

    auto ItemsOf = [](ComboBox& c) { QStringList l; for (int i = 0; i < c.ListCount(); ++i) l << c.List(i); return l; };
    EXPECT_EQ(ItemsOf(w.windowTypeBox), QStringList({"Hamming", "Blackman Harris", "Hanning", "HFT95_FlatTop", "No Window"}));
    EXPECT_EQ(ItemsOf(w.sampleRateBox), QStringList({"6000", "7200", "8100", "11025", "11100", "12000", "24000", "48000"}));
    EXPECT_EQ(ItemsOf(w.fftSizeBox), QStringList({"1024", "2048", "4096", "8192", "16384", "32768", "65536", "131072", "262144"}));
    EXPECT_EQ(w.deviceBox.ListCount(), 0);
    // The three combo texts are shown as such, not replaced by a list entry.
    EXPECT_EQ(QStringList({w.windowTypeBox.combo()->currentText(), w.sampleRateBox.combo()->currentText(), w.fftSizeBox.combo()->currentText()}),
              QStringList({"FFT Window Type", "12000", "8192"}));
}

TEST(Layout, TabOrder)
{
    Parlune w;
    const std::vector<Control*> order = {
        &w.spectrumPlot, &w.startButton, &w.fftSizeBox, &w.inputLevelMeter, &w.windowTypeBox, &w.centreFrequencyBox, &w.bandwidthBox, &w.trackCheck,
        &w.peakToCentreButton, &w.spanLowBar, &w.spanHighBar, &w.spanBox, &w.guardBar, &w.periodBox, &w.deviceBox, &w.swapSidebandCheck,
        &w.thresholdBar, &w.sampleRateBox, &w.centreBar, &w.bandwidthBar, &w.averagingBar, &w.stopButton, &w.presetCw800Option, &w.presetNarrowOption,
        &w.logFileBox, &w.logIntervalBox, &w.presetSsbOption, &w.preset5kHzOption, &w.logToFileCheck, &w.guardBox, &w.lockButton, &w.peakingMeter,
        &w.peakingRefBar, &w.statNoiseCheck, &w.centreTraceOption, &w.peakInBandCheck, &w.squareInputCheck,
    };
    std::map<QWidget*, QString> listed;
    QStringList want, got;
    for (Control* c : order) {
        listed[c->widget()] = c->Name(), want << c->Name();
        EXPECT_TRUE(c->widget()->focusPolicy() & Qt::TabFocus) << c->Name().toStdString();
    }
    QWidget* at = w.spectrumPlot.widget();
    do {
        if (listed.count(at)) got << listed[at];
        at = at->nextInFocusChain();
    } while (at != w.spectrumPlot.widget() && got.size() < want.size());
    EXPECT_EQ(got, want);
}

// The threshold bar grows upwards: thumb at the top gives 100, at the bottom
// 0, and it starts 60 % of the way down (40).
TEST(Layout, ThresholdBarEnds)
{
    Parlune w;
    QScrollBar* bar = w.thresholdBar.bar();
    bar->resize(w.thresholdBar.widget()->size());
    auto thumbTop = [bar] { return ScrollBarPart(bar, QStyle::SC_ScrollBarSlider).top(); };
    const int atStart = thumbTop();
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    const int top = thumbTop(), atTop = w.thresholdBar.Value();
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    const int bottom = thumbTop();
    EXPECT_EQ(std::tuple(atTop, w.thresholdBar.Value()), std::tuple(100, 0));
    EXPECT_LT(top, bottom);
    EXPECT_NEAR(atStart, top + 0.6 * (bottom - top), 1.0);
}

} // namespace
