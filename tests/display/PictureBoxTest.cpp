// The drawing surface offscreen with a known scale, checked on the pixels of
// the retained image and of the painted widget.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include "display/PictureBox.h"
#include "engine/Fault.h"

namespace {

using Px = std::set<std::pair<int, int>>;
const Colour kBack = RGB(10, 20, 30), kRed = RGB(255, 0, 0);

Px rect(int x0, int y0, int x1, int y1, int step = 1) // inclusive
{
    Px s;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; x += step) s.insert({x, y});
    return s;
}

// A 100 x 50 px box; x from 10 to 20 and y from 0 to 5: 10 px per unit.
struct Surface : ::testing::Test {
    Window win{"host"};
    PictureBox box;
    void SetUp() override
    {
        win.setClientSize(3000, 1500);
        box.create(&win, "Spectrum", 0, 0, 1500, 750);
        box.setBackColor(kBack);
        box.setScaleLeft(10), box.setScaleWidth(10), box.setScaleHeight(5);
        win.show();
    }
    Px pixels(Colour c) const
    {
        Px s;
        const QImage img = box.Image();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (FromQColor(img.pixelColor(x, y)) == c) s.insert({x, y});
        return s;
    }
};

} // namespace

TEST_F(Surface, BoxesAndSegmentsCoverTheMappedPixelsAndAreClipped)
{
    const struct { bool filled; double x1, y1, x2, y2; int style; Px expect; } cases[] = {
        {true, 12, 1, 14, 3, 0, rect(20, 10, 39, 29)},
        {true, 14, 3, 12, 1, 0, rect(20, 10, 39, 29)},       // corners in either order
        {true, 18, 4, 30, 10, 0, rect(80, 40, 99, 49)},      // clipped right and bottom
        {true, 0, -3, 10.5, 0.25, 0, rect(0, 0, 4, 2)},      // clipped left and top
        {true, 12.04, 2, 12.06, 2, 0, rect(20, 20, 20, 20)}, // thinner than a pixel: one pixel
        {true, -1e300, -1e300, 1e300, 1e300, 0, rect(0, 0, 99, 49)},
        {true, 25, 1, 30, 2, 0, {}}, // wholly outside
        {false, 11, 2, 13, 2, 0, rect(10, 20, 30, 20)}, {false, 10, 0, 10.25, 0.25, 0, {{0, 0}, {1, 1}, {2, 2}}},
        {false, 10, 2.05, 1e300, 2.05, 0, rect(0, 20, 99, 20)}, // far end clipped
        {false, 10, 5, 20, 5, 0, {}},                           // the bottom edge is outside
        {false, 12, 1, 12, 1, 0, rect(20, 10, 20, 10)},         // a point
        {false, 10, 1, 11, 1, 2, rect(0, 10, 10, 10, 2)},       // DrawStyle 2: every other pixel
    };
    for (const auto& c : cases) {
        box.Cls();
        box.setDrawStyle(c.style);
        c.filled ? box.LineBox(c.x1, c.y1, c.x2, c.y2, kRed) : box.Line(c.x1, c.y1, c.x2, c.y2, kRed);
        EXPECT_EQ(pixels(kRed), c.expect) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
    }
    EXPECT_THROW(box.setScaleWidth(0), Fault);
    EXPECT_THROW(box.setScaleHeight(0), Fault);
    EXPECT_DOUBLE_EQ(box.PixelX(12.5), 25); // the scale is kept
}

TEST_F(Surface, WidgetShowsTheImageAndMouseIsInUserUnits)
{
    box.LineBox(12, 1, 14, 3, kRed);
    const QImage shown = box.widget()->grab().toImage();
    EXPECT_EQ(std::pair(FromQColor(shown.pixelColor(25, 15)), FromQColor(shown.pixelColor(5, 5))), std::pair(kRed, kBack));

    std::vector<std::vector<double>> events; // button, shift, x, y
    box.onMouseMove = box.onMouseDown = [&](int b, int s, double x, double y) { events.push_back({double(b), double(s), x, y}); };
    QWidget* wgt = box.widget();
    QMouseEvent move(QEvent::MouseMove, QPointF(25, 15), wgt->mapToGlobal(QPointF(25, 15)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(wgt, &move);
    QTest::mouseClick(wgt, Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
    QTest::mouseClick(wgt, Qt::RightButton, {}, QPoint(1, 2));
    EXPECT_EQ(events, (std::vector<std::vector<double>>{{0, 0, 12.5, 1.5}, {1, 1, 13, 4}, {2, 0, 10.1, 0.2}}));
}

// Text goes where QPainter::drawText puts it with its baseline one ascent
// below the current point, in ForeColor, for every text, place and font;
// each Print moves the current point one text line down, to the left edge.
TEST_F(Surface, PrintDrawsTextAsDrawTextDoes)
{
    const struct { double x, y; const char* text; FontSpec font; } cases[] = {
        {10, 0, "Noise", {}}, {13.3, 2.47, "1000", {}}, {11.05, 1, "984.4Hz", {}}, {13.3, 2.47, "Noise", {}},
        {10, 0, "Noise", {"Arial", 9.75, true}}, {18, 4, "12345.6Hz", {"Arial", 9.75, true}}, {9, -1, "Noise", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " at " << c.x << "," << c.y << " in " << c.font.name.toStdString());
        box.Cls();
        box.setFont(c.font);
        box.LineBox(10, 0, 14, 2, RGB(255, 255, 0)); // text over two colours
        box.setForeColor(RGB(0, 100, 70));
        QImage want = box.Image();
        const QFont font = box.widget()->font();
        QPainter p(&want);
        p.setFont(font);
        p.setPen(QColor(0, 100, 70));
        p.drawText(int(std::floor(box.PixelX(c.x))), int(std::floor(box.PixelY(c.y))) + QFontMetrics(font).ascent(), c.text);
        p.end();
        box.setCurrentX(c.x), box.setCurrentY(c.y);
        box.Print(c.text);
        EXPECT_TRUE(box.Image() == want);
        EXPECT_EQ(box.CurrentX(), 10);
        EXPECT_DOUBLE_EQ(box.CurrentY(), c.y + QFontMetrics(font).height() * 5.0 / 50);
    }
}
