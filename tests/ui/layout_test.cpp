// The main window as created (before Form_Load): every control checked
// against an independent copy of the layout, so that a wrong twip, a missing
// blank, a lost tool tip or a control in the wrong frame shows up.
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <algorithm>
#include <set>

#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "ui/Parlune.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

enum class K { Label, Text, HBar, VBar, Combo, Check, Option, Frame, Button, Picture };
enum class Ev { None, Change, Click, ClickAndChange, Mouse }; // which handlers are wired

struct Row {
    Control* ctl;
    const char* name;
    K kind;
    const char* in; // container: "" for the window
    const char* text;
    int left, top, width, height;
    struct Extra {
        Ev ev = Ev::None;
        const char* tip = "";
        std::optional<FontSpec> font; // unset: the window's font
        std::optional<Colour> fore, back;
        Qt::Alignment align = Qt::AlignLeft;
        bool border = true;
        int min = 0, max = 0, value = 0, small = 1, large = 1;
        QStringList items;
    } x = {};
};

QString TextOf(const Row& r)
{
    switch (r.kind) {
    case K::Label: return static_cast<Label*>(r.ctl)->Caption();
    case K::Text: return static_cast<TextBox*>(r.ctl)->Text();
    case K::Combo: return static_cast<ComboBox*>(r.ctl)->Text();
    case K::Check: return static_cast<CheckBox*>(r.ctl)->Caption();
    case K::Option: return static_cast<OptionButton*>(r.ctl)->Caption();
    case K::Frame: return static_cast<Frame*>(r.ctl)->Caption();
    case K::Button: return static_cast<CommandButton*>(r.ctl)->Caption();
    default: return {};
    }
}

Ev WiredOf(const Row& r)
{
    switch (r.kind) {
    case K::Text: return static_cast<TextBox*>(r.ctl)->onChange ? Ev::Change : Ev::None;
    case K::HBar:
    case K::VBar: return static_cast<ScrollBar*>(r.ctl)->onChange ? Ev::Change : Ev::None;
    case K::Combo: {
        auto* c = static_cast<ComboBox*>(r.ctl);
        return c->onClick ? (c->onChange ? Ev::ClickAndChange : Ev::Click) : (c->onChange ? Ev::Change : Ev::None);
    }
    case K::Check: return static_cast<CheckBox*>(r.ctl)->onClick ? Ev::Click : Ev::None;
    case K::Option: return static_cast<OptionButton*>(r.ctl)->onClick ? Ev::Click : Ev::None;
    case K::Button: return static_cast<CommandButton*>(r.ctl)->onClick ? Ev::Click : Ev::None;
    case K::Picture: {
        auto* p = static_cast<PictureBox*>(r.ctl);
        return p->onMouseMove && p->onMouseDown ? Ev::Mouse : Ev::None;
    }
    default: return Ev::None;
    }
}

const char* QtClassOf(K k)
{
    switch (k) {
    case K::Label: return "QLabel";
    case K::Text: return "QLineEdit";
    case K::HBar:
    case K::VBar: return "QScrollBar";
    case K::Combo: return "QComboBox";
    case K::Check: return "QCheckBox";
    case K::Option: return "QRadioButton";
    case K::Frame: return "QGroupBox";
    case K::Button: return "QPushButton";
    default: return nullptr;
    }
}

} // namespace

