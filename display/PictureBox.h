// A drawing surface with a retained image and a user scale: x runs from
// ScaleLeft over ScaleWidth units, y from 0 at the top over ScaleHeight units
// downwards.  Drawing goes into the image; paintEvent only blits it.
// Anything outside the surface is clipped.
#pragma once
#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

#include "controls/Controls.h"

class PictureSurface;

// Pixel rules: a point maps to the pixel containing its mapped position; a
// segment covers the pixels from its start point's pixel to its end point's
// pixel, both included; a filled box covers every pixel its mapped rectangle
// touches ([x1, x2) x [y1, y2) exactly when the corners fall on pixel edges),
// at least one pixel per axis.
class PictureBox : public Control {
public:
    // Mouse events in user units: button 1 = left, 2 = right, 4 = middle.
    std::function<void(int button, int shift, double x, double y)> onMouseMove;
    std::function<void(int button, int shift, double x, double y)> onMouseDown;

    PictureBox();
    ~PictureBox() override;
    void create(QWidget* parent, const QString& name, int left, int top, int width, int height);

    // Scale; until set, the units are twips.
    double ScaleLeft() const;
    double ScaleWidth() const;
    double ScaleHeight() const;
    void setScaleLeft(double v);
    void setScaleWidth(double v);
    void setScaleHeight(double v); // ScaleWidth/ScaleHeight 0 fault OutOfRange and are not set

    int DrawStyle() const; // 0 solid, 2 dotted
    void setDrawStyle(int s);
    void setMousePointerCross(bool cross);

    // Setting BackColor clears the picture to the new colour.
    void setBackColor(Colour c) override;
    // The colour of Print's text.  The widget's palette is left as it is:
    // changing it would repaint the whole picture.
    void setForeColor(Colour c) override;

    void Cls();                                                           // fill with BackColor, current point to (ScaleLeft, 0)
    void Line(double x1, double y1, double x2, double y2, Colour c);     // segment, one pixel wide
    void LineBox(double x1, double y1, double x2, double y2, Colour c);  // filled box
    void PSet(double x, double y, Colour c);                              // one point; becomes the current point
    void Print(const QString& text);                                      // text in ForeColor, top-left at the current point
    double CurrentX() const;
    double CurrentY() const;
    void setCurrentX(double x);
    void setCurrentY(double y);
    QImage Image() const; // the retained image
    // Makes the retained image a copy of picture, which must have its size
    // and format (false otherwise).  Made from the same picture each block,
    // only what was drawn since is copied back.
    bool RestoreImage(const QImage& picture);

    // Pixel mapping of the current scale.
    double PixelX(double x) const;
    double PixelY(double y) const;
    PictureSurface* surface() const;

private:
    bool userScale_ = false; // false: twips, following the widget's size
    double scaleLeft_ = 0, scaleWidth_ = 1, scaleHeight_ = 1;
    double curX_ = 0, curY_ = 0;
    int drawStyle_ = 0;
    struct TextCache;
    std::unique_ptr<TextCache> texts_;
    void toUserScale();
};
