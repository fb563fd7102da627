// S/N against time as a picture: one line per run of consecutive values,
// time along the bottom, the S/N axis on whole tens of dB, and the minimum,
// mean and maximum marked; or several inputs' lines on shared axes, with the
// difference of two below.  Plain values in, so a recording's measurement and
// a live run (redrawn now and then) can both use it.  Needs a QGuiApplication
// for its text.
#pragma once
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>
#include <string>
#include <utility>
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

// One input's values for the comparison picture.
struct SnSeries {
    QString Name;
    std::vector<SnPoint> Points; // in time order
};

// A - B at the moments both have a value.
struct SnDifference {
    std::vector<SnPoint> Points;     // at A's times; Gap after an unpaired point of A or a gap in either
    double MeanDb = 0, SpreadDb = 0; // mean and standard deviation (over n) of Points; 0 when none
};

// Pairs each point of a with b's point nearest in time (the earlier on a tie),
// if nearer than the larger of the two series' median spacings between
// gapless neighbours: about a block, so the two blocks overlap in time; points
// at the same moment always pair.  a's other points are left out.
SnDifference DifferenceOf(const std::vector<SnPoint>& a, const std::vector<SnPoint>& b);

// One line per series over 0 .. endS seconds on one S/N axis (whole tens of dB
// around all values, at least 5% of the axis inside the frame), each in its
// own colour, with a legend of names in the corner covering the fewest points.
// With compare = {a, b} (indices into series) a panel below, on the same time
// axis, shows DifferenceOf(a, b) on a dB axis of whole tens around the
// differences and mean +- spread (the same margin; 0 marked when inside), its
// mean and mean +- spread, and a caption with both; "no common blocks" when
// nothing pairs.  Only the panels' frames are pure black.
QImage DrawComparePlot(const std::vector<SnSeries>& series, double endS, QSize size, const QString& title,
                       std::optional<std::pair<int, int>> compare);

// Writes the picture as a PNG file, replacing it; "" when written, else why
// not ("No space left on device").  Encoded in memory first, so only the file
// write can fail and libpng prints nothing of its own; written to a new file
// in the same folder and renamed over the old one, so a failed write leaves
// the old picture whole.  A target that is not a regular file (/dev/null) is
// written into directly, a symbolic link's file replaced with the link kept.
std::string WritePng(const QImage& img, const std::string& path);