TEST(Layout, EveryControlAsCreated)
{
    Parlune w;
    const Colour active = SystemColour(SysColour::ActiveBorder);
    const Colour inactive = SystemColour(SysColour::InactiveBorder);
    const Colour face = SystemColour(SysColour::ButtonFace);
    const Colour menu = SystemColour(SysColour::Menu);
    const FontSpec sans975{"MS Sans Serif", 9.75, false}, sans825b{"MS Sans Serif", 8.25, true},
        sans975b{"MS Sans Serif", 9.75, true}, sans12b{"MS Sans Serif", 12, true}, arial975b{"Arial", 9.75, true},
        arial12b{"Arial", 12, true};
    constexpr auto C = Qt::AlignHCenter, R = Qt::AlignRight;

#define M(member) &w.member, #member
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
    const std::vector<Row> rows = {
        {M(Spectrum), K::Picture, "", "", 255, 90, 11340, 3060, {.ev = Ev::Mouse, .back = RGB(192, 192, 255)}},
        {M(Start), K::Button, "", "START", 4440, 2160, 2415, 855, {.ev = Ev::Click, .font = arial975b}},
        {M(Stopit), K::Button, "", "STOP ", 11550, 6420, 975, 735, {.ev = Ev::Click, .font = arial12b}},
        {M(Label8), K::Label, "", "10dB /", 11520, 120, 615, 255, {.back = active}},
        {M(IPAmplitude), K::Picture, "", "", 11685, 345, 240, 1335},
        {M(Label5), K::Label, "", "I/P Level", 12030, 675, 570, 435,
         {.font = sans825b, .fore = RGB(0, 0, 192), .back = active}},
        {M(DispThreshold), K::VBar, "", "", 11700, 1845, 255, 1335,
         {.ev = Ev::Change, .min = 100, .max = 0, .value = 40, .large = 10}},
        {M(Label7), K::Label, "", "Disp Thresh", 12045, 2220, 675, 435,
         {.font = sans825b, .fore = RGB(0, 0, 192), .back = active}},
        {M(ShowMin), K::Label, "", "---", 210, 3195, 825, 225,
         {.font = sans975, .fore = RGB(0, 64, 0), .back = active}},
        {M(CsrLoc), K::Label, "", "", 6930, 3210, 2415, 270,
         {.font = sans975, .fore = RGB(0, 128, 0), .back = active, .align = C}},
        {M(ShowMax), K::Label, "", "---", 10800, 3180, 780, 225,
         {.font = sans975, .fore = RGB(0, 64, 0), .back = active, .align = R}},

        {M(Frame1), K::Frame, "", "Signal , Frequency  Span and Noise Measurement range", 255, 3450, 9975, 2670,
         {.back = inactive}},
        {M(FMin), K::HBar, "Frame1", "", 480, 360, 3615, 255,
         {.ev = Ev::Change, .min = 20, .max = 32700, .value = 20, .small = 5, .large = 100}},
        {M(FBand), K::Text, "Frame1", "", 4185, 360, 1095, 285, {.align = C}},
        {M(FMax), K::HBar, "Frame1", "", 5400, 360, 3375, 255,
         {.ev = Ev::Change, .min = 20, .max = 32700, .value = 4800, .small = 5, .large = 100}},
        {M(Label9), K::Label, "Frame1", "Freq Limits", 8880, 360, 855, 255, {.back = inactive}},
        {M(Label13), K::Label, "Frame1", "Noise Guard Band", 195, 855, 1320, 210,
         {.tip = "Gap either side of signal band before noise measurement starts", .back = inactive, .align = C}},
        {M(GB), K::HBar, "Frame1", "", 225, 1125, 1350, 255,
         {.ev = Ev::Change, .min = 0, .max = 20, .value = 5, .large = 5}},
        {M(ShowGB), K::Text, "Frame1", "50", 1620, 1140, 525, 195, {.fore = RGB(0, 0, 255), .border = false}},
        {M(Label2), K::Label, "Frame1", "Signal Bandwidth  Hz", 165, 1455, 1575, 255,
         {.tip = "Bandwidth needed to totally encompass signal", .back = inactive, .align = C}},
        {M(SigBWUD), K::HBar, "Frame1", "", 210, 1695, 1365, 255,
         {.ev = Ev::Change, .min = 1, .max = 1000, .value = 200, .large = 10}},
        {M(SigBW), K::Text, "Frame1", "100", 1620, 1710, 360, 210,
         {.ev = Ev::Change, .fore = RGB(0, 0, 192), .back = inactive, .border = false}},
        {M(Label3), K::Label, "Frame1", "Averaging, seconds", 195, 1995, 1815, 255, {.back = inactive}},
        {M(AvScroll), K::HBar, "Frame1", "", 195, 2235, 1350, 255, {.ev = Ev::Change, .min = 1, .max = 32, .value = 1}},
        {M(DetPeriod), K::Text, "Frame1", "1", 1605, 2250, 435, 210,
         {.ev = Ev::Change, .fore = RGB(0, 0, 192), .back = inactive, .border = false}},
        {M(UseStatNoise), K::Check, "Frame1", "Use Statistics for Noise Measure", 2190, 750, 1590, 345,
         {.ev = Ev::Click, .tip = "Use when multiple strong signals affect noise measurement", .back = face}},
        {M(TrackSig), K::Check, "Frame1", "Auto Track Frequency Peak", 2175, 1215, 1620, 405,
         {.ev = Ev::Click, .tip = "Use for slow drifting signals", .back = inactive}},
        {M(PeakInSigBand), K::Check, "Frame1", "Peak Search only in Signal Band", 2175, 1650, 1710, 465,
         {.ev = Ev::None, .tip = "Prevents unwanted stronger signals being shown as peak", .back = inactive}},
        {M(Squared), K::Check, "Frame1", "Square Input", 2160, 2250, 1425, 225,
         {.ev = Ev::None, .tip = "Use to extract a carrier from some modulations, eg. BPSK.   Envelope detection",
          .back = face}},
        {M(Frame3), K::Frame, "Frame1", "Set Standard Filters", 4035, 900, 5055, 630, {.back = face}},
        {M(Wide), K::Option, "Frame3", "5kHz", 105, 225, 855, 315,
         {.ev = Ev::Click, .tip = "Wideband filter", .back = face}},
        {M(SSB), K::Option, "Frame3", "SSB", 1200, 240, 735, 315,
         {.ev = Ev::Click, .tip = "typical SSB filter 300 - 3000Hz", .back = face}},
        {M(WideCW), K::Option, "Frame3", "1kHz CF Narrow", 2280, 165, 1455, 390,
         {.ev = Ev::Click, .tip = "800 - 1300Hz", .back = face}},
        {M(CW800), K::Option, "Frame3", "CW 800Hz CF", 3720, 165, 1215, 390,
         {.ev = Ev::Click, .tip = "Narrow CW 650 - 950Hz", .back = face}},
        {M(CFUD), K::HBar, "Frame1", "", 4035, 1665, 5055, 255,
         {.ev = Ev::Change, .min = 10, .max = 32700, .value = 1000, .large = 10}},
        {M(CFToPeak), K::Button, "Frame1", "  Peak      >> CF", 4050, 2040, 855, 495,
         {.ev = Ev::Click, .tip = "Centre signal passband on highest peak"}},
        {M(Label1), K::Label, "Frame1", "Centre Frequency   Hz", 5175, 1995, 1695, 255, {.back = inactive, .align = C}},
        {M(CF), K::Text, "Frame1", "1000", 6870, 1965, 840, 285,
         {.ev = Ev::Change, .font = sans975b, .fore = RGB(0, 0, 255), .back = inactive, .align = C, .border = false}},
        {M(Lock), K::Button, "Frame1", "Lock Settings", 9045, 2190, 870, 435,
         {.ev = Ev::Click, .tip = "Lock Settings (cannot be undone)"}},

        {M(Frame2), K::Frame, "", "Setup", 10320, 3450, 2295, 2655, {.back = inactive}},
        {M(WindType), K::Combo, "Frame2", "FFT Window Type", 120, 240, 1935, 315,
         {.ev = Ev::Change, .items = {"Hamming", "Blackman Harris", "Hanning", "HFT95_FlatTop", "No Window"}}},
        {M(DeviceBox), K::Combo, "Frame2", "Choose Soundcard", 120, 600, 1935, 315,
         {.ev = Ev::Click, .back = RGB(255, 0, 0)}},
        {M(Label16), K::Label, "Frame2", "S Rate", 240, 1080, 615, 255, {.back = inactive}},
        {M(SRate), K::Combo, "Frame2", "12000", 960, 960, 1095, 315,
         {.ev = Ev::Change, .items = {"6000", "7200", "8100", "11025", "11100", "12000", "24000", "48000"}}},
        {M(Label4), K::Label, "Frame2", "FFT Size", 120, 1440, 735, 255, {.back = inactive}},
        {M(FFTSize), K::Combo, "Frame2", "8192", 960, 1320, 1095, 315,
         {.ev = Ev::Click, .items = {"1024", "2048", "4096", "8192", "16384", "32768", "65536", "131072", "262144"}}},
        {M(ShowRes), K::Label, "Frame2", "", 105, 1695, 2115, 300, {.back = face}},
        {M(SBswap), K::Check, "Frame2", "Swap Sideband I/Q Mode", 375, 1980, 1590, 405, {.back = inactive}},

        {M(Logging), K::Frame, "", "Logging", 450, 6240, 2580, 1530, {.back = inactive}},
        {M(LogFile), K::Text, "Logging", "Parlune.txt", 180, 270, 1965, 330},
        {M(LogInterval), K::Text, "Logging", "5", 180, 675, 570, 300},
        {M(Label6), K::Label, "Logging", "Interval, s", 855, 750, 1380, 225, {.back = inactive}},
        {M(LogToFile), K::Check, "Logging", "Log to File", 210, 1140, 1095, 240, {.ev = Ev::Click, .back = menu}},

        {M(Frame4), K::Frame, "", "Peak Detect", 3090, 6240, 4965, 1530, {.back = inactive}},
        {M(PeakF), K::Label, "Frame4", "", 165, 240, 2265, 330,
         {.font = sans12b, .fore = RGB(255, 0, 0), .back = menu}},
        {M(PeakFTol), K::Label, "Frame4", "", 195, 495, 1920, 210,
         {.font = sans825b, .fore = RGB(255, 0, 0), .back = menu, .align = R}},
        {M(PeakL), K::Label, "Frame4", "", 180, 750, 2280, 360,
         {.font = sans12b, .fore = RGB(0, 0, 192), .back = menu}},
        {M(NoiseL), K::Label, "Frame4", "", 165, 1200, 2280, 255,
         {.font = sans12b, .fore = RGB(0, 128, 0), .back = menu}},
        {M(Label10), K::Label, "Frame4", "-5dB   Peak Ampl fine   +5dB", 2520, 135, 2220, 210,
         {.fore = menu, .back = inactive, .align = C}},
        {M(Peaking), K::Picture, "Frame4", "", 2580, 345, 2160, 285},
        {M(PeakingRef), K::HBar, "Frame4", "", 2595, 630, 2145, 240,
         {.ev = Ev::Change, .min = 0, .max = 200, .value = 100, .large = 5}},
        {M(PkRefVal), K::Label, "Frame4", "", 2640, 1080, 1140, 255, {.fore = RGB(255, 0, 255), .back = face}},
        {M(CentrePeaking), K::Option, "Frame4", "Centre Trace", 3840, 960, 1095, 435,
         {.fore = RGB(255, 224, 192), .back = inactive}},

        {M(SNResults), K::Frame, "", " Detected Signal / Noise in Signal BW.", 8160, 6270, 3150, 1530,
         {.back = inactive}},
        {M(SNBin), K::Label, "SNResults", "dB", 120, 240, 2835, 375,
         {.font = arial975b, .fore = RGB(192, 64, 0), .back = inactive}},
        {M(SN1Hz), K::Label, "SNResults", "dB", 120, 630, 2790, 375,
         {.font = arial975b, .fore = RGB(192, 64, 0), .back = inactive}},
        {M(SN2k5Hz), K::Label, "SNResults", "dB", 120, 1020, 2835, 375,
         {.font = arial975b, .fore = RGB(255, 0, 0), .back = inactive}},
    };
#pragma GCC diagnostic pop
#undef M

    const std::map<QString, Frame*> frames = {{"Frame1", &w.Frame1}, {"Frame3", &w.Frame3}, {"Frame2", &w.Frame2},
                                              {"Logging", &w.Logging}, {"Frame4", &w.Frame4},
                                              {"SNResults", &w.SNResults}};
    const QFont windowFont = MapFont(FontSpec{});
    std::set<QString> tipped;

    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QWidget* wid = r.ctl->widget();
        ASSERT_NE(wid, nullptr);
        EXPECT_EQ(w.findChild<QWidget*>(r.name), wid) << "objectName";
        EXPECT_EQ(r.ctl->Name(), r.name);
        if (const char* cls = QtClassOf(r.kind)) {
            EXPECT_TRUE(wid->inherits(cls)) << wid->metaObject()->className() << " is not " << cls;
        } else {
            for (K k : {K::Label, K::Text, K::HBar, K::Combo, K::Check, K::Option, K::Frame, K::Button})
                EXPECT_FALSE(wid->inherits(QtClassOf(k))) << "a picture box is a surface of its own";
        }

        QWidget* container = *r.in ? frames.at(r.in)->client() : &w;
        EXPECT_EQ(wid->parentWidget(), container) << "container " << r.in;

        EXPECT_EQ(r.ctl->Left(), r.left);
        EXPECT_EQ(r.ctl->Top(), r.top);
        EXPECT_EQ(r.ctl->Width(), r.width);
        EXPECT_EQ(r.ctl->Height(), r.height);
        EXPECT_EQ(wid->geometry(), QRect(r.left / 15, r.top / 15, r.width / 15, r.height / 15)) << "pixels";

        EXPECT_EQ(TextOf(r), QString(r.text));

        EXPECT_EQ(WiredOf(r), r.x.ev) << "handlers wired";

        EXPECT_EQ(r.ctl->ToolTipText(), QString(r.x.tip));
        EXPECT_EQ(wid->toolTip(), QString(r.x.tip));
        if (*r.x.tip)
            tipped.insert(r.name);

        const QFont want = r.x.font ? MapFont(*r.x.font) : windowFont;
        EXPECT_EQ(wid->font().family(), want.family());
        EXPECT_DOUBLE_EQ(wid->font().pointSizeF(), r.x.font ? r.x.font->points : 8.25);
        EXPECT_EQ(wid->font().bold(), r.x.font ? r.x.font->bold : false);

        EXPECT_EQ(r.ctl->ForeColor(), r.x.fore.value_or(r.ctl->ForeColor())) << "fore colour";
        EXPECT_EQ(r.ctl->BackColor(), r.x.back.value_or(r.ctl->BackColor())) << "back colour";

        if (r.kind == K::Label) {
            EXPECT_EQ(static_cast<Label*>(r.ctl)->label()->alignment() & Qt::AlignHorizontal_Mask, r.x.align);
        }
        if (r.kind == K::Text) {
            QLineEdit* e = static_cast<TextBox*>(r.ctl)->edit();
            EXPECT_EQ(e->alignment() & Qt::AlignHorizontal_Mask, r.x.align);
            EXPECT_EQ(e->hasFrame(), r.x.border);
        }
        if (r.kind == K::HBar || r.kind == K::VBar) {
            auto* s = static_cast<ScrollBar*>(r.ctl);
            EXPECT_EQ(s->bar()->orientation(), r.kind == K::HBar ? Qt::Horizontal : Qt::Vertical);
            EXPECT_EQ(s->Min(), r.x.min);
            EXPECT_EQ(s->Max(), r.x.max);
            EXPECT_EQ(s->Value(), r.x.value);
            EXPECT_EQ(s->SmallChange(), r.x.small);
            EXPECT_EQ(s->LargeChange(), r.x.large);
        }
        if (r.kind == K::Combo) {
            auto* c = static_cast<ComboBox*>(r.ctl);
            EXPECT_TRUE(c->combo()->isEditable()) << "drop-down combo with an edit field";
            QStringList items;
            for (int i = 0; i < c->ListCount(); ++i)
                items << c->List(i);
            EXPECT_EQ(items, r.x.items);
        }
        if (r.kind == K::Check) {
            EXPECT_EQ(static_cast<CheckBox*>(r.ctl)->Value(), 0);
        }
        if (r.kind == K::Option) {
            EXPECT_FALSE(static_cast<OptionButton*>(r.ctl)->Value());
        }

        // States at creation.
        const std::set<QString> disabled = {"Start", "LogToFile", "FBand"};
        EXPECT_EQ(wid->isEnabled(), !disabled.count(r.name)) << "enabled";
        EXPECT_EQ(wid->isHidden(), QString(r.name) == "Stopit") << "hidden";
    }
    // No control beyond those of the layout.
    std::set<QString> names;
    for (const Row& r : rows)
        names.insert(r.name);
    for (QWidget* child : w.findChildren<QWidget*>()) {
        const bool inContainer = child->parentWidget() == &w || frames.count(child->parentWidget()->objectName());
        if (inContainer && !child->objectName().startsWith("qt_"))
            EXPECT_TRUE(names.count(child->objectName())) << "unexpected control " << child->objectName().toStdString();
    }

    // No tool tip anywhere else, the window's own widgets included.
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (!child->toolTip().isEmpty() && !tipped.count(child->objectName()))
            ADD_FAILURE() << "stray tool tip on " << child->objectName().toStdString();
    }
    EXPECT_TRUE(w.toolTip().isEmpty());

    // Focus chain: the listed controls follow one another in this order.
    const std::vector<Control*> tabOrder = {
        &w.Spectrum, &w.Start, &w.FFTSize, &w.IPAmplitude, &w.WindType, &w.CF, &w.SigBW, &w.TrackSig,
        &w.CFToPeak, &w.FMin, &w.FMax, &w.FBand, &w.GB, &w.DetPeriod, &w.DeviceBox, &w.SBswap,
        &w.DispThreshold, &w.SRate, &w.CFUD, &w.SigBWUD, &w.AvScroll, &w.Stopit, &w.CW800, &w.WideCW,
        &w.LogFile, &w.LogInterval, &w.SSB, &w.Wide, &w.LogToFile, &w.ShowGB, &w.Lock, &w.Peaking,
        &w.PeakingRef, &w.UseStatNoise, &w.CentrePeaking, &w.PeakInSigBand, &w.Squared,
    };
    std::map<QWidget*, QString> listed;
    for (Control* c : tabOrder)
        listed[c->widget()] = c->Name();
    QStringList want, got;
    for (Control* c : tabOrder)
        want << c->Name();
    QWidget* at = w.Spectrum.widget();
    do {
        if (listed.count(at))
            got << listed[at];
        at = at->nextInFocusChain();
    } while (at != w.Spectrum.widget() && got.size() < want.size());
    EXPECT_EQ(got, want);
    for (Control* c : tabOrder)
        EXPECT_NE(c->widget()->focusPolicy() & Qt::TabFocus, 0) << c->Name().toStdString() << " takes no focus";
}

