// The main window as created (before Form_Load), checked by what must hold
// for any layout: every control found by its one layout name, of the widget
// class its wrapper stands for, at its twips and inside its container, no
// interactive control on top of another, colours shown as kept, Tab reaching
// whatever takes input; and the exact facts that once went wrong.
#include <QComboBox>
#include <gtest/gtest.h>
#include <set>

#include "display/PictureBox.h"
#include "engine/Fault.h"
#include "ui/Parlune.h"

namespace {

template <class T> bool Is(Control* c) { return dynamic_cast<T*>(c) != nullptr; }

struct Kind { const char* qtClass; bool (*is)(Control*); bool interactive; }; // qtClass "": a plain widget
const Kind kKinds[] = {
    {"QLabel", Is<Label>, false},          {"QLineEdit", Is<TextBox>, true},    {"QScrollBar", Is<ScrollBar>, true},
    {"QComboBox", Is<ComboBox>, true},     {"QCheckBox", Is<CheckBox>, true},   {"QRadioButton", Is<OptionButton>, true},
    {"QGroupBox", Is<Frame>, false},       {"QPushButton", Is<CommandButton>, true}, {"", Is<PictureBox>, false},
};

struct Placed { Control* ctl; const Kind* kind; QWidget* in; }; // in: the container's client area

// The controls in a container and, through its frames, in theirs: every
// child widget must be the one its layout name finds.
void Collect(const Parlune& w, QWidget* in, std::vector<Placed>& out)
{
    for (QWidget* child : in->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        Control* ctl = nullptr;
        try { ctl = &w.Named(child->objectName()); } catch (const Fault&) {}
        ASSERT_TRUE(ctl && ctl->widget() == child) << "a widget the layout does not name: " << child->objectName().toStdString();
        const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds), [ctl](const Kind& k) { return k.is(ctl); });
        ASSERT_NE(kind, std::end(kKinds)) << ctl->Name().toStdString();
        out.push_back({ctl, &*kind, in});
        if (auto* f = dynamic_cast<Frame*>(ctl)) Collect(w, f->client(), out);
    }
}

TEST(Layout, EveryControlHoldsTheLayoutsRules)
{
    Parlune w;
    std::vector<Placed> all;
    Collect(w, &w, all);
    ASSERT_GT(all.size(), 60u);
    std::set<std::string> names, unstretched, disabled, hidden;
    for (const auto& [ctl, kind, in] : all) {
        const std::string name = ctl->Name().toStdString();
        SCOPED_TRACE(name);
        QWidget* wid = ctl->widget();
        EXPECT_TRUE(names.insert(name).second) << "a second control of this name";
        for (const Kind& k : kKinds) EXPECT_TRUE(!*k.qtClass || wid->inherits(k.qtClass) == (&k == kind)) << k.qtClass;
        EXPECT_EQ(wid->geometry(), QRect(ctl->Left() / 15, ctl->Top() / 15, ctl->Width() / 15, ctl->Height() / 15));
        EXPECT_TRUE(in->rect().contains(wid->geometry())) << "outside its container";
        // Tab stops on everything that takes input, pictures included, and nothing else.
        EXPECT_EQ(bool(wid->focusPolicy() & Qt::TabFocus), kind->interactive || kind->is == Is<PictureBox>);
        // Colours shown as kept: a picture's background, everything else's text.
        auto* picture = dynamic_cast<PictureBox*>(ctl);
        const auto role = Is<TextBox>(ctl) || Is<ComboBox>(ctl) ? QPalette::Text : QPalette::WindowText;
        EXPECT_EQ(FromQColor(picture ? picture->Image().pixel(0, 0) : wid->palette().color(QPalette::Active, role).rgb()),
                  picture ? ctl->BackColor() : ctl->ForeColor());
        auto* combo = dynamic_cast<ComboBox*>(ctl); // its own text, not a list entry instead
        EXPECT_TRUE(!combo || combo->combo()->currentText() == combo->Text());
        if (wid->font().stretch() != 92) unstretched.insert(name);
        if (!wid->isEnabled()) disabled.insert(name);
        if (wid->isHidden()) hidden.insert(name);
    }
    // Interactive controls never cover each other; one pixel column is shared
    // where the layout's option buttons meet ("1kHz CF Narrow", "CW 800Hz CF").
    for (const Placed& a : all)
        for (const Placed& b : all) {
            const QRect both = a.ctl->widget()->geometry().intersected(b.ctl->widget()->geometry());
            EXPECT_TRUE(&a >= &b || a.in != b.in || !a.kind->interactive || !b.kind->interactive || both.width() <= 1 ||
                        both.height() <= 1) << a.ctl->Name().toStdString() << " on " << b.ctl->Name().toStdString();
        }
    // A label lies beneath a picture box it overlaps (a later sibling is drawn
    // over an earlier one): "10dB /" once hid a corner of the plot.
    int overlaps = 0;
    for (const Placed& l : all)
        for (const Placed& p : all)
            if (Is<Label>(l.ctl) && Is<PictureBox>(p.ctl) && l.in == p.in &&
                l.ctl->widget()->geometry().intersects(p.ctl->widget()->geometry())) {
                const QObjectList& stack = l.in->children();
                ++overlaps;
                EXPECT_LT(stack.indexOf(l.ctl->widget()), stack.indexOf(p.ctl->widget())) << l.ctl->Name().toStdString();
            }
    EXPECT_EQ(overlaps, 2);
    // Arial captions at their own width: they once took the window's narrowing meant for MS Sans Serif.
    EXPECT_EQ(unstretched, (std::set<std::string>{"Start", "Stopit", "SNBin", "SN1Hz", "SN2k5Hz"}));
    // The threshold's thumb at the top is 100 (the Min end is the top: the
    // controls test); before a device is chosen and a run started.
    EXPECT_EQ(std::tuple(w.thresholdBar.Min(), w.thresholdBar.Max(), disabled, hidden),
              std::tuple(100, 0, std::set<std::string>{"Start", "LogToFile", "FBand"}, std::set<std::string>{"Stopit"}));
}

} // namespace
