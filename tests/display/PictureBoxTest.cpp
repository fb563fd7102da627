// The drawing surface on an offscreen widget with a known scale: every check
// looks at the pixels of the retained image (and of the painted widget).
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "display/PictureBox.h"
#include "display/PictureSurface.h"
#include "engine/Fault.h"

namespace {

const Colour kBack = RGB(10, 20, 30);
const Colour kRed = RGB(255, 0, 0);

// A 100 x 50 px box; x from 10 to 20 and y from 0 to 5: 10 px per unit.
struct Surface : ::testing::Test {
    Window win{"host"};
    PictureBox box;
    void SetUp() override
    {
        win.setClientSize(3000, 1500);
        box.create(&win, "Spectrum", 0, 0, 1500, 750);
        box.setBackColor(kBack);
        box.setScaleLeft(10);
        box.setScaleWidth(10);
        box.setScaleHeight(5);
        win.show();
    }
    Colour at(int x, int y) const { return FromQColor(box.Image().pixelColor(x, y)); }
    // Pixels in colour c, as a set of (x, y).
    std::set<std::pair<int, int>> pixels(Colour c) const
    {
        std::set<std::pair<int, int>> s;
        const QImage img = box.Image();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (FromQColor(img.pixelColor(x, y)) == c)
                    s.insert({x, y});
        return s;
    }
    static std::set<std::pair<int, int>> rect(int x0, int y0, int x1, int y1) // inclusive
    {
        std::set<std::pair<int, int>> s;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                s.insert({x, y});
        return s;
    }
};

} // namespace

TEST_F(Surface, TwipsUntilAScaleIsSetAndZeroExtentFaults)
{
    PictureBox fresh;
    fresh.create(&win, "IPAmplitude", 0, 0, 240, 1335);
    EXPECT_DOUBLE_EQ(fresh.ScaleWidth(), 240);
    EXPECT_DOUBLE_EQ(fresh.ScaleHeight(), 1335);
    EXPECT_EQ(fresh.Image().size(), QSize(16, 89));
    EXPECT_THROW(box.setScaleWidth(0), Fault);
    EXPECT_THROW(box.setScaleHeight(0), Fault);
    EXPECT_DOUBLE_EQ(box.ScaleWidth(), 10);
    EXPECT_DOUBLE_EQ(box.PixelX(12.5), 25);
    EXPECT_DOUBLE_EQ(box.PixelY(4), 40);
}

TEST_F(Surface, FilledBoxesCoverExactlyTheMappedRectangle)
{
    const struct {
        double x1, y1, x2, y2;
        std::set<std::pair<int, int>> expect;
    } cases[] = {
        {12, 1, 14, 3, rect(20, 10, 39, 29)},
        {14, 3, 12, 1, rect(20, 10, 39, 29)},     // corners in either order
        {18, 4, 30, 10, rect(80, 40, 99, 49)},    // clipped at the right and bottom edges
        {0, -3, 10.5, 0.25, rect(0, 0, 4, 2)},    // clipped at the left and top edges
        {12.04, 2, 12.06, 2, rect(20, 20, 20, 20)}, // thinner than a pixel: still one pixel
        {-1e300, -1e300, 1e300, 1e300, rect(0, 0, 99, 49)},
        {25, 1, 30, 2, {}}, // wholly outside
    };
    for (const auto& c : cases) {
        box.Cls();
        box.LineBox(c.x1, c.y1, c.x2, c.y2, kRed);
        EXPECT_EQ(pixels(kRed), c.expect) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
    }
    // A white box over a coloured one makes a bar.
    box.Cls();
    box.LineBox(10, 0, 11, 5, kRed);
    box.LineBox(10, 0, 11, 2, RGB(255, 255, 255));
    EXPECT_EQ(pixels(kRed), rect(0, 20, 9, 49));
}

TEST_F(Surface, SegmentsLandInTheMappedPixelsAndAreClipped)
{
    auto diagonal = [] {
        std::set<std::pair<int, int>> s;
        for (int i = 0; i <= 20; ++i)
            s.insert({i, i});
        return s;
    };
    const struct {
        double x1, y1, x2, y2;
        int style;
        std::set<std::pair<int, int>> expect;
    } cases[] = {
        {11, 2, 13, 2, 0, rect(10, 20, 30, 20)},
        {11.5, 0, 11.5, 1, 0, rect(15, 0, 15, 10)},
        {10, 0, 12, 2, 0, diagonal()},
        {10, 2.05, 1e300, 2.05, 0, rect(0, 20, 99, 20)}, // far end clipped
        {5, 1, 9.9, 1, 0, {}},                          // left of the surface
        {10, 5, 20, 5, 0, {}},                          // the bottom edge is outside
        {12, 1, 12, 1, 0, rect(20, 10, 20, 10)},        // a point
    };
    for (const auto& c : cases) {
        box.Cls();
        box.setDrawStyle(c.style);
        box.Line(c.x1, c.y1, c.x2, c.y2, kRed);
        EXPECT_EQ(pixels(kRed), c.expect) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
        EXPECT_DOUBLE_EQ(box.CurrentX(), c.x2);
    }

    box.Cls();
    box.setDrawStyle(2); // dotted: every other pixel
    box.Line(10, 1, 11, 1, kRed);
    std::set<std::pair<int, int>> dots;
    for (int x = 0; x <= 10; x += 2)
        dots.insert({x, 10});
    EXPECT_EQ(pixels(kRed), dots);
}