TEST(Layout, WindowAndEdgeValues)
{
    Parlune w;
    EXPECT_EQ(w.objectName(), "Parlune");
    EXPECT_EQ(w.windowTitle(), "Parlune");
    EXPECT_EQ(w.Caption(), "Parlune");
    EXPECT_EQ(w.size(), QSize(12735 / 15, 7980 / 15)) << "client area 12735 x 7980 twips";
    EXPECT_EQ(w.palette().color(w.backgroundRole()), ToQColor(SystemColour(SysColour::ActiveBorder)));
    EXPECT_EQ(w.font().family(), MapFont(FontSpec{}).family());
    EXPECT_DOUBLE_EQ(w.font().pointSizeF(), 8.25);
    ASSERT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(w.windowIcon().pixmap(32, 32).size(), QSize(32, 32));

    EXPECT_EQ(w.Timer1.timer()->objectName(), "Timer1");
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.Timer1.timer()->isActive());
    EXPECT_TRUE(w.Timer1.onTimer);

    // The threshold bar grows upwards: the thumb at the top end gives 100, at
    // the bottom end 0, and starts 60 % of the way down.
    ScrollBar& t = w.DispThreshold;
    QScrollBar* bar = t.bar();
    bar->resize(t.widget()->size());
    auto thumbTop = [bar] {
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.orientation = bar->orientation();
        opt.minimum = bar->minimum();
        opt.maximum = bar->maximum();
        opt.sliderPosition = bar->sliderPosition();
        opt.sliderValue = bar->value();
        opt.singleStep = bar->singleStep();
        opt.pageStep = bar->pageStep();
        opt.upsideDown = bar->invertedAppearance();
        opt.subControls = QStyle::SC_All;
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar).top();
    };
    const int atStart = thumbTop();
    std::map<int, int> valueAtThumb; // thumb top in pixels -> Value
    for (auto action : {QAbstractSlider::SliderToMinimum, QAbstractSlider::SliderToMaximum}) {
        bar->triggerAction(action);
        valueAtThumb[thumbTop()] = t.Value();
    }
    ASSERT_EQ(valueAtThumb.size(), 2u);
    const int top = valueAtThumb.begin()->first, bottom = valueAtThumb.rbegin()->first;
    EXPECT_EQ(valueAtThumb.begin()->second, 100) << "top end";
    EXPECT_EQ(valueAtThumb.rbegin()->second, 0) << "bottom end";
    EXPECT_NEAR(atStart, top + 0.6 * (bottom - top), 1.0) << "thumb at 40";

    // Initial texts of the combos, whether or not they are list entries.
    EXPECT_EQ(w.WindType.combo()->currentText(), "FFT Window Type");
    EXPECT_EQ(w.SRate.combo()->currentText(), "12000");
    EXPECT_EQ(w.FFTSize.combo()->currentText(), "8192");
    EXPECT_EQ(w.DeviceBox.ListCount(), 0);

    // Secondary windows do not exist until first used; then they are
    // top-level, hidden, single, and made afresh after the user closed one.
    EXPECT_EQ(w.findChild<QWidget*>("monWF"), nullptr);
    MonWF& wf = w.monWF();
    EXPECT_TRUE(wf.isWindow());
    EXPECT_TRUE(wf.isHidden());
    EXPECT_EQ(&w.monWF(), &wf);
    EXPECT_TRUE(w.monHisto().isWindow());
    wf.show();
    wf.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w.findChild<QWidget*>("monWF"), nullptr) << "deleted on close";
    EXPECT_TRUE(w.monWF().isHidden());
    EXPECT_EQ(w.findChildren<QWidget*>("monWF").size(), 1);
}

