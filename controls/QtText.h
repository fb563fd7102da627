// QString forms of the locale-independent number texts, for control texts
// and captions.
#pragma once
#include <QString>

#include "engine/NumberText.h"

inline QString QSignedText(double x) { return QString::fromStdString(SignedText(x)); }
inline QString QFormatPattern(double x, const QString& pattern)
{
    return QString::fromStdString(FormatPattern(x, pattern.toStdString()));
}
