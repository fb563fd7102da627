#include "tools/SnPlot.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Text is never pure black, so the frame can be told from it.
const QColor kText(51, 51, 51);
const QColor kGrid(222, 222, 222);
const QColor kTrace(20, 70, 200);

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

} // namespace

QImage DrawSnPlot(const std::vector<SnPoint>& points, double endS, QSize size, const QString& title)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter g(&img);
    QFont font = g.font();
    font.setPixelSize(std::clamp(size.height() / 30, 11, 16));
    g.setFont(font);
    const QFontMetrics fm(font);
    const int lineH = fm.height();

    double lo = 0, hi = 10, sum = 0;
    if (!points.empty()) {
        const auto [mn, mx] = std::minmax_element(points.begin(), points.end(),
                                                  [](const SnPoint& a, const SnPoint& b) { return a.SnDb < b.SnDb; });
        lo = std::floor(mn->SnDb / 10) * 10;
        hi = std::max(std::ceil(mx->SnDb / 10) * 10, lo + 10);
        for (const SnPoint& p : points) sum += p.SnDb;
    }
    if (!(endS > 0)) endS = 1;

    const int left = fm.horizontalAdvance(QStringLiteral("-100")) + lineH + 12;
    const int right = size.width() - (fm.horizontalAdvance(QStringLiteral("mean -100.0 dB")) + 12);
    const int top = lineH + 12;
    const int bottom = size.height() - (2 * lineH + 12);
    auto x = [&](double t) { return left + t / endS * (right - left); };
    auto y = [&](double db) { return bottom - (db - lo) / (hi - lo) * (bottom - top); };

    // S/N axis: grid and labels on a 1, 2 or 5 dB multiple.
    const double dbStep = NiceStep(hi - lo, std::max(2, (bottom - top) / (2 * lineH)));
    for (double v = lo; v <= hi + 1e-9; v += dbStep) {
        const int py = static_cast<int>(std::lround(y(v)));
        g.setPen(kGrid);
        g.drawLine(left, py, right, py);
        g.setPen(kText);
        const QString s = Decimal(v, 0);
        g.drawText(left - 6 - fm.horizontalAdvance(s), py + fm.ascent() / 2 - 1, s);
    }
    // Time axis in seconds, minutes or hours as the length asks.
    const auto [unit, unitName] = endS <= 180 ? std::pair{1.0, "s"} : endS <= 3 * 3600 ? std::pair{60.0, "min"}
                                                                                     : std::pair{3600.0, "h"};
    const double tStep = NiceStep(endS / unit, std::max(2, (right - left) / 70));
    const int tDecimals = tStep < 1 ? static_cast<int>(std::ceil(-std::log10(tStep))) : 0;
    for (double v = 0; v * unit <= endS * (1 + 1e-9); v += tStep) {
        const int px = static_cast<int>(std::lround(x(v * unit)));
        g.setPen(kGrid);
        g.drawLine(px, top, px, bottom);
        g.setPen(kText);
        const QString s = Decimal(v, tDecimals);
        g.drawText(px - fm.horizontalAdvance(s) / 2, bottom + 4 + fm.ascent(), s);
    }
    g.setPen(kText);
    const QString timeTitle = QStringLiteral("Time (%1)").arg(QLatin1String(unitName));
    g.drawText((left + right - fm.horizontalAdvance(timeTitle)) / 2, bottom + 8 + lineH + fm.ascent(), timeTitle);
    g.drawText(left, 6 + fm.ascent(), title);
    g.save();
    g.translate(4 + fm.ascent(), (top + bottom) / 2.0);
    g.rotate(-90);
    const QString dbTitle = QStringLiteral("S/N in 2500 Hz (dB)");
    g.drawText(-fm.horizontalAdvance(dbTitle) / 2, 0, dbTitle);
    g.restore();

    g.setPen(Qt::black);
    g.drawRect(QRect(left, top, right - left, bottom - top));

    if (points.empty()) {
        g.setPen(kText);
        const QString s = QStringLiteral("no S/N: the peak was never in the signal band");
        g.drawText((left + right - fm.horizontalAdvance(s)) / 2, (top + bottom) / 2, s);
        return img;
    }

    // Minimum, mean and maximum: dashed lines across, labels in the right margin.
    const double mean = sum / static_cast<double>(points.size());
    const double mn = std::min_element(points.begin(), points.end(),
                                       [](const SnPoint& a, const SnPoint& b) { return a.SnDb < b.SnDb; })->SnDb;
    const double mx = std::max_element(points.begin(), points.end(),
                                       [](const SnPoint& a, const SnPoint& b) { return a.SnDb < b.SnDb; })->SnDb;
    const std::array<std::tuple<const char*, double, QColor>, 3> marks{{
        {"max", mx, QColor(200, 30, 30)}, {"mean", mean, QColor(0, 140, 60)}, {"min", mn, QColor(210, 120, 0)}}};
    double labelY = -1e9; // keeps the labels from overlapping, top down
    for (const auto& [name, v, colour] : marks) {
        QPen pen(colour);
        pen.setStyle(Qt::DashLine);
        g.setPen(pen);
        const double py = std::round(y(v));
        g.drawLine(QPointF(left + 1, py), QPointF(right - 1, py));
        labelY = std::max(py + fm.ascent() / 2.0 - 1, labelY + lineH);
        g.setPen(colour);
        g.drawText(QPointF(right + 6, labelY), QStringLiteral("%1 %2 dB").arg(QLatin1String(name), Decimal(v, 1)));
    }

    // The values: a line through each run of consecutive points, a dot for a lone one.
    QPen trace(kTrace);
    trace.setWidth(std::max(1, size.height() / 300));
    g.setPen(trace);
    QPolygonF run;
    auto flush = [&] {
        if (run.size() == 1) g.drawPoint(run.front());
        else if (run.size() > 1) g.drawPolyline(run);
        run.clear();
    };
    for (const SnPoint& p : points) {
        if (p.Gap) flush();
        run << QPointF(x(p.TimeS), y(p.SnDb));
    }
    flush();
    return img;
}

std::string WritePng(const QImage& img, const std::string& path)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    QFile f(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(png) != png.size() || !f.flush())
        return f.errorString().toStdString();
    return {};
}
