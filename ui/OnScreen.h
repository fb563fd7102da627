// Keeping the main window where the user can reach it.  Screens come and go
// between runs (a second monitor unplugged), so a stored place may lie on
// none of them.  Pixels, in the desktop's coordinates.
#pragma once
#include <QPoint>
#include <QRect>

// True when the window with this frame can be grabbed: a piece of its title
// bar (the frame's top 20 px) at least 50 px wide and 10 px high lies on
// one screen's usable area (the screen less its panels).
bool TitleBarOnScreen(const QRect& frame);
// The frame's top-left corner when its title bar is on a screen; otherwise
// where a first start puts the window, 100 twips (7 px) in from the top-left
// corner of the primary screen's usable area.  With no screen at all, the
// frame's own corner.
QPoint PlaceOnScreen(const QRect& frame);
