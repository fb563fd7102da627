#include "controls/Colour.h"

#include <QGuiApplication>
#include <QPalette>

QColor ToQColor(Colour c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

Colour FromQColor(const QColor& c)
{
    return RGB(c.red(), c.green(), c.blue());
}

// The desktop colour roles of the layout mapped to the application palette:
//   active border   -> Window     (the main window's background)
//   inactive border -> Button     (frames; light grey like the window)
//   menu            -> Window     (menus share the window grey)
//   active title    -> Highlight  (the accent colour of title bars)
//   button face     -> Button
//   window text     -> WindowText
Colour SystemColour(SysColour role)
{
    const QPalette pal = QGuiApplication::palette();
    switch (role) {
    case SysColour::ActiveBorder:
        return FromQColor(pal.color(QPalette::Active, QPalette::Window));
    case SysColour::InactiveBorder:
        return FromQColor(pal.color(QPalette::Active, QPalette::Button));
    case SysColour::Menu:
        return FromQColor(pal.color(QPalette::Active, QPalette::Window));
    case SysColour::ActiveTitle:
        return FromQColor(pal.color(QPalette::Active, QPalette::Highlight));
    case SysColour::ButtonFace:
        return FromQColor(pal.color(QPalette::Active, QPalette::Button));
    case SysColour::WindowText:
        return FromQColor(pal.color(QPalette::Active, QPalette::WindowText));
    }
    return 0;
}
