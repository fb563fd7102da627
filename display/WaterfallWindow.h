// The waterfall window "Full spectrum ": the scrolling picture WFall, its
// gain, threshold and palette bars, the palette strip and the cursor read-out.
#pragma once
#include <functional>

#include "display/PictureBox.h"
#include "controls/Controls.h"

class MonWF : public Window {
public:
    explicit MonWF(QWidget* parent = nullptr);

    PictureBox WFall;
    ScrollBar WFGain;
    Label Label1;
    ScrollBar WFThr;
    Label Label2;
    ScrollBar WFpal;
    Label Label3;
    Label WFcsr;
    PictureBox PalMap;
    ImageBox WFCache;

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
