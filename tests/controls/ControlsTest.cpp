// The controls layer on real Qt widgets: change rules, combo clicks versus
// changes, scroll bars, frames and option groups.  (Names: the layout test.)
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/Controls.h"
#include "engine/Fault.h"

namespace {

struct Host {
    Window win{"host"};
    Host() { win.setClientSize(6000, 4000), win.show(); }
};
using Trace = std::vector<std::string>;

bool FaultsOutOfRange(const std::function<void()>& f)
{
    try { f(); } catch (const Fault& e) { return e.kind() == Fault::Kind::OutOfRange; }
    return false;
}

TEST(Controls, ChangeRulesRunNestedOnceAndOnlyOnDifference)
{
    Host h;
    TextBox a, b;
    ScrollBar s;
    a.create(&h.win, "A", "1", 0, 0, 900, 300);
    b.create(&h.win, "B", "x", 0, 300, 900, 300);
    s.create(&h.win, "S", Qt::Horizontal, 0, 600, 1500, 255, 0, 100, 10);
    Trace trace;
    auto take = [&] { return std::exchange(trace, {}); };
    a.onChange = [&] { trace.push_back("A<"), b.setText("from A"), s.setValue(20), trace.push_back(">A"); };
    b.onChange = [&] { trace.push_back("B:" + b.Text().toStdString()); };
    s.onChange = [&] { trace.push_back("S:" + std::to_string(s.Value())); };
    a.setText("1"); // same text: nothing
    a.setText("2");
    EXPECT_EQ(take(), (Trace{"A<", "B:from A", "S:20", ">A"}));
    a.setText("3"); // B and S already hold those values
    EXPECT_EQ(take(), (Trace{"A<", ">A"}));
    QTest::keyClicks(a.edit(), "4"); // typing is a Change
    EXPECT_EQ(std::pair(take(), a.Text()), std::pair(Trace{"A<", ">A"}, QString("34")));
}

TEST(Controls, ComboListChoiceIsClickTypingIsChange)
{
    Host h;
    ComboBox c;
    c.create(&h.win, "FFTSize", "8192", 0, 0, 1095, 315, {"1024", "2048", "4096"});
    int clicks = 0, changes = 0;
    c.onClick = [&] { ++clicks; };
    c.onChange = [&] { ++changes; };
    auto state = [&] { return std::tuple(c.Text(), c.ListIndex(), clicks, changes); };
    EXPECT_EQ(state(), std::tuple(QString("8192"), -1, 0, 0));
    c.UserChoose(1);
    EXPECT_EQ(state(), std::tuple(QString("2048"), 1, 1, 0));
    c.UserType("11025");
    EXPECT_EQ(state(), std::tuple(QString("11025"), -1, 1, 1));
    c.setText("11025"); // same text: nothing
    c.setListIndex(0);
    EXPECT_EQ(state(), std::tuple(QString("1024"), 0, 2, 1));
    EXPECT_TRUE(FaultsOutOfRange([&] { c.setListIndex(3); }) && FaultsOutOfRange([&] { c.AddItem("x", -2); }));

    // A real selection in the open list: Qt announces an edit-text change, yet it is a Click.
    c.combo()->showPopup();
    QAbstractItemView* view = c.combo()->view();
    view->setCurrentIndex(view->model()->index(2, 0));
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(state(), std::tuple(QString("4096"), 2, 3, 1));
    QTest::keyClicks(c.combo()->lineEdit(), "6");
    EXPECT_EQ(state(), std::tuple(QString("40966"), -1, 3, 2));
    c.AddItem("8192"); // at the end; the text stays
    EXPECT_EQ(std::pair(c.List(3), c.Text()), std::pair(QString("8192"), QString("40966")));
    c.setListIndex(0), c.setListIndex(-1); // no entry chosen: an empty text
    EXPECT_EQ(std::pair(c.Text(), c.ListIndex()), std::pair(QString(), -1));
}

// Steps and drags, Min > Max counting down, one Change each; a value outside
// the range faults and changes nothing; a new end moves the value inside.
TEST(Controls, ScrollBarStepsRangesAndFaults)
{
    Host h;
    const struct { int min, max, value, small, large; std::function<void(ScrollBar&)> act; int expect; } cases[] = {
        {0, 100, 30, 1, 5, [](ScrollBar& s) { s.ArrowClick(true); }, 31},
        {0, 100, 98, 1, 5, [](ScrollBar& s) { s.TroughClick(true); }, 100},
        {100, 0, 40, 1, 10, [](ScrollBar& s) { s.ArrowClick(true); }, 39},
        {100, 0, 95, 1, 10, [](ScrollBar& s) { s.TroughClick(false); }, 100},
        {100, 0, 40, 1, 10, [](ScrollBar& s) { s.DragTo(70); }, 70},
        {1, 255, 50, 3, 5, [](ScrollBar& s) { s.ArrowClick(false); }, 47},
        {0, 100, 30, 1, 5, [](ScrollBar& s) { s.setLargeChange(7), s.TroughClick(true); }, 37},
        {0, 100, 30, 1, 5, [](ScrollBar& s) { s.setMin(40); }, 40},
    };
    for (const auto& c : cases) {
        ScrollBar s;
        s.create(&h.win, "bar", Qt::Vertical, 0, 0, 255, 1335, c.min, c.max, c.value, c.small, c.large);
        int changes = 0;
        s.onChange = [&] { ++changes; };
        c.act(s);
        EXPECT_EQ(std::pair(s.Value(), changes), std::pair(c.expect, 1));
        for (int bad : {std::max(s.Min(), s.Max()) + 1, std::min(s.Min(), s.Max()) - 1})
            EXPECT_TRUE(FaultsOutOfRange([&] { s.setValue(bad); })) << bad;
        EXPECT_EQ(std::pair(s.Value(), changes), std::pair(c.expect, 1)) << c.expect;
    }
}

TEST(Controls, ScrollBarRealMouseArrowTroughAndDragRelease)
{
    Host h;
    ScrollBar s;
    s.create(&h.win, "DispThreshold", Qt::Vertical, 0, 0, 255, 1335, 100, 0, 40, 1, 10);
    std::vector<int> seen;
    s.onChange = [&] { seen.push_back(s.Value()); };
    QScrollBar* b = s.bar();
    auto part = [b](QStyle::SubControl part) { // where the style draws it
        QStyleOptionSlider o;
        o.initFrom(b);
        o.subControls = QStyle::SC_All;
        o.orientation = b->orientation();
        o.minimum = b->minimum(), o.maximum = b->maximum(), o.sliderPosition = o.sliderValue = b->value();
        o.singleStep = b->singleStep(), o.pageStep = b->pageStep(), o.upsideDown = b->invertedAppearance();
        return b->style()->subControlRect(QStyle::CC_ScrollBar, &o, part, b).center();
    };
    for (auto p : {QStyle::SC_ScrollBarSubLine, QStyle::SC_ScrollBarAddLine, QStyle::SC_ScrollBarAddPage})
        QTest::mouseClick(b, Qt::LeftButton, {}, part(p));
    ASSERT_EQ(seen, (std::vector<int>{41, 40, 30})); // top arrow, bottom arrow, trough below the thumb
    const QPoint thumb = part(QStyle::SC_ScrollBarSlider), to = thumb + QPoint(0, 30);
    QTest::mousePress(b, Qt::LeftButton, {}, thumb);
    QMouseEvent move(QEvent::MouseMove, to, b->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &move);
    EXPECT_EQ(seen.size(), 3u); // no Change while dragging
    QTest::mouseRelease(b, Qt::LeftButton, {}, to);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_LT(seen.back(), 30); // dragged down, towards Max 0
}

TEST(Controls, FrameDisablesChildrenOptionsExclusive)
{
    Host h;
    Frame f1, f2;
    f1.create(&h.win, "Frame3", "Filters", 0, 0, 3000, 2000);
    f2.create(&h.win, "Frame4", "", 3000, 0, 2000, 2000);
    OptionButton o[3], other;
    const char* names[] = {"Wide", "SSB", "CW800"};
    Trace clicks;
    for (int i = 0; i < 3; ++i) {
        o[i].create(f1.client(), names[i], names[i], 100, 240 + 300 * i, 1500, 255);
        o[i].onClick = [&, i] { clicks.push_back(names[i]); };
    }
    other.create(f2.client(), "CentrePeaking", "Centre", 100, 240, 1500, 255);
    ScrollBar s;
    CheckBox c;
    s.create(f1.client(), "GB", Qt::Horizontal, 120, 1500, 1200, 255, 0, 10, 5);
    c.create(f1.client(), "TrackSig", "Track", 120, 1800, 1500, 255);

    auto state = [&] { return std::vector<bool>{o[0].Value(), o[1].Value(), o[2].Value(), other.Value()}; };
    o[0].setValue(true);
    other.setValue(true); // another frame: o[0] stays
    o[1].setValue(true);
    EXPECT_EQ(state(), (std::vector<bool>{false, true, false, true}));
    QTest::mouseClick(o[2].button(), Qt::LeftButton);
    QTest::mouseClick(o[2].button(), Qt::LeftButton); // already selected: a Click all the same
    o[2].setValue(true);                              // from code, no change: silent
    EXPECT_EQ(state(), (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(clicks, (Trace{"Wide", "SSB", "CW800", "CW800"}));

    f1.setEnabled(false);
    EXPECT_EQ(std::vector({s.Enabled(), c.Enabled(), o[0].Enabled(), other.Enabled()}), std::vector({false, false, false, true}));
    int changes = 0;
    s.onChange = [&] { ++changes; };
    s.ArrowClick(true);
    QTest::mouseClick(c.box(), Qt::LeftButton);
    EXPECT_EQ(std::tuple(s.Value(), c.Value(), changes), std::tuple(5, 0, 0));
    f1.setEnabled(true);
    QTest::mouseClick(c.box(), Qt::LeftButton);
    EXPECT_EQ(c.Value(), 1);
}

} // namespace