namespace {
// The colour that covers most of a rectangle of the picture.
QRgb DominantColour(const QImage& img, const QRect& r)
{
    std::map<QRgb, int> count;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++count[img.pixel(x, y) & 0xFFFFFF];
    return std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

bool ContainsColour(const QImage& img, const QRect& r, Colour c)
{
    const QRgb want = ToQColor(c).rgb() & 0xFFFFFF;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == want)
                return true;
    return false;
}

QRect OnWindow(const Control& c, const QWidget& w)
{
    return QRect(c.widget()->mapTo(&w, QPoint(0, 0)), c.widget()->size());
}
} // namespace

// What the user sees: the colours of the layout reach the screen.  With
// PARLUNE_SCREENSHOT_DIR set, the three windows are also saved there as PNG.
TEST(Layout, RendersAsLaidOut)
{
    Parlune w;
    w.show();
    const QImage img = w.grab().toImage();
    ASSERT_EQ(img.size(), QSize(849, 532));
    auto rgb = [](Colour c) { return ToQColor(c).rgb() & 0xFFFFFF; };

    EXPECT_EQ(DominantColour(img, OnWindow(w.Spectrum, w)), rgb(RGB(192, 192, 255))) << "light blue plot";
    EXPECT_EQ(DominantColour(img, OnWindow(w.DeviceBox, w)), rgb(RGB(255, 0, 0))) << "red device box";
    EXPECT_EQ(DominantColour(img, OnWindow(w.Label9, w)), rgb(SystemColour(SysColour::InactiveBorder)));
    EXPECT_EQ(DominantColour(img, OnWindow(w.LogToFile, w)), rgb(SystemColour(SysColour::Menu)));
    EXPECT_EQ(DominantColour(img, QRect(0, 0, 849, 532)), rgb(SystemColour(SysColour::ActiveBorder)));
    EXPECT_TRUE(ContainsColour(img, OnWindow(w.Label5, w), RGB(0, 0, 192))) << "dark blue I/P Level";
    EXPECT_TRUE(ContainsColour(img, OnWindow(w.SN2k5Hz, w), RGB(255, 0, 0))) << "red S/N in 2500 Hz";
    EXPECT_TRUE(ContainsColour(img, OnWindow(w.CF, w), RGB(0, 0, 255))) << "blue centre frequency";
    // START lies over the plot, not under it.
    const QRect start = OnWindow(w.Start, w);
    EXPECT_NE(DominantColour(img, start), rgb(RGB(192, 192, 255)));

    if (const QString dir = qEnvironmentVariable("PARLUNE_SCREENSHOT_DIR"); !dir.isEmpty()) {
        img.save(dir + "/main.png");
        w.monWF().grab().save(dir + "/monWF.png");
        w.monHisto().grab().save(dir + "/monHisto.png");
        w.windowIcon().pixmap(32, 32).save(dir + "/icon.png");
    }
}
