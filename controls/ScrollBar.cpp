// Scroll bars.  The wrapper keeps the value in the program's terms; the
// QScrollBar works on a mirrored range when Min > Max, so that the Min end is
// always the widget's minimum (top or left) and the arrows, page clicks and
// thumb keep their usual feel.
#include <QScrollBar>
#include <algorithm>

#include "engine/Fault.h"
#include "controls/Controls.h"

namespace {
// Widget value <-> program value: identical, or mirrored when Min > Max.
int mirror(int min, int max, int v) { return min <= max ? v : min + max - v; }
} // namespace

void ScrollBar::create(QWidget* parent, const QString& name, Qt::Orientation o, int left, int top, int width,
                       int height, int min, int max, int value, int smallChange, int largeChange)
{
    auto* b = new QScrollBar(o, parent);
    b->setTracking(false);             // Change on release of a dragged thumb only
    b->setFocusPolicy(Qt::StrongFocus); // a tab stop, stepped by the arrow keys
    min_ = min;
    max_ = max;
    value_ = std::clamp(value, std::min(min, max), std::max(min, max));
    small_ = std::max(1, smallChange);
    large_ = std::max(1, largeChange);
    attach(b, parent, name, left, top, width, height);
    syncWidget();
    // valueChanged comes from arrow and trough clicks at once and from a
    // dragged thumb on release; changes the wrapper makes itself are ignored.
    QObject::connect(b, &QScrollBar::valueChanged, &guard_, [this](int w) {
        if (!syncing_)
            userSet(mirror(min_, max_, w));
    });
}

int ScrollBar::Value() const { return value_; }

void ScrollBar::setValue(int v)
{
    if (v < std::min(min_, max_) || v > std::max(min_, max_))
        throw Fault(Fault::Kind::OutOfRange, "scroll bar value outside Min..Max");
    if (v == value_)
        return;
    value_ = v;
    syncWidget();
    if (onChange)
        onChange();
}

int ScrollBar::Min() const { return min_; }
int ScrollBar::Max() const { return max_; }

void ScrollBar::setMin(int m)
{
    min_ = m;
    keepValueInRange();
}

void ScrollBar::setMax(int m)
{
    max_ = m;
    keepValueInRange();
}

// A new end moves the value inside the range, and that is a change.
void ScrollBar::keepValueInRange()
{
    const int v = std::clamp(value_, std::min(min_, max_), std::max(min_, max_));
    const bool changed = v != value_;
    value_ = v;
    syncWidget();
    if (changed && onChange)
        onChange();
}


int ScrollBar::SmallChange() const { return small_; }

void ScrollBar::setSmallChange(int s)
{
    if (s < 1)
        throw Fault(Fault::Kind::OutOfRange, "SmallChange must be at least 1");
    small_ = s;
    syncWidget();
}

int ScrollBar::LargeChange() const { return large_; }

void ScrollBar::setLargeChange(int l)
{
    if (l < 1)
        throw Fault(Fault::Kind::OutOfRange, "LargeChange must be at least 1");
    large_ = l;
    syncWidget();
}

QScrollBar* ScrollBar::bar() const { return static_cast<QScrollBar*>(w_); }

// The user actions go through the widget, exactly as its mouse handling does.
void ScrollBar::ArrowClick(bool towardsMax)
{
    if (!bar()->isEnabled())
        return;
    bar()->triggerAction(towardsMax ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
}

void ScrollBar::TroughClick(bool towardsMax)
{
    if (!bar()->isEnabled())
        return;
    bar()->triggerAction(towardsMax ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub);
}

void ScrollBar::DragTo(int v)
{
    if (!bar()->isEnabled())
        return;
    v = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
    bar()->setSliderDown(true);
    bar()->setSliderPosition(mirror(min_, max_, v));
    bar()->setSliderDown(false); // release: the value is taken now
}

void ScrollBar::syncWidget()
{
    syncing_ = true;
    bar()->setRange(std::min(min_, max_), std::max(min_, max_));
    bar()->setSingleStep(small_);
    bar()->setPageStep(large_);
    bar()->setValue(mirror(min_, max_, value_));
    syncing_ = false;
}

void ScrollBar::userSet(int v)
{
    if (v == value_)
        return;
    value_ = v;
    if (onChange)
        onChange();
}
