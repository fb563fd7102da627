// Where a part of a real scroll bar (arrow, trough, thumb) lies, as its style draws it.
#pragma once
#include <QScrollBar>
#include <QStyleOptionSlider>

inline QRect ScrollBarPart(QScrollBar* b, QStyle::SubControl part)
{
    QStyleOptionSlider o;
    o.initFrom(b);
    o.subControls = QStyle::SC_All;
    o.orientation = b->orientation();
    o.minimum = b->minimum(), o.maximum = b->maximum(), o.sliderPosition = o.sliderValue = b->value();
    o.singleStep = b->singleStep(), o.pageStep = b->pageStep(), o.upsideDown = b->invertedAppearance();
    return b->style()->subControlRect(QStyle::CC_ScrollBar, &o, part, b);
}
