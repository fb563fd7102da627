// The histogram window: bar chart of the averaged bin levels, 0 .. 160 dB.
#pragma once
#include "display/PictureBox.h"
#include "controls/Controls.h"

class MonHisto : public Window {
public:
    explicit MonHisto(QWidget* parent = nullptr);

    PictureBox histogramPicture; // Histogram
    Label scaleLabel;            // Label1
};
