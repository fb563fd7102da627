#include "measure/SnPlot.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "measure/WriteAll.h"

namespace {

// Text is never pure black, so the frame can be told from it.
const QColor kText(51, 51, 51);
const QColor kGrid(222, 222, 222);
const QColor kTrace(20, 70, 200);
const QColor kMean(0, 140, 60);

// Okabe and Ito's colours, told apart with the common colour-vision
// deficiencies; their black is left out for the frame, yellow comes last as
// the faintest on white.
const std::array<QColor, 7> kSeriesColours{{{0, 114, 178}, {213, 94, 0}, {0, 158, 115}, {204, 121, 167},
                                            {230, 159, 0}, {86, 180, 233}, {240, 228, 66}}};

const QString kMinus = QStringLiteral(u"\u2212");

// A tick step of 1, 2 or 5 times a power of ten giving at most maxTicks steps over span.
double NiceStep(double span, int maxTicks)
{
    const double raw = span / std::max(maxTicks, 1);
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= raw) return m * p;
    return 10 * p;
}

QString Decimal(double x, int decimals) { return QString::number(x, 'f', decimals); }

// With its sign, never "-0.0".
QString Signed(double x)
{
    const double r = std::round(x * 10) / 10;
    return (r > 0 ? QStringLiteral("+") : QString()) + Decimal(r == 0 ? 0.0 : r, 1);
}

// The lower and upper whole ten of dB around mn .. mx, at least 10 dB apart; 0 .. 10 with no values (mn > mx).
std::pair<double, double> WholeTens(double mn, double mx)
{
    if (mn > mx) return {0, 10};
    const double lo = std::floor(mn / 10) * 10;
    return {lo, std::max(std::ceil(mx / 10) * 10, lo + 10)};
}

// WholeTens, widened by tens until every value lies at least 5% of the axis
// inside it: a line at the far end of the values is never drawn on the frame.
std::pair<double, double> WholeTensInside(double mn, double mx)
{
    auto [lo, hi] = WholeTens(mn, mx);
    if (!std::isfinite(mn) || !std::isfinite(mx) || mn > mx) return {lo, hi};
    constexpr double kMargin = 0.05;
    for (int i = 0; i < 20; ++i) { // two or three steps; a bound for absurd values
        if (mx > hi - kMargin * (hi - lo)) hi += 10;
        else if (mn < lo + kMargin * (hi - lo)) lo -= 10;
        else break;
    }
    return {lo, hi};
}

// A framed plot area, pixels, showing 0 .. EndS seconds across and Lo .. Hi dB up.
struct Panel {
    int Left, Right, Top, Bottom;
    double EndS, Lo, Hi;
    double X(double t) const { return Left + t / EndS * (Right - Left); }
    double Y(double db) const { return Bottom - (db - Lo) / (Hi - Lo) * (Bottom - Top); }
};

