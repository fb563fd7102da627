#include "display/HistogramWindow.h"

MonHisto::MonHisto(QWidget* parent) : Window("monHisto", parent)
{
    setCaption("Histogram");
    setClientSize(5760, 3450);
    setBackColor(SystemColour(SysColour::ButtonFace));
    Histogram.create(this, "Histogram", 120, 120, 5325, 2895);
    Label1.create(this, "Label1", " Averaged  Bin  Amplitude   0 -- 160 dB", 120, 3090, 5475, 240, Align::Centre);
    Label1.setForeColor(RGB(255, 128, 0));
}