TEST_F(Surface, PSetPrintClsAndBackColour)
{
    box.PSet(10.05, 0.09, kRed);
    box.PSet(25, 1, kRed); // outside: nothing
    EXPECT_EQ(pixels(kRed), rect(0, 0, 0, 0));
    EXPECT_DOUBLE_EQ(box.CurrentX(), 25);

    box.Cls();
    EXPECT_DOUBLE_EQ(box.CurrentX(), 10);
    EXPECT_DOUBLE_EQ(box.CurrentY(), 0);
    EXPECT_TRUE(pixels(kRed).empty());

    box.setForeColor(RGB(0, 0, 255));
    box.PSet(12, 2, kBack); // places the current point
    box.Print("W");
    const auto ink = pixels(RGB(0, 0, 255));
    ASSERT_FALSE(ink.empty());
    for (auto [x, y] : ink) {
        EXPECT_GE(x, 20);
        EXPECT_GE(y, 20);
        EXPECT_LT(x, 40);
    }
    EXPECT_DOUBLE_EQ(box.CurrentX(), 10);
    EXPECT_GT(box.CurrentY(), 2);

    box.setBackColor(RGB(0, 0, 0)); // a new background clears the picture
    EXPECT_EQ(pixels(RGB(0, 0, 0)).size(), 100u * 50u);
}

TEST_F(Surface, PaintPictureMovesTheImageDownOneRowOfTheScale)
{
    box.LineBox(10, 0, 20, 0.5, kRed);  // rows 0..4
    box.PSet(15, 4.95, RGB(0, 255, 0)); // bottom row: leaves the picture
    box.PaintPicture(box.Image(), 10, 1);
    auto expect = rect(0, 0, 99, 4); // the top keeps its previous contents
    expect.merge(rect(0, 10, 99, 14));
    EXPECT_EQ(pixels(kRed), expect);
    EXPECT_TRUE(pixels(RGB(0, 255, 0)).empty());

    // One unit of two thirds of a pixel still moves the picture by a row,
    // as the waterfall's 512-unit scale needs.
    PictureBox wf;
    wf.create(&win, "WFall", 0, 900, 150, 300); // 10 x 20 px
    wf.setScaleHeight(30);
    wf.LineBox(0, 0, 150, 0.1, kRed); // row 0
    wf.PaintPicture(wf.Image(), 0, 1);
    EXPECT_EQ(FromQColor(wf.Image().pixelColor(5, 1)), kRed);
    EXPECT_NE(FromQColor(wf.Image().pixelColor(5, 2)), kRed);
}

TEST_F(Surface, WidgetShowsTheRetainedImageAndMouseIsInUserUnits)
{
    box.LineBox(12, 1, 14, 3, kRed);
    const QImage shown = box.widget()->grab().toImage();
    EXPECT_EQ(FromQColor(shown.pixelColor(25, 15)), kRed);
    EXPECT_EQ(FromQColor(shown.pixelColor(5, 5)), kBack);

    std::vector<std::vector<double>> moves, downs;
    box.onMouseMove = [&](int b, int s, double x, double y) { moves.push_back({double(b), double(s), x, y}); };
    box.onMouseDown = [&](int b, int s, double x, double y) { downs.push_back({double(b), double(s), x, y}); };
    QMouseEvent move(QEvent::MouseMove, QPointF(25, 15), box.widget()->mapToGlobal(QPointF(25, 15)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(box.widget(), &move);
    QTest::mousePress(box.widget(), Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
    QTest::mouseRelease(box.widget(), Qt::LeftButton, {}, QPoint(30, 40));
    QTest::mouseClick(box.widget(), Qt::RightButton, {}, QPoint(1, 2));
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.front(), (std::vector<double>{0, 0, 12.5, 1.5}));
    EXPECT_EQ(downs, (std::vector<std::vector<double>>{{1, 1, 13, 4}, {2, 0, 10.1, 0.2}}));
}
