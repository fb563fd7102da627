// Picture boxes: drawing goes straight into the retained image (spans and
// boxes are written into the scan lines, without a QPainter), and the widget
// only blits the parts that changed when Qt asks it to paint.  Copies of a
// picture go into the image's own buffer, which keeps its paint engine (text
// drawn on a new buffer would set one up again).
#include "display/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStaticText>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "display/PictureSurface.h"
#include "engine/Fault.h"

// ---- PictureSurface --------------------------------------------------------

PictureSurface::PictureSurface(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // the image covers every pixel
    setMouseTracking(true);                // moves without a button are reported too
    setFocusPolicy(Qt::StrongFocus);
}

QImage& PictureSurface::image()
{
    if (img_.size() != size()) {
        QImage grown(size(), QImage::Format_RGB32);
        grown.fill(back_);
        if (!img_.isNull()) {
            QPainter p(&grown);
            p.drawImage(0, 0, img_);
        }
        img_ = grown;
        tileCols_ = (img_.width() + kTileW - 1) / kTileW;
        tiles_.assign(static_cast<std::size_t>(tileCols_) * ((img_.height() + kTileH - 1) / kTileH), 0);
        restoredFrom_ = 0;
    }
    return img_;
}

void PictureSurface::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    const QImage& img = image();
    for (const QRect& r : e->region())
        p.drawImage(r, img, r);
    for (std::uint8_t& t : tiles_)
        t &= ~kRequested;
}

// Sets flags on every tile r reaches; a repaint is asked for once per tile
// until it is done, so that thousands of small changes do not each add to
// the widget's dirty region.
void PictureSurface::markTiles(const QRect& r, std::uint8_t flags)
{
    const QRect c = r & img_.rect();
    if (c.isEmpty())
        return;
    QRect newly;
    for (int ty = c.top() / kTileH; ty <= c.bottom() / kTileH; ++ty)
        for (int tx = c.left() / kTileW; tx <= c.right() / kTileW; ++tx) {
            std::uint8_t& t = tiles_[static_cast<std::size_t>(ty) * tileCols_ + tx];
            if (!(t & kRequested))
                newly |= QRect(tx * kTileW, ty * kTileH, kTileW, kTileH);
            t |= flags | kRequested;
        }
    if (!newly.isEmpty())
        update(newly & img_.rect());
}

void PictureSurface::touched(const QRect& r)
{
    image();
    markTiles(r, kChanged);
    imageKey_ = img_.cacheKey();
}

bool PictureSurface::restore(const QImage& picture)
{
    QImage& img = image();
    if (picture.size() != img.size() || picture.format() != img.format() ||
        picture.bytesPerLine() != img.bytesPerLine())
        return false;
    // Anything that wrote to the image without reporting it changed its
    // cacheKey (every writable access does): then all of it is copied.
    const bool partial = picture.cacheKey() == restoredFrom_ && img.cacheKey() == imageKey_;
    const qsizetype stride = img.bytesPerLine();
    uchar* dst = img.bits();
    const uchar* src = picture.constBits();
    if (!partial) {
        std::memcpy(dst, src, static_cast<std::size_t>(img.sizeInBytes()));
        for (std::uint8_t& t : tiles_)
            t &= ~kChanged;
        markTiles(img.rect(), 0);
    } else {
        for (std::size_t i = 0; i < tiles_.size(); ++i) {
            if (!(tiles_[i] & kChanged))
                continue;
            tiles_[i] &= ~kChanged;
            const QRect tile = QRect(static_cast<int>(i % tileCols_) * kTileW, static_cast<int>(i / tileCols_) * kTileH,
                                     kTileW, kTileH) & img.rect();
            for (int y = tile.top(); y <= tile.bottom(); ++y)
                std::memcpy(dst + y * stride + tile.left() * 4, src + y * stride + tile.left() * 4,
                            static_cast<std::size_t>(tile.width()) * 4);
            markTiles(tile, 0);
        }
    }
    restoredFrom_ = picture.cacheKey();
    imageKey_ = img.cacheKey();
    return true;
}

namespace {
int buttonCode(Qt::MouseButtons b)
{
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
}

int shiftCode(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}
} // namespace

void PictureSurface::mouseMoveEvent(QMouseEvent* e)
{
    if (onMouse)
        onMouse(false, buttonCode(e->buttons()), shiftCode(e->modifiers()), e->position().x(), e->position().y());
}

void PictureSurface::mousePressEvent(QMouseEvent* e)
{
    if (onMouse)
        onMouse(true, buttonCode(e->button()), shiftCode(e->modifiers()), e->position().x(), e->position().y());
}

// ---- PictureBox ----------------------------------------------------------