QImage Blank(QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

void SetFont(QPainter& g, QSize size)
{
    QFont font = g.font();
    font.setPixelSize(std::clamp(size.height() / 30, 11, 16));
    g.setFont(font);
}

// Grid and labels on a 1, 2 or 5 dB multiple, the axis title up the left side.
void DrawDbAxis(QPainter& g, const Panel& p, const QString& title)
{
    const QFontMetrics fm(g.font());
    const double dbStep = NiceStep(p.Hi - p.Lo, std::max(2, (p.Bottom - p.Top) / (2 * fm.height())));
    for (double v = p.Lo; v <= p.Hi + 1e-9; v += dbStep) {
        const int py = static_cast<int>(std::lround(p.Y(v)));
        g.setPen(kGrid);
        g.drawLine(p.Left, py, p.Right, py);
        g.setPen(kText);
        const QString s = Decimal(v, 0);
        g.drawText(p.Left - 6 - fm.horizontalAdvance(s), py + fm.ascent() / 2 - 1, s);
    }
    g.setPen(kText);
    g.save();
    g.translate(4 + fm.ascent(), (p.Top + p.Bottom) / 2.0);
    g.rotate(-90);
    g.drawText(-fm.horizontalAdvance(title) / 2, 0, title);
    g.restore();
}

// Grid in seconds, minutes or hours as the length asks; with labels, the numbers and the axis title below.
void DrawTimeAxis(QPainter& g, const Panel& p, bool labels)
{
    const QFontMetrics fm(g.font());
    const auto [unit, unitName] = p.EndS <= 180 ? std::pair{1.0, "s"} : p.EndS <= 3 * 3600 ? std::pair{60.0, "min"}
                                                                                         : std::pair{3600.0, "h"};
    const double tStep = NiceStep(p.EndS / unit, std::max(2, (p.Right - p.Left) / 70));
    const int tDecimals = tStep < 1 ? static_cast<int>(std::ceil(-std::log10(tStep))) : 0;
    for (double v = 0; v * unit <= p.EndS * (1 + 1e-9); v += tStep) {
        const int px = static_cast<int>(std::lround(p.X(v * unit)));
        g.setPen(kGrid);
        g.drawLine(px, p.Top, px, p.Bottom);
        if (!labels) continue;
        g.setPen(kText);
        const QString s = Decimal(v, tDecimals);
        g.drawText(px - fm.horizontalAdvance(s) / 2, p.Bottom + 4 + fm.ascent(), s);
    }
    if (!labels) return;
    g.setPen(kText);
    const QString timeTitle = QStringLiteral("Time (%1)").arg(QLatin1String(unitName));
    g.drawText((p.Left + p.Right - fm.horizontalAdvance(timeTitle)) / 2, p.Bottom + 8 + fm.height() + fm.ascent(),
               timeTitle);
}

void DrawFrame(QPainter& g, const Panel& p)
{
    g.setPen(Qt::black);
    g.drawRect(QRect(p.Left, p.Top, p.Right - p.Left, p.Bottom - p.Top));
}

// A line of text in the middle of the panel.
void DrawNote(QPainter& g, const Panel& p, const QString& s)
{
    g.setPen(kText);
    g.drawText((p.Left + p.Right - QFontMetrics(g.font()).horizontalAdvance(s)) / 2, (p.Top + p.Bottom) / 2, s);
}

// A line through each run of consecutive points, a dot for a lone one.
void DrawRuns(QPainter& g, const Panel& p, const std::vector<SnPoint>& points, const QPen& pen)
{
    g.setPen(pen);
    QPolygonF run;
    auto flush = [&] {
        if (run.size() == 1) g.drawPoint(run.front());
        else if (run.size() > 1) g.drawPolyline(run);
        run.clear();
    };
    for (const SnPoint& q : points) {
        if (q.Gap) flush();
        run << QPointF(p.X(q.TimeS), p.Y(q.SnDb));
    }
    flush();
}

int TraceWidth(QSize size) { return std::max(1, size.height() / 300); }

// Points of the series' lines (vertices and a few along each segment) inside r.
int PointsInside(const QRectF& r, const Panel& p, const std::vector<SnSeries>& series)
{
    int n = 0;
    for (const SnSeries& s : series)
        for (std::size_t i = 0; i < s.Points.size(); ++i) {
            const QPointF q(p.X(s.Points[i].TimeS), p.Y(s.Points[i].SnDb));
            n += r.contains(q);
            if (i == 0 || s.Points[i].Gap) continue;
            const QPointF prev(p.X(s.Points[i - 1].TimeS), p.Y(s.Points[i - 1].SnDb));
            for (double f : {0.2, 0.4, 0.6, 0.8}) n += r.contains(prev + f * (q - prev));
        }
    return n;
}

// A swatch of each series' line and its name, in the corner of the panel that
// hides the fewest points: top right, top left, bottom right, bottom left on a tie.
void DrawLegend(QPainter& g, const Panel& p, const std::vector<SnSeries>& series, const std::vector<QPen>& pens)
{
    const QFontMetrics fm(g.font());
    const int lineH = fm.height(), pad = 5, swatch = 2 * lineH, inset = 6;
    const int maxName = std::max(lineH, (p.Right - p.Left) / 2 - swatch - 3 * pad);
    QStringList names;
    int nameW = 0;
    for (const SnSeries& s : series) {
        const QString name = (s.Name.isEmpty() ? QStringLiteral("(unnamed)") : s.Name) +
                             (s.Points.empty() ? QStringLiteral(" (no S/N)") : QString());
        names << fm.elidedText(name, Qt::ElideRight, maxName);
        nameW = std::max(nameW, fm.horizontalAdvance(names.back()));
    }
    const QSizeF box(3 * pad + swatch + nameW, 2 * pad + lineH * static_cast<int>(series.size()));
    const double l = p.Left + inset, r = p.Right - inset - box.width();
    const double t = p.Top + inset, b = p.Bottom - inset - box.height();
    QRectF best;
    int fewest = std::numeric_limits<int>::max();
    for (const QPointF corner : {QPointF(r, t), QPointF(l, t), QPointF(r, b), QPointF(l, b)}) {
        const QRectF at(corner, box);
        if (const int n = PointsInside(at.adjusted(-2, -2, 2, 2), p, series); n < fewest) fewest = n, best = at;
    }
    g.setPen(QColor(170, 170, 170));
    g.setBrush(Qt::white);
    g.drawRect(best);
    g.setBrush(Qt::NoBrush);
    for (std::size_t i = 0; i < series.size(); ++i) {
        const double mid = best.top() + pad + (static_cast<double>(i) + 0.5) * lineH;
        QPen pen = pens[i];
        pen.setWidth(std::max(3, pen.width()));
        g.setPen(pen);
        g.drawLine(QPointF(best.left() + pad, mid), QPointF(best.left() + pad + swatch, mid));
        g.setPen(kText);
        g.drawText(QPointF(best.left() + 2 * pad + swatch, mid + fm.ascent() / 2.0 - 1), names[i]);
    }
}

// Median time between consecutive points with no gap between: the block
// spacing; 0 when there is none.
double MedianSpacing(const std::vector<SnPoint>& points)
{
    std::vector<double> d;
    for (std::size_t i = 1; i < points.size(); ++i)
        if (!points[i].Gap) d.push_back(points[i].TimeS - points[i - 1].TimeS);
    if (d.empty()) return 0;
    std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
    return d[d.size() / 2];
}

} // namespace

