#include "ui/OnScreen.h"

#include <QGuiApplication>
#include <QScreen>

#include "controls/Controls.h"

namespace {
constexpr int kTitleBarPx = 20, kGripWidthPx = 50, kGripHeightPx = 10;
} // namespace

bool TitleBarOnScreen(const QRect& frame)
{
    const QRect titleBar(frame.topLeft(), QSize(frame.width(), kTitleBarPx));
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = titleBar.intersected(screen->availableGeometry());
        if (shown.width() >= kGripWidthPx && shown.height() >= kGripHeightPx)
            return true;
    }
    return false;
}

QPoint PlaceOnScreen(const QRect& frame)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary || TitleBarOnScreen(frame))
        return frame.topLeft();
    const int inset = TwipsToPx(100);
    return primary->availableGeometry().topLeft() + QPoint(inset, inset);
}