namespace {
QRgb ToRgb(Colour c)
{
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Pixel coordinates are limited to a little beyond the image before they
// become whole numbers, so that huge user values cannot overflow.
int FloorPx(double v, int extent)
{
    return static_cast<int>(std::floor(std::clamp(v, -2.0, extent + 2.0)));
}

int CeilPx(double v, int extent)
{
    return static_cast<int>(std::ceil(std::clamp(v, -2.0, extent + 2.0)));
}

// Liang-Barsky: trims the segment to the rectangle [lo, hiX] x [lo, hiY].
// Endpoints already inside are left exactly as they are.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double lo, double hiX, double hiY)
{
    const double dx = x2 - x1, dy = y2 - y1;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - lo, hiX - x1, y1 - lo, hiY - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const double ox = x1, oy = y1;
    if (t1 < 1) {
        x2 = ox + t1 * dx;
        y2 = oy + t1 * dy;
    }
    if (t0 > 0) {
        x1 = ox + t0 * dx;
        y1 = oy + t0 * dy;
    }
    return true;
}
} // namespace

PictureBox::PictureBox() = default;

PictureBox::~PictureBox()
{
    if (w_)
        surface()->onMouse = nullptr;
}

void PictureBox::create(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    auto* s = new PictureSurface(parent);
    attach(s, parent, name, left, top, width, height);
    back_ = SystemColour(SysColour::ButtonFace); // the default picture box background
    fore_ = SystemColour(SysColour::WindowText);
    s->setBack(ToRgb(back_));
    s->image().fill(s->back());
    s->onMouse = [this](bool press, int button, int shift, double px, double py) {
        const QImage& img = surface()->image();
        const double x = ScaleLeft() + (img.width() ? px * ScaleWidth() / img.width() : 0);
        const double y = img.height() ? py * ScaleHeight() / img.height() : 0;
        const auto& handler = press ? onMouseDown : onMouseMove;
        if (handler)
            handler(button, shift, x, y);
    };
}

PictureSurface* PictureBox::surface() const { return static_cast<PictureSurface*>(w_); }

double PictureBox::ScaleLeft() const { return userScale_ ? scaleLeft_ : 0; }
double PictureBox::ScaleWidth() const { return userScale_ ? scaleWidth_ : surface()->width() * kTwipsPerPixel; }
double PictureBox::ScaleHeight() const { return userScale_ ? scaleHeight_ : surface()->height() * kTwipsPerPixel; }

void PictureBox::toUserScale()
{
    if (userScale_)
        return;
    scaleLeft_ = ScaleLeft();
    scaleWidth_ = ScaleWidth();
    scaleHeight_ = ScaleHeight();
    userScale_ = true;
}

void PictureBox::setScaleLeft(double v)
{
    toUserScale();
    scaleLeft_ = v;
}

void PictureBox::setScaleWidth(double v)
{
    if (v == 0 || !std::isfinite(v))
        throw Fault(Fault::Kind::OutOfRange, "ScaleWidth must be a non-zero number");
    toUserScale();
    scaleWidth_ = v;
}

void PictureBox::setScaleHeight(double v)
{
    if (v == 0 || !std::isfinite(v))
        throw Fault(Fault::Kind::OutOfRange, "ScaleHeight must be a non-zero number");
    toUserScale();
    scaleHeight_ = v;
}

int PictureBox::DrawStyle() const { return drawStyle_; }
void PictureBox::setDrawStyle(int s) { drawStyle_ = s; }

void PictureBox::setMousePointerCross(bool cross)
{
    if (cross)
        w_->setCursor(Qt::CrossCursor);
    else
        w_->unsetCursor();
}

double PictureBox::PixelX(double x) const
{
    const double sw = ScaleWidth();
    return sw == 0 ? 0 : (x - ScaleLeft()) * surface()->image().width() / sw;
}

double PictureBox::PixelY(double y) const
{
    const double sh = ScaleHeight();
    return sh == 0 ? 0 : y * surface()->image().height() / sh;
}

double PictureBox::CurrentX() const { return curX_; }
double PictureBox::CurrentY() const { return curY_; }
void PictureBox::setCurrentX(double x) { curX_ = x; }
void PictureBox::setCurrentY(double y) { curY_ = y; }

QImage PictureBox::Image() const { return surface()->image(); }

bool PictureBox::RestoreImage(const QImage& picture) { return surface()->restore(picture); }

void PictureBox::setBackColor(Colour c)
{
    back_ = c;
    surface()->setBack(ToRgb(c));
    Cls();
}

void PictureBox::setForeColor(Colour c) { fore_ = c; }

void PictureBox::Cls()
{
    QImage& img = surface()->image();
    img.fill(surface()->back());
    curX_ = ScaleLeft();
    curY_ = 0;
    surface()->touched(img.rect());
}

void PictureBox::Line(double x1, double y1, double x2, double y2, Colour c)
{
    curX_ = x2;
    curY_ = y2;
    QImage& img = surface()->image();
    const int w = img.width(), h = img.height();
    double a = PixelX(x1), b = PixelY(y1), e = PixelX(x2), f = PixelY(y2);
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(e) || !std::isfinite(f) || w == 0 || h == 0)
        return;
    if (!ClipSegment(a, b, e, f, -1.0, w + 1.0, h + 1.0))
        return;
    int px = FloorPx(a, w), py = FloorPx(b, h);
    const int a0 = px, b0 = py;
    const int ex = FloorPx(e, w), ey = FloorPx(f, h);
    const QRgb rgb = ToRgb(c);
    const bool dotted = drawStyle_ == 2;
    uchar* bits = img.bits();
    const qsizetype stride = img.bytesPerLine();
    auto plot = [&](int x, int y, int n) {
        if ((!dotted || n % 2 == 0) && x >= 0 && x < w && y >= 0 && y < h)
            reinterpret_cast<QRgb*>(bits + y * stride)[x] = rgb;
    };
    // Bresenham from the start pixel to the end pixel, both drawn; a dotted
    // line leaves every other pixel.
    const int dx = std::abs(ex - px), sx = px < ex ? 1 : -1;
    const int dy = -std::abs(ey - py), sy = py < ey ? 1 : -1;
    int err = dx + dy;
    for (int n = 0;; ++n) {
        plot(px, py, n);
        if (px == ex && py == ey)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            px += sx;
        }
        if (e2 <= dx) {
            err += dx;
            py += sy;
        }
    }
    surface()->touched(QRect(QPoint(std::min(a0, ex), std::min(b0, ey)), QPoint(std::max(a0, ex), std::max(b0, ey))));
}