QImage DrawSnPlot(const std::vector<SnPoint>& points, double endS, QSize size, const QString& title)
{
    QImage img = Blank(size);
    QPainter g(&img);
    SetFont(g, size);
    const QFontMetrics fm(g.font());
    const int lineH = fm.height();

    const auto byDb = [](const SnPoint& a, const SnPoint& b) { return a.SnDb < b.SnDb; };
    const auto [mnIt, mxIt] = std::minmax_element(points.begin(), points.end(), byDb);
    const auto [lo, hi] = points.empty() ? WholeTens(1, 0) : WholeTens(mnIt->SnDb, mxIt->SnDb);
    if (!(endS > 0)) endS = 1;

    const int left = fm.horizontalAdvance(QStringLiteral("-100")) + lineH + 12;
    const int right = size.width() - (fm.horizontalAdvance(QStringLiteral("mean -100.0 dB")) + 12);
    const Panel p{left, right, lineH + 12, size.height() - (2 * lineH + 12), endS, lo, hi};

    DrawDbAxis(g, p, QStringLiteral("S/N in 2500 Hz (dB)"));
    DrawTimeAxis(g, p, true);
    g.setPen(kText);
    g.drawText(left, 6 + fm.ascent(), title);
    DrawFrame(g, p);

    if (points.empty()) {
        DrawNote(g, p, QStringLiteral("no S/N: the peak was never in the signal band"));
        return img;
    }

    // Minimum, mean and maximum: dashed lines across, labels in the right margin.
    double sum = 0;
    for (const SnPoint& q : points) sum += q.SnDb;
    const double mean = sum / static_cast<double>(points.size());
    const std::array<std::tuple<const char*, double, QColor>, 3> marks{{
        {"max", mxIt->SnDb, QColor(200, 30, 30)}, {"mean", mean, kMean}, {"min", mnIt->SnDb, QColor(210, 120, 0)}}};
    double labelY = -1e9; // keeps the labels from overlapping, top down
    for (const auto& [name, v, colour] : marks) {
        QPen pen(colour);
        pen.setStyle(Qt::DashLine);
        g.setPen(pen);
        const double py = std::round(p.Y(v));
        g.drawLine(QPointF(left + 1, py), QPointF(right - 1, py));
        labelY = std::max(py + fm.ascent() / 2.0 - 1, labelY + lineH);
        g.setPen(colour);
        g.drawText(QPointF(right + 6, labelY), QStringLiteral("%1 %2 dB").arg(QLatin1String(name), Decimal(v, 1)));
    }

    QPen trace(kTrace);
    trace.setWidth(TraceWidth(size));
    DrawRuns(g, p, points, trace);
    return img;
}

