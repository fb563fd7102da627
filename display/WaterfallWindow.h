// The waterfall window "Full spectrum ": the scrolling picture WFall, its
// gain, threshold and palette bars, the palette strip and the cursor read-out.
#pragma once
#include "display/PictureBox.h"
#include "ui/controls/Controls.h"

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

    void WFGain_Change();
    void WFThr_Change();
    void WFpal_Change();
    void WFall_MouseMove(int button, int shift, double x, double y);
};
