// The waterfall and histogram windows as created, and the waterfall's own
// handlers: captions, the palette strip and the cursor read-out.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "display/HistogramWindow.h"
#include "display/Palette.h"
#include "display/WaterfallWindow.h"

namespace {
// A mouse move delivered to the widget itself, wherever its window lies.
void moveTo(QWidget* w, QPoint at)
{
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

struct Geometry {
    Control* control;
    const char* name;
    int left, top, width, height;
};

void expectGeometry(const Geometry& g)
{
    SCOPED_TRACE(g.name);
    EXPECT_EQ(g.control->Name(), g.name);
    EXPECT_EQ((std::vector<int>{g.control->Left(), g.control->Top(), g.control->Width(), g.control->Height()}),
              (std::vector<int>{g.left, g.top, g.width, g.height}));
    EXPECT_EQ(g.control->widget()->geometry(),
              QRect(TwipsToPx(g.left), TwipsToPx(g.top), TwipsToPx(g.width), TwipsToPx(g.height)));
}
} // namespace

TEST(MonWFWindow, AsCreated)
{
    MonWF w;
    EXPECT_EQ(w.objectName(), "monWF");
    EXPECT_EQ(w.Caption(), "Full spectrum ");
    EXPECT_EQ(w.size(), QSize(464, 384));
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.palette().color(QPalette::Window), ToQColor(SystemColour(SysColour::ActiveTitle)));

    const Geometry table[] = {
        {&w.WFall, "WFall", 0, 0, 6855, 5055},          {&w.WFGain, "WFGain", 120, 5160, 1455, 255},
        {&w.Label1, "Label1", 1680, 5160, 1335, 255},    {&w.WFThr, "WFThr", 120, 5400, 1455, 255},
        {&w.Label2, "Label2", 1680, 5400, 1335, 255},    {&w.WFpal, "WFpal", 3000, 5160, 1095, 255},
        {&w.Label3, "Label3", 4200, 5160, 615, 255},     {&w.WFcsr, "WFcsr", 5520, 5160, 1095, 255},
        {&w.PalMap, "PalMap", 3000, 5400, 3615, 255},    {&w.WFCache, "WFCache", 2280, 4200, 1815, 1095},
    };
    for (const auto& g : table)
        expectGeometry(g);

    const struct {
        ScrollBar* bar;
        int min, max, value, small, large;
    } bars[] = {{&w.WFGain, 1, 255, 50, 1, 5}, {&w.WFThr, 0, 100, 30, 1, 5}, {&w.WFpal, 0, 3, 0, 1, 1}};
    for (const auto& b : bars) {
        SCOPED_TRACE(b.bar->Name().toStdString());
        EXPECT_EQ((std::vector<int>{b.bar->Min(), b.bar->Max(), b.bar->Value(), b.bar->SmallChange(),
                                    b.bar->LargeChange()}),
                  (std::vector<int>{b.min, b.max, b.value, b.small, b.large}));
        EXPECT_EQ(b.bar->bar()->orientation(), Qt::Horizontal);
    }
    const std::pair<Label*, const char*> captions[] = {
        {&w.Label1, "WF Gain"}, {&w.Label2, "Threshold"}, {&w.Label3, "Pallette"}, {&w.WFcsr, "-"}};
    for (auto [label, caption] : captions)
        EXPECT_EQ(label->Caption(), caption);
    EXPECT_FALSE(w.Label1.label()->autoFillBackground()); // shares the window's background

    EXPECT_EQ(FromQColor(w.WFall.Image().pixelColor(200, 100)), RGB(0, 0, 0));
    EXPECT_DOUBLE_EQ(w.WFall.ScaleWidth(), 6855); // twips until a run sets the scale
    EXPECT_EQ(FromQColor(w.PalMap.Image().pixelColor(10, 5)), SystemColour(SysColour::Menu));
    EXPECT_DOUBLE_EQ(w.PalMap.ScaleLeft(), 0);
    EXPECT_DOUBLE_EQ(w.PalMap.ScaleWidth(), 255);
    EXPECT_FALSE(w.WFCache.Visible());