SnDifference DifferenceOf(const std::vector<SnPoint>& a, const std::vector<SnPoint>& b)
{
    SnDifference d;
    if (b.empty()) return d;
    const double reach = std::max(MedianSpacing(a), MedianSpacing(b));
    const double sameS = 1e-6; // one moment, whatever the spacing
    std::size_t prevJ = 0;
    bool prevPaired = false;
    for (const SnPoint& q : a) {
        // b's nearest point: the first at or after q, or the one before it.
        auto j = static_cast<std::size_t>(
            std::lower_bound(b.begin(), b.end(), q.TimeS, [](const SnPoint& x, double t) { return x.TimeS < t; }) -
            b.begin());
        if (j == b.size() || (j > 0 && q.TimeS - b[j - 1].TimeS <= b[j].TimeS - q.TimeS)) --j;
        const double apart = std::abs(b[j].TimeS - q.TimeS);
        if (!(apart < reach || apart <= sameS)) {
            prevPaired = false;
            continue;
        }
        bool joined = prevPaired && !q.Gap; // and no gap in b since the previous pair
        for (std::size_t k = prevJ + 1; joined && k <= j; ++k) joined = !b[k].Gap;
        d.Points.push_back({q.TimeS, q.SnDb - b[j].SnDb, !joined && !d.Points.empty()});
        prevJ = j;
        prevPaired = true;
    }
    if (d.Points.empty()) return d;
    const double n = static_cast<double>(d.Points.size());
    for (const SnPoint& q : d.Points) d.MeanDb += q.SnDb / n;
    double sq = 0;
    for (const SnPoint& q : d.Points) sq += (q.SnDb - d.MeanDb) * (q.SnDb - d.MeanDb);
    d.SpreadDb = std::sqrt(sq / n);
    return d;
}

QImage DrawComparePlot(const std::vector<SnSeries>& series, double endS, QSize size, const QString& title,
                       std::optional<std::pair<int, int>> compare)
{
    QImage img = Blank(size);
    QPainter g(&img);
    SetFont(g, size);
    const QFontMetrics fm(g.font());
    const int lineH = fm.height();
    if (!(endS > 0)) endS = 1;

    double mn = INFINITY, mx = -INFINITY;
    for (const SnSeries& s : series)
        for (const SnPoint& q : s.Points) mn = std::min(mn, q.SnDb), mx = std::max(mx, q.SnDb);
    const auto [lo, hi] = WholeTensInside(mn, mx);

    // The S/N panel, and below it a caption line and the difference panel, a third of the height.
    const int left = fm.horizontalAdvance(QStringLiteral("-100")) + lineH + 12;
    const int right = size.width() - (lineH + 12);
    const int top = lineH + 12, bottom = size.height() - (2 * lineH + 12), captionH = lineH + 10;
    const int diffH = compare ? (bottom - top - captionH) / 3 : 0;
    const Panel sn{left, right, top, compare ? bottom - diffH - captionH : bottom, endS, lo, hi};

    auto fitting = [&](const Panel& p, const QString& title, const QString& shorter) {
        return fm.horizontalAdvance(title) <= p.Bottom - p.Top ? title : shorter;
    };
    DrawDbAxis(g, sn, fitting(sn, QStringLiteral("S/N in 2500 Hz (dB)"), QStringLiteral("S/N (dB)")));
    DrawTimeAxis(g, sn, !compare);
    g.setPen(kText);
    g.drawText(left, 6 + fm.ascent(), title);

    std::vector<QPen> pens;
    for (std::size_t i = 0; i < series.size(); ++i) {
        // Past seven series the colours come round again, dashed.
        QPen pen(kSeriesColours[i % kSeriesColours.size()]);
        pen.setWidth(TraceWidth(size));
        constexpr std::array<Qt::PenStyle, 4> kStyles{Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine};
        pen.setStyle(kStyles[i / kSeriesColours.size() % kStyles.size()]);
        pens.push_back(pen);
        DrawRuns(g, sn, series[i].Points, pen);
    }
    if (mn > mx) DrawNote(g, sn, QStringLiteral("no S/N: the peak was never in the signal band"));
    if (!series.empty()) DrawLegend(g, sn, series, pens);
    DrawFrame(g, sn);
    if (!compare) return img;

    const auto [ia, ib] = *compare;
    const auto valid = [&](int i) { return i >= 0 && static_cast<std::size_t>(i) < series.size(); };
    const SnDifference d =
        valid(ia) && valid(ib) ? DifferenceOf(series[ia].Points, series[ib].Points) : SnDifference{};
    // The differences and the mean +- spread, with a margin; -10 .. 10 dB when nothing pairs.
    double dMn = d.MeanDb - d.SpreadDb, dMx = d.MeanDb + d.SpreadDb;
    for (const SnPoint& q : d.Points) dMn = std::min(dMn, q.SnDb), dMx = std::max(dMx, q.SnDb);
    const auto [dLo, dHi] = d.Points.empty() ? std::pair(-10.0, 10.0) : WholeTensInside(dMn, dMx);
    const Panel diff{left, right, bottom - diffH, bottom, endS, dLo, dHi};

    DrawDbAxis(g, diff, fitting(diff, QStringLiteral("Difference (dB)"), QStringLiteral("dB")));
    DrawTimeAxis(g, diff, true);
    if (!valid(ia) || !valid(ib)) DrawNote(g, diff, QStringLiteral("no such inputs to compare"));
    else if (d.Points.empty()) DrawNote(g, diff, QStringLiteral("no common blocks"));
    QString figures;
    if (!d.Points.empty()) {
        // Mean +- spread as a pale band, 0 and the mean as lines across, then the differences.
        const double inside = diff.Left + 1, across = diff.Right - diff.Left - 1;
        const double bandTop = diff.Y(d.MeanDb + d.SpreadDb), bandBottom = diff.Y(d.MeanDb - d.SpreadDb);
        g.fillRect(QRectF(inside, bandTop, across, bandBottom - bandTop), QColor(205, 232, 214));
        if (diff.Lo < 0 && diff.Hi > 0) {
            g.setPen(QColor(140, 140, 140));
            const double zero = std::round(diff.Y(0));
            g.drawLine(QPointF(inside, zero), QPointF(inside + across - 1, zero));
        }
        QPen meanPen(kMean);
        meanPen.setStyle(Qt::DashLine);
        g.setPen(meanPen);
        const double meanY = std::round(diff.Y(d.MeanDb));
        g.drawLine(QPointF(inside, meanY), QPointF(inside + across - 1, meanY));
        QPen trace(QColor(90, 90, 90));
        trace.setWidth(TraceWidth(size));
        DrawRuns(g, diff, d.Points, trace);
        figures = QStringLiteral(": mean %1 dB, spread %2 dB, %3 common blocks")
                      .arg(Signed(d.MeanDb), Decimal(d.SpreadDb, 1))
                      .arg(d.Points.size());
    }
    if (valid(ia) && valid(ib)) { // long names give way to the figures
        const QString minus = QLatin1Char(' ') + kMinus + QLatin1Char(' ');
        const int nameW = std::max(lineH, (right - left - fm.horizontalAdvance(minus + figures)) / 2);
        auto name = [&](int i) { return fm.elidedText(series[i].Name, Qt::ElideRight, nameW); };
        g.setPen(kText);
        g.drawText(left, diff.Top - 5 - fm.descent(), name(ia) + minus + name(ib) + figures);
    }
    DrawFrame(g, diff);
    return img;
}

