// S/N against time as a picture: one line per run of consecutive values,
// time along the bottom, the S/N axis on whole tens of dB, and the minimum,
// mean and maximum marked.  Plain values in, so a recording's measurement and
// a live run (redrawn now and then) can both use it.  Needs a QGuiApplication
// for its text.
#pragma once
#include <QImage>
#include <QSize>
#include <QString>

#include <string>
#include <vector>

struct SnPoint {
    double TimeS;  // seconds from the start, the moment the value was known
    double SnDb;   // S/N in 2500 Hz
    bool Gap;      // no value before this one since the previous point (peak outside the band)
};

// Smallest and largest picture, pixels.
inline constexpr int kSnPlotMinWidth = 320, kSnPlotMinHeight = 200;
inline constexpr int kSnPlotMaxWidth = 8000, kSnPlotMaxHeight = 4000;

// The picture of the points over 0 .. endS seconds.  The plot area is framed
// in pure black (nothing else is drawn pure black): its left edge is 0 s, its
// right edge endS, its bottom and top edges the lower and upper whole ten of
// dB around the values (at least 10 dB apart).
QImage DrawSnPlot(const std::vector<SnPoint>& points, double endS, QSize size, const QString& title);

// Writes the picture as a PNG file, replacing it; "" when written, else why
// not.  Encoded in memory first, so only the file write can fail and libpng
// prints nothing of its own.
std::string WritePng(const QImage& img, const std::string& path);