    QWidget* order[] = {w.WFall.widget(), w.WFGain.widget(), w.WFThr.widget(), w.WFpal.widget(),
                        w.PalMap.widget()};
    for (int i = 0; i + 1 < 5; ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << i;
    }
}

TEST(MonWFWindow, BarHandlersWriteTheirCaptions)
{
    MonWF w;
    const struct {
        std::function<void()> act;
        const char* label1;
        const char* label2;
    } steps[] = {
        {[&] { w.WFGain.setValue(50); }, "WF Gain", "Threshold"}, // unchanged: no handler
        {[&] { w.WFGain.ArrowClick(true); }, "WF Gain 51", "Threshold"},
        {[&] { w.WFGain.setValue(50); }, "WF Gain 50", "Threshold"},
        {[&] { w.WFThr.TroughClick(true); }, "WF Gain 50", "WF Thresh  35dB"},
        {[&] { w.WFThr.DragTo(0); }, "WF Gain 50", "WF Thresh  0dB"},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].act();
        EXPECT_EQ(w.Label1.Caption(), steps[i].label1) << i;
        EXPECT_EQ(w.Label2.Caption(), steps[i].label2) << i;
    }
}

TEST(MonWFWindow, PaletteStripDrawnOnlyOnAPaletteChange)
{
    MonWF w;
    const Colour menu = SystemColour(SysColour::Menu);
    auto stripColours = [&] {
        std::set<Colour> s;
        const QImage img = w.PalMap.Image();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                s.insert(FromQColor(img.pixelColor(x, y)));
        return s;
    };
    EXPECT_EQ(stripColours(), std::set<Colour>{menu});

    for (int palette : {1, 3, 0}) {
        w.WFpal.setValue(palette);
        const QImage img = w.PalMap.Image();
        ASSERT_EQ(img.width(), 241);
        for (int x = 0; x < img.width(); ++x) {
            int last = 0; // the last segment drawn on this column wins
            for (int i = 0; i <= 255; ++i)
                if (static_cast<int>(i * 241.0 / 255) == x)
                    last = i;
            for (int y : {0, img.height() / 2, img.height() - 1})
                ASSERT_EQ(FromQColor(img.pixelColor(x, y)), WFCols(last / 256.0, palette))
                    << "palette " << palette << " column " << x << " row " << y;
        }
    }
}

TEST(MonWFWindow, CursorReadOutIsTheFrequencyOfTheColumnUnderTheMouse)
{
    MonWF w;
    w.show();
    moveTo(w.WFall.widget(), QPoint(50, 60));
    EXPECT_EQ(w.WFcsr.Caption(), "-"); // no bin width known yet

    w.BinWidthHz = [] { return 12000.0 / 8192; };
    w.WFall.setScaleLeft(0);
    w.WFall.setScaleWidth(457); // one bin per pixel
    w.WFall.setScaleHeight(512);
    const struct {
        QPoint at;
        const char* text;
    } cases[] = {{{100, 50}, "146.5Hz"}, {{300, 10}, "439.5Hz"}, {{7, 300}, "10.3Hz"}};
    for (const auto& c : cases) {
        moveTo(w.WFall.widget(), c.at);
        EXPECT_EQ(w.WFcsr.Caption(), c.text) << c.at.x();
    }
}

TEST(MonHistoWindow, AsCreated)
{
    MonHisto h;
    EXPECT_EQ(h.objectName(), "monHisto");
    EXPECT_EQ(h.Caption(), "Histogram");
    EXPECT_EQ(h.size(), QSize(384, 230));
    EXPECT_FALSE(h.isVisible());
    EXPECT_EQ(h.palette().color(QPalette::Window), ToQColor(SystemColour(SysColour::ButtonFace)));
    expectGeometry({&h.Histogram, "Histogram", 120, 120, 5325, 2895});
    expectGeometry({&h.Label1, "Label1", 120, 3090, 5475, 240});
    EXPECT_EQ(h.Label1.Caption(), " Averaged  Bin  Amplitude   0 -- 160 dB");
    EXPECT_TRUE(h.Label1.label()->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(h.Label1.ForeColor(), RGB(255, 128, 0));
    EXPECT_EQ(h.Label1.widget()->palette().color(QPalette::WindowText), QColor(255, 128, 0));
}
