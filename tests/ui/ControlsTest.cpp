// The controls layer on real Qt widgets: change rules, combo clicks versus
// changes, scroll bars (mirrored ranges, arrows, trough, drag), frames,
// option groups, names, colours, fonts, timer, windows and the message box.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "engine/Fault.h"
#include "ui/controls/Controls.h"

namespace {

struct Host {
    Window win{"host"};
    Host()
    {
        win.setClientSize(6000, 4000);
        win.show();
    }
};

template <class F>
Fault::Kind faultOf(F&& f)
{
    try {
        f();
    } catch (const Fault& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no fault";
    return Fault::Kind::DivisionByZero;
}

// Where a scroll bar part lies on the real widget, as the style draws it.
QPoint partCentre(QScrollBar* b, QStyle::SubControl sc)
{
    QStyleOptionSlider opt;
    opt.initFrom(b);
    opt.subControls = QStyle::SC_All;
    opt.orientation = b->orientation();
    opt.minimum = b->minimum();
    opt.maximum = b->maximum();
    opt.sliderPosition = b->sliderPosition();
    opt.sliderValue = b->value();
    opt.singleStep = b->singleStep();
    opt.pageStep = b->pageStep();
    opt.upsideDown = b->invertedAppearance();
    if (b->orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    return b->style()->subControlRect(QStyle::CC_ScrollBar, &opt, sc, b).center();
}

} // namespace

TEST(ControlsChangeRules, CodeSetRunsHandlerNestedAndOnlyOnDifference)
{
    Host h;
    TextBox a, b;
    ScrollBar s;
    a.create(&h.win, "A", "1", 0, 0, 900, 300);
    b.create(&h.win, "B", "x", 0, 300, 900, 300);
    s.create(&h.win, "S", Qt::Horizontal, 0, 600, 1500, 255, 0, 100, 10);
    std::vector<std::string> trace;
    a.onChange = [&] {
        trace.push_back("A<");
        b.setText("from A");   // nested: B's rule runs before this returns
        s.setValue(20);
        trace.push_back(">A");
    };
    b.onChange = [&] { trace.push_back("B:" + b.Text().toStdString()); };
    s.onChange = [&] { trace.push_back("S:" + std::to_string(s.Value())); };

    a.setText("1"); // same text: nothing
    EXPECT_TRUE(trace.empty());
    a.setText("2");
    EXPECT_EQ(trace, (std::vector<std::string>{"A<", "B:from A", "S:20", ">A"}));
    trace.clear();
    a.setText("3"); // B and S already hold those values: only A runs
    EXPECT_EQ(trace, (std::vector<std::string>{"A<", ">A"}));
    trace.clear();
    QTest::keyClicks(a.edit(), "4"); // typing is a change too, once per keystroke
    EXPECT_EQ(trace, (std::vector<std::string>{"A<", ">A"}));
    EXPECT_EQ(a.Text(), "34");
}

TEST(ControlsCombo, ListChoiceIsClickTypingAndCodeAreChange)
{
    Host h;
    ComboBox c;
    c.create(&h.win, "SRate", "12000", 0, 0, 1095, 315, {"6000", "7200", "8100"});
    int clicks = 0, changes = 0;
    c.onClick = [&] { ++clicks; };
    c.onChange = [&] { ++changes; };
    EXPECT_EQ(c.Text(), "12000"); // the items did not replace the text
    EXPECT_EQ(c.ListIndex(), -1);

    struct Step {
        std::function<void()> act;
        QString text;
        int listIndex, clicks, changes;
    } steps[] = {
        {[&] { c.UserChoose(1); }, "7200", 1, 1, 0},
        {[&] { c.UserType("11025"); }, "11025", -1, 1, 1},
        {[&] { c.setText("11025"); }, "11025", -1, 1, 1}, // same text: nothing
        {[&] { c.setText("8100"); }, "8100", -1, 1, 2},   // set text is never a chosen entry
        {[&] { c.setListIndex(2); }, "8100", 2, 2, 2},
        {[&] { c.setListIndex(2); }, "8100", 2, 2, 2},    // unchanged: no click
        {[&] { c.AddItem("5000", 0); }, "8100", 3, 2, 2}, // the chosen entry moves along
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].act();
        EXPECT_EQ(c.Text(), steps[i].text) << "step " << i;
        EXPECT_EQ(c.ListIndex(), steps[i].listIndex) << "step " << i;
        EXPECT_EQ(clicks, steps[i].clicks) << "step " << i;
        EXPECT_EQ(changes, steps[i].changes) << "step " << i;
    }

    EXPECT_EQ(faultOf([&] { c.AddItem("x", 6); }), Fault::Kind::OutOfRange);
    EXPECT_EQ(faultOf([&] { c.setListIndex(4); }), Fault::Kind::OutOfRange);
    EXPECT_EQ(c.ListCount(), 4);
    EXPECT_EQ(c.List(0), "5000");

    c.Clear();
    EXPECT_EQ(c.ListCount(), 0);
    EXPECT_EQ(c.Text(), "8100");
    c.AddItem("first"); // QComboBox would show the first entry of an empty list
    EXPECT_EQ(c.Text(), "8100");
    EXPECT_EQ(changes, 2);
}

TEST(ControlsCombo, RealListSelectionAndReturnAreNotChanges)
{
    Host h;
    ComboBox c;
    c.create(&h.win, "FFTSize", "8192", 0, 0, 1095, 315, {"1024", "2048", "4096"});
    int clicks = 0, changes = 0, edits = 0;
    c.onClick = [&] { ++clicks; };
    c.onChange = [&] { ++changes; };
    QObject::connect(c.combo(), &QComboBox::editTextChanged, [&] { ++edits; });

    // Choose the third entry in the open list, as the keyboard does it.
    c.combo()->showPopup();
    QAbstractItemView* view = c.combo()->view();
    view->setCurrentIndex(view->model()->index(2, 0));
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(c.Text(), "4096");
    EXPECT_GE(edits, 1); // Qt did announce an edit-text change ...
    EXPECT_EQ(changes, 0); // ... which is not a Change
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(c.ListIndex(), 2);

    c.combo()->lineEdit()->setFocus();
    QTest::keyClick(c.combo()->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(c.combo()->lineEdit(), "6");
    EXPECT_EQ(c.Text(), "4096");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(c.ListIndex(), -1);
    QTest::keyClick(c.combo()->lineEdit(), Qt::Key_Return); // matches an entry, chooses nothing
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(c.ListIndex(), -1);
    EXPECT_EQ(c.ListCount(), 3);
}

TEST(ControlsScrollBar, StepsOnNormalAndMirroredRanges)
{
    Host h;
    struct Case {
        int min, max, value, small, large;
        std::function<void(ScrollBar&)> act;
        int expect;
    } cases[] = {
        {0, 100, 30, 1, 5, [](ScrollBar& s) { s.ArrowClick(true); }, 31},
        {0, 100, 30, 1, 5, [](ScrollBar& s) { s.TroughClick(false); }, 25},
        {0, 100, 98, 1, 5, [](ScrollBar& s) { s.TroughClick(true); }, 100}, // stops at Max
        {100, 0, 40, 1, 10, [](ScrollBar& s) { s.ArrowClick(true); }, 39},  // towards Max = down
        {100, 0, 40, 1, 10, [](ScrollBar& s) { s.TroughClick(false); }, 50},
        {100, 0, 95, 1, 10, [](ScrollBar& s) { s.TroughClick(false); }, 100},
        {100, 0, 40, 1, 10, [](ScrollBar& s) { s.DragTo(70); }, 70},
        {1, 255, 50, 3, 5, [](ScrollBar& s) { s.ArrowClick(false); }, 47},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        ScrollBar s;
        s.create(&h.win, "bar", Qt::Vertical, 0, 0, 255, 1335, c.min, c.max, c.value, c.small, c.large);
        int changes = 0;
        s.onChange = [&] { ++changes; };
        c.act(s);
        EXPECT_EQ(s.Value(), c.expect) << "case " << i;
        EXPECT_EQ(changes, 1) << "case " << i;
    }
}

TEST(ControlsScrollBar, OutOfRangeFaultsAndLeavesTheValue)
{
    Host h;
    ScrollBar s;
    s.create(&h.win, "DispThreshold", Qt::Vertical, 0, 0, 255, 1335, 100, 0, 40, 1, 10);
    int changes = 0;
    s.onChange = [&] { ++changes; };
    for (int bad : {101, -1, 1000})
        EXPECT_EQ(faultOf([&] { s.setValue(bad); }), Fault::Kind::OutOfRange) << bad;
    EXPECT_EQ(s.Value(), 40);
    EXPECT_EQ(changes, 0);
    s.setValue(100); // the Min end is the top of the widget
    EXPECT_EQ(s.bar()->value(), s.bar()->minimum());
    EXPECT_EQ(changes, 1);
}

TEST(ControlsScrollBar, RealMouseArrowTroughAndDrag)
{
    Host h;
    ScrollBar s;
    s.create(&h.win, "DispThreshold", Qt::Vertical, 0, 0, 255, 1335, 100, 0, 40, 1, 10);
    std::vector<int> seen;
    s.onChange = [&] { seen.push_back(s.Value()); };
    QScrollBar* b = s.bar();

    QTest::mouseClick(b, Qt::LeftButton, {}, partCentre(b, QStyle::SC_ScrollBarSubLine)); // top arrow
    ASSERT_EQ(seen, std::vector<int>{41});
    QTest::mouseClick(b, Qt::LeftButton, {}, partCentre(b, QStyle::SC_ScrollBarAddLine)); // bottom arrow
    ASSERT_EQ(seen, (std::vector<int>{41, 40}));
    QTest::mouseClick(b, Qt::LeftButton, {}, partCentre(b, QStyle::SC_ScrollBarAddPage)); // trough below the thumb
    ASSERT_EQ(seen, (std::vector<int>{41, 40, 30}));

    const QPoint thumb = partCentre(b, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(b, Qt::LeftButton, {}, thumb);
    for (int dy : {20, 30}) { // moves with the button held, straight to the bar
        const QPoint at = thumb + QPoint(0, dy);
        QMouseEvent e(QEvent::MouseMove, at, b->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(b, &e);
    }
    EXPECT_EQ(seen.size(), 3u); // no Change while the thumb is dragged
    QTest::mouseRelease(b, Qt::LeftButton, {}, thumb + QPoint(0, 30));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_LT(seen.back(), 30); // dragged down, towards Max 0
    EXPECT_EQ(s.Value(), seen.back());
}

TEST(ControlsFrame, DisablingTheFrameDisablesEverythingInside)
{
    Host h;
    Frame f;
    f.create(&h.win, "Frame1", "Signal", 255, 3450, 4000, 2670);
    TextBox t;
    ScrollBar s;
    CheckBox c;
    OptionButton o;
    t.create(f.client(), "CF", "1000", 120, 240, 900, 285, false, Align::Right);
    s.create(f.client(), "GB", Qt::Horizontal, 120, 600, 1200, 255, 0, 10, 5);
    c.create(f.client(), "TrackSig", "Track", 120, 900, 1500, 255);
    o.create(f.client(), "Wide", "Wide", 120, 1200, 1500, 255);
    EXPECT_EQ(t.widget()->mapTo(f.widget(), QPoint(0, 0)), QPoint(8, 16)); // measured from the frame's corner
    EXPECT_FALSE(t.edit()->hasFrame());
    EXPECT_TRUE(t.edit()->alignment() & Qt::AlignRight);

    f.setEnabled(false);
    for (Control* ctl : std::initializer_list<Control*>{&t, &s, &c, &o})
        EXPECT_FALSE(ctl->Enabled()) << ctl->Name().toStdString();
    int changes = 0, clicks = 0;
    s.onChange = [&] { ++changes; };
    c.onClick = [&] { ++clicks; };
    s.ArrowClick(true);
    QTest::mouseClick(c.box(), Qt::LeftButton);
    EXPECT_EQ(s.Value(), 5);
    EXPECT_EQ(c.Value(), 0);
    EXPECT_EQ(changes + clicks, 0);

    f.setEnabled(true);
    EXPECT_TRUE(s.Enabled());
    QTest::mouseClick(c.box(), Qt::LeftButton);
    EXPECT_EQ(c.Value(), 1);
    EXPECT_EQ(clicks, 1);
}

TEST(ControlsOptions, ExclusivePerContainerAndUnselectable)
{
    Host h;
    Frame f1, f2;
    f1.create(&h.win, "Frame3", "", 0, 0, 2000, 2000);
    f2.create(&h.win, "Frame4", "", 2000, 0, 2000, 2000);
    OptionButton a[3], b;
    const char* names[] = {"Wide", "SSB", "CW800"};
    std::vector<std::string> clicks;
    for (int i = 0; i < 3; ++i) {
        a[i].create(f1.client(), names[i], names[i], 100, 240 + 300 * i, 1500, 255);
        a[i].onClick = [&, i] { clicks.push_back(names[i]); };
    }
    b.create(f2.client(), "CentrePeaking", "Centre", 100, 240, 1500, 255);
    b.onClick = [&] { clicks.push_back("CentrePeaking"); };
    auto state = [&] {
        return std::vector<bool>{a[0].Value(), a[1].Value(), a[2].Value(), b.Value()};
    };
    EXPECT_EQ(state(), (std::vector<bool>{false, false, false, false})); // none at creation

    a[0].setValue(true);
    b.setValue(true); // another frame: a[0] stays
    a[1].setValue(true);
    EXPECT_EQ(state(), (std::vector<bool>{false, true, false, true}));
    a[1].setValue(false);
    EXPECT_EQ(state(), (std::vector<bool>{false, false, false, true}));
    QTest::mouseClick(a[2].button(), Qt::LeftButton);
    QTest::mouseClick(a[2].button(), Qt::LeftButton); // already selected: stays, no second click
    EXPECT_EQ(state(), (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(clicks, (std::vector<std::string>{"Wide", "CentrePeaking", "SSB", "CW800"}));
}

TEST(ControlsCheckBox, ClickOnEveryChangeByCodeOrUser)
{
    Host h;
    CheckBox c;
    c.create(&h.win, "UseStatNoise", "Use Statistics", 0, 0, 2500, 255);
    std::vector<int> seen;
    c.onClick = [&] { seen.push_back(c.Value()); };
    EXPECT_EQ(c.Value(), 0);
    c.setValue(1);
    c.setValue(1);
    c.setValue(0);
    QTest::mouseClick(c.box(), Qt::LeftButton);
    EXPECT_EQ(seen, (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(faultOf([&] { c.setValue(2); }), Fault::Kind::OutOfRange);
    EXPECT_EQ(c.Value(), 1);
}

TEST(ControlsCommon, NamesCaptionsTipsGeometryColoursFonts)
{
    Host h;
    Label l;
    TextBox t;
    CommandButton btn;
    ImageBox img;
    Frame f;
    l.create(&h.win, "Label1", "  <b>10dB /</b> ", 11520, 120, 615, 255, Align::Centre);
    t.create(&h.win, "LogFile", "Parlune.log", 100, 500, 2000, 285);
    btn.create(&h.win, "Stopit", "STOP ", 11550, 6420, 975, 735);
    img.create(&h.win, "WFCache", 2280, 4200, 1815, 1095);
    f.create(&h.win, "Logging", "Logging", 0, 1000, 3000, 1000);
    const std::pair<Control*, const char*> named[] = {
        {&l, "Label1"}, {&t, "LogFile"}, {&btn, "Stopit"}, {&img, "WFCache"}, {&f, "Logging"}};
    for (auto [c, name] : named) {
        EXPECT_EQ(c->Name(), name);
        EXPECT_EQ(c->widget()->objectName(), name);
    }
    EXPECT_EQ(l.Caption(), "  <b>10dB /</b> ");
    EXPECT_EQ(l.label()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(l.label()->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(btn.Caption(), "STOP ");
    EXPECT_FALSE(img.Visible());
    EXPECT_TRUE(l.Visible());

    EXPECT_EQ(btn.widget()->geometry(), QRect(770, 428, 65, 49));
    EXPECT_EQ((std::vector<int>{btn.Left(), btn.Top(), btn.Width(), btn.Height()}),
              (std::vector<int>{11550, 6420, 975, 735}));
    btn.setTop(6000);
    EXPECT_EQ(btn.widget()->y(), 400);

    int clicks = 0;
    btn.onClick = [&] { ++clicks; };
    btn.Click();
    btn.setEnabled(false);
    btn.Click();
    EXPECT_EQ(clicks, 1);

    t.setToolTipText(" Log file name ");
    EXPECT_EQ(t.ToolTipText(), " Log file name ");
    EXPECT_EQ(t.widget()->toolTip(), " Log file name ");

    f.setBackColor(RGB(255, 200, 150));
    EXPECT_EQ(f.BackColor(), 150 * 65536 + 200 * 256 + 255);
    EXPECT_EQ(f.widget()->palette().color(QPalette::Window), QColor(255, 200, 150));
    l.setForeColor(RGB(0, 0x40, 0));
    EXPECT_EQ(l.widget()->palette().color(QPalette::WindowText), QColor(0, 0x40, 0));

    const struct {
        FontSpec spec;
        const char* family;
    } fonts[] = {{{"MS Sans Serif", 8.25, false}, "Liberation Sans"},
                 {{"Arial", 12, true}, "Liberation Sans"},
                 {{"Arial", 9.75, true}, "Liberation Sans"}};
    for (const auto& f : fonts) {
        btn.setFont(f.spec);
        const QFontInfo info(btn.widget()->font());
        EXPECT_EQ(info.family(), f.family);
        EXPECT_DOUBLE_EQ(btn.widget()->font().pointSizeF(), f.spec.points);
        EXPECT_EQ(info.bold(), f.spec.bold);
    }
}

TEST(ControlsColour, PackingAndSystemRoles)
{
    EXPECT_EQ(RGB(255, 0, 0), 255);
    EXPECT_EQ(RGB(0, 0, 255), 16711680);
    EXPECT_EQ(ToQColor(0xC00000), QColor(0, 0, 0xC0));
    EXPECT_EQ(FromQColor(QColor(1, 2, 3)), RGB(1, 2, 3));
    const QPalette pal = QApplication::palette();
    const std::pair<SysColour, QPalette::ColorRole> roles[] = {
        {SysColour::ActiveBorder, QPalette::Window}, {SysColour::InactiveBorder, QPalette::Button},
        {SysColour::Menu, QPalette::Window},         {SysColour::ActiveTitle, QPalette::Highlight},
        {SysColour::ButtonFace, QPalette::Button},   {SysColour::WindowText, QPalette::WindowText}};
    for (auto [sys, role] : roles)
        EXPECT_EQ(ToQColor(SystemColour(sys)), pal.color(QPalette::Active, role)) << int(sys);
}

TEST(ControlsTimer, RunsOnlyWhileEnabledWithAnInterval)
{
    QObject owner;
    Timer t;
    t.create(&owner, "Timer1");
    int ticks = 0;
    t.onTimer = [&] { ++ticks; };
    EXPECT_EQ(t.timer()->objectName(), "Timer1");
    t.setInterval(5);
    EXPECT_FALSE(t.timer()->isActive());
    t.setEnabled(true);
    EXPECT_TRUE(t.timer()->isActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }));
    t.setInterval(0);
    EXPECT_FALSE(t.timer()->isActive());
    EXPECT_TRUE(t.Enabled());
    t.setInterval(1000);
    EXPECT_EQ(t.timer()->interval(), 1000);
    t.setEnabled(false);
    EXPECT_FALSE(t.timer()->isActive());
}

TEST(ControlsWindow, PlacementInTwipsAndCaption)
{
    Window w("monWF");
    w.setCaption("Full spectrum ");
    w.setClientSize(6960, 5760);
    w.setLeft(1500);
    w.setTop(3000);
    w.show();
    EXPECT_EQ(w.Caption(), "Full spectrum ");
    EXPECT_EQ(w.size(), QSize(464, 384));
    // Outer size = client size + the frame the platform reports.
    const QSize frame = w.frameGeometry().size() - w.size();
    EXPECT_EQ((std::vector<int>{w.Left(), w.Top(), w.Width(), w.Height()}),
              (std::vector<int>{1500, 3000, 6960 + 15 * frame.width(), 5760 + 15 * frame.height()}));
    w.setWidth(7500);
    EXPECT_EQ(w.Width(), 7500);
    EXPECT_EQ(w.width(), 500 - frame.width());
    EXPECT_EQ(QFontInfo(w.font()).family(), "Liberation Sans");
}

TEST(ControlsMsgBox, HookAnswersElseAModalOkBoxTitledParlune)
{
    std::vector<QString> seen;
    SetMsgBoxHook([&](const QString& t) { seen.push_back(t); });
    MsgBox(nullptr, "Wave input device didn't open!!", MsgIcon::Exclamation);
    EXPECT_EQ(seen, std::vector<QString>{"Wave input device didn't open!!"});
    SetMsgBoxHook({});

    QString title, text;
    int icon = -1;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    MsgBox(nullptr, "Noise measurement not possible, Signal bandwidth reset", MsgIcon::Exclamation);
    EXPECT_EQ(title, "Parlune");
    EXPECT_EQ(text, "Noise measurement not possible, Signal bandwidth reset");
    EXPECT_EQ(icon, QMessageBox::Warning);
}
