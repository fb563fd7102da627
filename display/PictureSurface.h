// The widget behind a PictureBox: a retained image the size of the widget,
// blitted in paintEvent, and mouse events passed on in pixels.
#pragma once
#include <QImage>
#include <QWidget>
#include <functional>

class PictureSurface : public QWidget {
public:
    explicit PictureSurface(QWidget* parent);

    // The retained image, resized (keeping its contents) to the widget's size.
    QImage& image();
    void setBack(QRgb back) { back_ = back; }
    QRgb back() const { return back_; }

    // press = true for a button press, false for a move; x, y in pixels.
    std::function<void(bool press, int button, int shift, double x, double y)> onMouse;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QImage img_;
    QRgb back_ = 0xFF000000;
};
