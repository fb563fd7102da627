// The widget behind a PictureBox: a retained image the size of the widget,
// blitted in paintEvent, and mouse events passed on in pixels.  Drawing
// reports the pixels it changed, so that only those are repainted and a
// picture the image was reset from can be put back by copying only them.
#pragma once
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class PictureSurface : public QWidget {
public:
    explicit PictureSurface(QWidget* parent);

    // The retained image, resized (keeping its contents) to the widget's size.
    QImage& image();
    void setBack(QRgb back) { back_ = back; }
    QRgb back() const { return back_; }

    // The pixels in r (pixel coordinates) have just changed.
    void touched(const QRect& r);
    // Makes the image a copy of picture (same size and format; false
    // otherwise).  When the image was last made from this same picture and
    // has changed since only where touched() said, only those parts are
    // copied.
    bool restore(const QImage& picture);

    // press = true for a button press, false for a move; x, y in pixels.
    std::function<void(bool press, int button, int shift, double x, double y)> onMouse;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    // Changes are kept per tile of kTileW x kTileH pixels.
    static constexpr int kTileW = 64, kTileH = 8;
    static constexpr std::uint8_t kChanged = 1;   // since the last restore
    static constexpr std::uint8_t kRequested = 2; // repaint asked for, not yet done
    QImage img_;
    QRgb back_ = 0xFF000000;
    std::vector<std::uint8_t> tiles_;
    int tileCols_ = 0;
    qint64 restoredFrom_ = 0; // cacheKey() of the picture last restored from
    qint64 imageKey_ = 0;     // the image's cacheKey() after the last change reported
    void markTiles(const QRect& r, std::uint8_t flags);
};