void PictureBox::LineBox(double x1, double y1, double x2, double y2, Colour c)
{
    curX_ = x2;
    curY_ = y2;
    QImage& img = surface()->image();
    const int w = img.width(), h = img.height();
    const double a = PixelX(x1), b = PixelY(y1), e = PixelX(x2), f = PixelY(y2);
    if (std::isnan(a) || std::isnan(b) || std::isnan(e) || std::isnan(f))
        return;
    const int c0 = FloorPx(std::min(a, e), w);
    const int c1 = std::max(c0, CeilPx(std::max(a, e), w) - 1);
    const int r0 = FloorPx(std::min(b, f), h);
    const int r1 = std::max(r0, CeilPx(std::max(b, f), h) - 1);
    const int left = std::max(c0, 0), right = std::min(c1, w - 1);
    const int top = std::max(r0, 0), bottom = std::min(r1, h - 1);
    if (left > right || top > bottom)
        return;
    const QRgb rgb = ToRgb(c);
    uchar* bits = img.bits();
    const qsizetype stride = img.bytesPerLine();
    for (int y = top; y <= bottom; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(bits + y * stride);
        std::fill(line + left, line + right + 1, rgb);
    }
    surface()->touched(QRect(QPoint(left, top), QPoint(right, bottom)));
}

void PictureBox::PSet(double x, double y, Colour c)
{
    curX_ = x;
    curY_ = y;
    QImage& img = surface()->image();
    const double a = PixelX(x), b = PixelY(y);
    if (!std::isfinite(a) || !std::isfinite(b))
        return;
    const int px = FloorPx(a, img.width()), py = FloorPx(b, img.height());
    if (px >= 0 && px < img.width() && py >= 0 && py < img.height()) {
        reinterpret_cast<QRgb*>(img.scanLine(py))[px] = ToRgb(c);
        surface()->touched(QRect(px, py, 1, 1));
    }
}

// Texts laid out once for the surface's font: a block prints the same few
// again and again, and laying one out costs more than drawing it.
struct PictureBox::TextCache {
    struct Laid {
        QStaticText text;
        QRect ink; // the ink and the advance, relative to the top-left corner
    };
    QFont font;
    int height = 0; // of a text line, pixels
    std::unordered_map<QString, Laid> laid;

    const Laid& get(const QString& s)
    {
        auto it = laid.find(s);
        if (it != laid.end())
            return it->second;
        if (laid.size() >= 64)
            laid.clear();
        const QFontMetrics fm(font);
        Laid l{QStaticText(s), (fm.boundingRect(s) | QRect(0, -fm.ascent(), fm.horizontalAdvance(s), fm.height()))
                                   .translated(0, fm.ascent())};
        l.text.setTextFormat(Qt::PlainText);
        l.text.prepare(QTransform(), font);
        return laid.emplace(s, std::move(l)).first->second;
    }
};

void PictureBox::Print(const QString& text)
{
    QImage& img = surface()->image();
    const QFont& font = surface()->font();
    if (!texts_ || texts_->font != font) {
        texts_ = std::make_unique<TextCache>();
        texts_->font = font;
        texts_->height = QFontMetrics(font).height();
    }
    const double a = PixelX(curX_), b = PixelY(curY_);
    if (std::isfinite(a) && std::isfinite(b) && !img.isNull()) {
        const TextCache::Laid& laid = texts_->get(text);
        const int x = static_cast<int>(std::floor(std::clamp(a, -1.0e6, 1.0e6)));
        const int y = static_cast<int>(std::floor(std::clamp(b, -1.0e6, 1.0e6)));
        QPainter p(&img);
        p.setFont(font);
        p.setPen(ToQColor(fore_));
        p.drawStaticText(QPointF(x, y), laid.text); // baseline at y + ascent
        p.end();
        // Room for antialiasing and overhang.
        surface()->touched(laid.ink.translated(x, y).adjusted(-3, -3, 3, 3));
    }
    // The next Print starts on the next text line at the left edge.
    curX_ = ScaleLeft();
    if (img.height())
        curY_ += texts_->height * ScaleHeight() / img.height();
}
