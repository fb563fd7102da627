// Colours as the program keeps them: r + 256 g + 65536 b (red in the low
// byte), and the system colours named by their role.
#pragma once
#include <QColor>
#include <cstdint>

using Colour = std::int32_t;

constexpr Colour RGB(int r, int g, int b) { return r + 256 * g + 65536 * b; }
QColor ToQColor(Colour c);
Colour FromQColor(const QColor& c);

enum class SysColour { ActiveBorder, InactiveBorder, Menu, ActiveTitle, ButtonFace, WindowText };
// The palette colour closest in meaning to a system colour.
Colour SystemColour(SysColour role);
