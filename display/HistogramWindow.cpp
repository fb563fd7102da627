#include "display/HistogramWindow.h"

MonHisto::MonHisto(QWidget* parent) : Window("monHisto", parent)
{
    setCaption("Histogram");
    setClientSize(5760, 3450);
    setBackColor(SystemColour(SysColour::ButtonFace));
    histogramPicture.create(this, "Histogram", 120, 120, 5325, 2895);
    scaleLabel.create(this, "Label1", " Averaged  Bin  Amplitude   0 -- 160 dB", 120, 3090, 5475, 240, Align::Centre);
    scaleLabel.setForeColor(RGB(255, 128, 0));
}
