// The waterfall window "Full spectrum ": the scrolling picture, its gain,
// threshold and palette bars, the palette strip and the cursor read-out.
// Each control's QObject name is its layout name (in comments below).
#pragma once
#include <functional>

#include "display/PictureBox.h"
#include "controls/Controls.h"

class MonWF : public Window {
public:
    explicit MonWF(QWidget* parent = nullptr);

    PictureBox waterfallPicture; // WFall: one row per block, newest at the top
    ScrollBar gainBar;           // WFGain
    Label gainLabel;             // Label1
    ScrollBar thresholdBar;      // WFThr, dB
    Label thresholdLabel;        // Label2
    ScrollBar paletteBar;        // WFpal: palette 0 .. 3
    Label paletteLabel;          // Label3
    Label cursorLabel;           // WFcsr: frequency under the mouse
    PictureBox paletteStrip;     // PalMap
    ImageBox rowCache;           // WFCache: hidden

    // Hertz per bin (sample rate / NFFT) of the picture's columns, for the
    // cursor read-out: column x shows x * BinWidthHz() Hz, 0 Hz at the left
    // edge, as the lines are drawn.  Set by the main window at each run's
    // start; while unset, or while it gives no finite number, the read-out
    // is left as it is.
    std::function<double()> BinWidthHz;

    void WFGain_Change();
    void WFThr_Change();
    void WFpal_Change();
    void WFall_MouseMove(int button, int shift, double x, double y);
};