namespace {

// The encoded picture into a file that is not a regular one (/dev/null, a FIFO), as it is.
std::string WriteInto(const QByteArray& png, const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0666);
    if (fd < 0) return std::strerror(errno);
    int error = WriteAll(fd, png.constData(), static_cast<std::size_t>(png.size()));
    if (::close(fd) != 0 && error == 0) error = errno;
    return error == 0 ? std::string() : std::strerror(error);
}

} // namespace

std::string WritePng(const QImage& img, const std::string& path)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "PNG")) return "the picture could not be encoded";

    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return WriteInto(png, path, 0);
    // A link to a picture: the picture is replaced, the link stays.
    std::string target = path;
    if (char* real = exists ? ::realpath(path.c_str(), nullptr) : nullptr) {
        target = real;
        std::free(real);
    }
    // The new picture goes beside the old one and is renamed over it once it
    // is whole, so a full disk leaves the old picture as it was.
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp;
    int fd = -1;
    for (int i = 0; fd < 0 && i < 100; ++i) {
        temp = folder + "/." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(i) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? old.st_mode & 0777 : 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        // A folder that takes no new files, with a picture that may be written: in place.
        if (exists && (errno == EACCES || errno == EPERM)) return WriteInto(png, target, O_TRUNC);
        return std::strerror(errno);
    }
    if (exists) {
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid); // as root, for another user's picture
        ::fchmod(fd, old.st_mode & 07777);
    }
    int error = WriteAll(fd, png.constData(), static_cast<std::size_t>(png.size()));
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return std::strerror(error);
    }
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) { // the rename too
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}
