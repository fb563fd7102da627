// The S/N pictures, read pixel by pixel: a recording's, and several inputs'
// on one (in process) with the difference panel.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <tuple>
#include <utility>

#include "measure/SnPlot.h"
#include "support/MeasureRun.h"
#include "support/ToneNoise.h"
#include "support/WavFile.h"

namespace {

// A point a second from t0 to t1 at db(t); the first after a left-out stretch marks the gap.
template <class Db, class Out = bool (*)(int)>
std::vector<SnPoint> Every1s(int t0, int t1, Db db, Out out = [](int) { return false; })
{
    std::vector<SnPoint> v;
    bool gap = false;
    for (int t = t0; t <= t1; ++t) {
        if (out(t)) gap = true;
        else v.push_back({double(t), db(t), std::exchange(gap, false)});
    }
    return v;
}
auto Flat(double db) { return [db](int) { return db; }; }

bool Coloured(QRgb c) { return qRed(c) != qGreen(c) || qGreen(c) != qBlue(c); }

// A panel in its frame, and where a share of its width or height lies.
struct Panel {
    int left, right, top, bottom;
    int X(double share) const { return int(std::lround(left + share * (right - left))); }
    int Y(double share) const { return int(std::lround(bottom - share * (bottom - top))); }
};

// The panels top down, framed by the only pure black (lines more than a quarter black).
std::vector<Panel> Panels(const QImage& img)
{
    auto lines = [&img](int along, int across, bool columns) {
        std::vector<int> at;
        for (int i = 0, n = 0; i < along; ++i, n = 0) {
            for (int j = 0; j < across; ++j) n += img.pixel(columns ? i : j, columns ? j : i) == qRgb(0, 0, 0);
            if (n > across / 4) at.push_back(i);
        }
        return at;
    };
    const std::vector<int> cols = lines(img.width(), img.height(), true), rows = lines(img.height(), img.width(), false);
    std::vector<Panel> panels;
    for (std::size_t i = 0; cols.size() == 2 && rows.size() % 2 == 0 && i < rows.size(); i += 2)
        panels.push_back({cols[0], cols[1], rows[i], rows[i + 1]});
    return panels;
}

// The commonest colour along a row between two columns (exclusive).
QRgb Dominant(const QImage& img, int y, int x0, int x1)
{
    std::map<QRgb, int> n;
    for (int x = x0 + 1; x < x1; ++x) ++n[img.pixel(x, y)];
    return std::max_element(n.begin(), n.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

} // namespace

// A PNG of the asked size with each block's S/N where its value puts it: the
// frame spans 0 s .. the last block's end and the whole tens of dB around.
TEST(Plot, PutsEachBlockWhereItsValueBelongs)
{
    QTemporaryDir dir;
    auto v = ToneNoise{.Snr2500Db = 10}.Stereo16(180000); // 15 s at 10 dB, 15 s at 30 dB: 43 blocks
    const auto loud = ToneNoise{.Snr2500Db = 30, .Seed = 2}.Stereo16(180000);
    v.insert(v.end(), loud.begin(), loud.end());
    const QString png = dir.filePath("sn.png");
    const Outcome r = Measure({"--format", "csv", "--plot", png, "--plot-size", "640x360", WriteWav(dir, "step.wav", v)});
    ASSERT_EQ(std::pair(r.status, r.err), std::pair(0, QString()));
    const QImage img(png, "png"); // null unless a PNG
    ASSERT_EQ(img.size(), QSize(640, 360));
    const std::vector<Panel> panels = Panels(img);
    ASSERT_EQ(panels.size(), 1u);
    const Panel& p = panels[0];
    std::vector<double> sn; // per block, from the CSV
    for (const auto& row : Rows(r.out)) row.at("in_band") == "1" ? sn.push_back(row.at("sn_2500hz_db").toDouble()) : void();
    ASSERT_EQ(sn.size(), 43u);
    const auto [mn, mx] = std::minmax_element(sn.begin(), sn.end());
    const double lo = std::floor(*mn / 10) * 10, hi = std::max(std::ceil(*mx / 10) * 10, lo + 10);
    const double mean = std::accumulate(sn.begin(), sn.end(), 0.0) / 43;
    auto x = [&](double blockEnd) { return p.X(blockEnd / 43); };
    auto y = [&](double db) { return p.Y((db - lo) / (hi - lo)); };
    auto traceNear = [&](int px, int py) {
        for (int d = 0; d < 25; ++d)
            if (const QRgb c = img.pixel(std::clamp(px + d % 5 - 2, 0, 639), std::clamp(py + d / 5 - 2, 0, 359));
                qBlue(c) > 150 && qRed(c) < 80 && qGreen(c) < 120)
                return true;
        return false;
    };
    for (int b : {2, 10, 30, 42}) {
        SCOPED_TRACE(b);
        EXPECT_TRUE(traceNear(x(b + 1), y(sn[b])));
        EXPECT_FALSE(traceNear(x(b + 1), y(sn[b] + (b < 21 ? 20 : -20)))); // the other level
    }
    for (double mark : {*mn, mean, *mx}) { // a coloured line left of the first point
        int marked = 0;
        for (int px = p.left + 1; px < x(1) - 2; ++px) marked += Coloured(img.pixel(px, y(mark)));
        EXPECT_GT(marked, 3) << mark;
    }
}

TEST(ComparePlot, DifferencePairsEachPointWithTheNearestOverlappingBlock)
{
    auto ramp = [](int t) { return double(t); };
    const struct { const char* what; std::vector<SnPoint> a, b; std::size_t pairs; double mean, spread; int gaps; } cases[] = {
        {"same moments", Every1s(1, 10, Flat(23)), Every1s(1, 10, Flat(17)), 10, 6, 0, 0},
        {"b's blocks end 0.3 s later: the one overlapping most", Every1s(1, 10, ramp),
         [&] { auto b = Every1s(1, 10, ramp); for (SnPoint& p : b) p.TimeS += 0.3; return b; }(), 10, 0, 0, 0},
        {"b has no value for 4..6 s", Every1s(1, 10, Flat(20)), Every1s(1, 10, Flat(18), [](int t) { return t >= 4 && t <= 6; }),
         7, 2, 0, 1},
        {"b's blocks 3 s long: its spacing is the reach", Every1s(1, 12, Flat(20)),
         {{1, 10, false}, {4, 10, false}, {7, 10, false}, {10, 10, false}}, 12, 10, 0, 0},
        {"b every third second, gaps between: only its moments pair", Every1s(1, 12, Flat(20)),
         Every1s(1, 12, Flat(10), [](int t) { return t % 3 != 1; }), 4, 10, 0, 3},
        {"a's 3 s blocks span b's missing 5..6 s: line broken", {{1, 20, false}, {4, 20, false}, {7, 20, false}, {10, 20, false}},
         Every1s(1, 10, Flat(18), [](int t) { return t == 5 || t == 6; }), 4, 2, 0, 1},
        {"spread over n", Every1s(1, 10, [](int t) { return t % 2 ? 22.0 : 24.0; }), Every1s(1, 10, Flat(17)), 10, 6, 1, 0},
        {"no moment in common", Every1s(1, 5, Flat(20)), Every1s(100, 105, Flat(20)), 0, 0, 0, 0},
        {"b empty", Every1s(1, 5, Flat(20)), {}, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SnDifference d = DifferenceOf(c.a, c.b);
        EXPECT_EQ(d.Points.size(), c.pairs);
        EXPECT_NEAR(d.MeanDb, c.mean, 1e-9);
        EXPECT_NEAR(d.SpreadDb, c.spread, 1e-9);
        EXPECT_EQ(std::count_if(d.Points.begin(), d.Points.end(), [](const SnPoint& p) { return p.Gap; }), c.gaps);
    }
}

// Each series in its own colour at its level, a gap left open, a legend in
// each colour; the difference panel's mean and spread where they belong, or
// a note that nothing pairs; lines at the far ends of the data drawn inside
// the panels, never on a frame that would hide them (20 and 70 dB lie on
// whole tens, and A - B near +-50 dB at the ends of what used to be a fixed
// +-50 dB panel).
TEST(ComparePlot, SeriesLevelsDifferencePanelAndLinesAtTheEndsOfTheData)
{
    enum Kind { kLevels, kSpread, kNoPairs, kEnds };
    const struct { const char* what; std::vector<SnPoint> a, b; Kind kind; } cases[] = {
        {"A at 23 dB but 25 .. 35 s, B at 17 dB: axis 10 .. 30 dB", Every1s(0, 60, Flat(23), [](int t) { return t >= 25 && t <= 35; }),
         Every1s(0, 60, Flat(17)), kLevels},
        {"A - B alternates 5 and 7 dB", Every1s(0, 59, [](int t) { return t % 2 ? 22.0 : 24.0; }), Every1s(0, 59, Flat(17)), kSpread},
        {"no common blocks", Every1s(0, 29, Flat(23)), Every1s(31, 60, Flat(17)), kNoPairs},
        {"20 and 70 dB", Every1s(0, 60, Flat(20)), Every1s(0, 60, Flat(70)), kEnds},
        {"20.3 and 70 dB", Every1s(0, 60, Flat(20.3)), Every1s(0, 60, Flat(70)), kEnds},
        {"70 and 20.3 dB", Every1s(0, 60, Flat(70)), Every1s(0, 60, Flat(20.3)), kEnds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage img = DrawComparePlot({{"A", c.a}, {"B", c.b}}, 60, {640, 480}, "t", std::pair{0, 1});
        const std::vector<Panel> panels = Panels(img);
        ASSERT_EQ(panels.size(), 2u);
        const auto [left, right, top, bottom] = panels[1];
        if (c.kind == kLevels) {
            const Panel& p = panels[0];
            auto x = [&](double t) { return p.X(t / 60); };
            auto y = [&](double db) { return p.Y((db - 10) / 20); };
            auto near = [&](QRgb colour, int px, int py) { // or the first coloured pixel there
                for (int dy = -3; dy <= 3; ++dy)
                    if (colour ? img.pixel(px, py + dy) == colour : Coloured(img.pixel(px, py + dy))) return img.pixel(px, py + dy);
                return QRgb(0);
            };
            const QRgb a = near(0, x(10), y(23)), b = near(0, x(10), y(17));
            ASSERT_TRUE(a && b && a != b);
            for (double t : {3.0, 20.0, 45.0, 58.0})
                EXPECT_EQ(std::tuple(near(a, x(t), y(23)), near(a, x(t), y(17)), near(b, x(t), y(17)), near(b, x(t), y(23))),
                          std::tuple(a, 0u, b, 0u)) << t;
            for (double t : {27.0, 30.0, 33.0}) // A's gap stays open
                EXPECT_EQ(std::pair(near(a, x(t), y(23)), near(b, x(t), y(17))), std::pair(0u, b)) << t;
            for (QRgb colour : {a, b}) { // the legend: each colour also away from both lines
                int swatch = 0;
                for (int py = p.top + 1; py < p.bottom; ++py)
                    if (std::abs(py - y(23)) > 4 && std::abs(py - y(17)) > 4)
                        for (int px = p.left + 1; px < p.right; ++px) swatch += img.pixel(px, py) == colour;
                EXPECT_GT(swatch, 10) << std::hex << colour;
            }
            continue;
        }
        // The rows of a panel's column (away from the legend) in a colour, frame rows included; each strictly inside.
        auto rowsOf = [&](int x, int panel, auto is) {
            std::vector<int> at;
            for (int y = panels[panel].top; y <= panels[panel].bottom; ++y)
                if (is(img.pixel(x, y))) at.push_back(y);
            for (int y : at) EXPECT_TRUE(y > panels[panel].top + 1 && y < panels[panel].bottom - 1) << y << " not inside";
            return at;
        };
        for (double t : {20.0, 30.0, 40.0}) {
            if (c.kind != kEnds) break;
            const int x = panels[0].X(t / 60);
            std::vector<QRgb> colours; // of the S/N lines, top down
            for (int y : rowsOf(x, 0, Coloured))
                if (colours.empty() || colours.back() != img.pixel(x, y)) colours.push_back(img.pixel(x, y));
            EXPECT_EQ(colours.size(), 2u) << "both lines, apart at " << t;
            EXPECT_FALSE(rowsOf(x, 1, [](QRgb c) { return c == qRgb(90, 90, 90); }).empty()) << "the difference at " << t;
        }
        if (c.kind == kEnds) continue;
        // The axis: 0 .. 10 dB around the differences' 5 .. 7 dB.
        auto y = [&](double db) { return panels[1].Y(db / 10); };
        auto dark = [&](int y0, int y1, int x0, int x1) { // text (grey 51), not the difference line (grey 90)
            int n = 0;
            for (int py = y0; py <= y1; ++py)
                for (int px = x0; px <= x1; ++px) n += qGray(img.pixel(px, py)) < 70;
            return n;
        };
        EXPECT_GT(dark(panels[0].bottom + 1, top - 1, left, right), 20); // the caption between the panels
        const int mid = (top + bottom) / 2, third = (right - left) / 3;
        EXPECT_EQ(dark(mid - 8, mid + 2, left + third, right - third) > 20, c.kind == kNoPairs); // "no common blocks"
        if (c.kind == kNoPairs) {
            int coloured = 0; // no band, mean or line
            for (int py = top + 1; py < bottom; ++py)
                if (py < mid - 12 || py > mid + 6)
                    for (int px = left + 1; px < right; ++px) coloured += Coloured(img.pixel(px, py));
            EXPECT_EQ(coloured, 0);
            continue;
        }
        const QRgb mean = Dominant(img, y(6), left, right), band = Dominant(img, y(6.5), left, right);
        EXPECT_NE(band, qRgb(255, 255, 255));
        EXPECT_EQ(Dominant(img, y(5.5), left, right), band);
        for (double db : {8.5, 3.5, 1.0}) EXPECT_NE(Dominant(img, y(db), left, right), band) << db;
        EXPECT_NE(mean, band); // a line of its own at +6 dB
        for (double db : {6.5, 5.5, 1.0}) EXPECT_NE(Dominant(img, y(db), left, right), mean) << db;
    }
}
