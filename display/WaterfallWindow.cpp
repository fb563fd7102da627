#include "display/WaterfallWindow.h"

#include <cmath>

#include "display/Palette.h"
#include "controls/QtText.h"

MonWF::MonWF(QWidget* parent) : Window("monWF", parent)
{
    setCaption("Full spectrum ");
    setClientSize(6960, 5760);
    setBackColor(SystemColour(SysColour::ActiveTitle)); // the labels are transparent and share it

    waterfallPicture.create(this, "WFall", 0, 0, 6855, 5055);
    waterfallPicture.setBackColor(RGB(0, 0, 0));
    gainBar.create(this, "WFGain", Qt::Horizontal, 120, 5160, 1455, 255, 1, 255, 50, 1, 5);
    gainLabel.create(this, "Label1", "WF Gain", 1680, 5160, 1335, 255);
    thresholdBar.create(this, "WFThr", Qt::Horizontal, 120, 5400, 1455, 255, 0, 100, 30, 1, 5);
    thresholdLabel.create(this, "Label2", "Threshold", 1680, 5400, 1335, 255);
    paletteBar.create(this, "WFpal", Qt::Horizontal, 3000, 5160, 1095, 255, 0, 3, 0, 1, 1);
    paletteLabel.create(this, "Label3", "Pallette", 4200, 5160, 615, 255);
    cursorLabel.create(this, "WFcsr", "-", 5520, 5160, 1095, 255);
    paletteStrip.create(this, "PalMap", 3000, 5400, 3615, 255);
    paletteStrip.setBackColor(SystemColour(SysColour::Menu));
    paletteStrip.setScaleLeft(0);
    paletteStrip.setScaleWidth(255); // vertical scale stays in twips
    rowCache.create(this, "WFCache", 2280, 4200, 1815, 1095);

    setTabOrder(waterfallPicture.widget(), gainBar.widget());
    setTabOrder(gainBar.widget(), thresholdBar.widget());
    setTabOrder(thresholdBar.widget(), paletteBar.widget());
    setTabOrder(paletteBar.widget(), paletteStrip.widget());

    gainBar.onChange = [this] { WFGain_Change(); };
    thresholdBar.onChange = [this] { WFThr_Change(); };
    paletteBar.onChange = [this] { WFpal_Change(); };
    waterfallPicture.onMouseMove = [this](int b, int s, double x, double y) { WFall_MouseMove(b, s, x, y); };
}

void MonWF::WFGain_Change()
{
    gainLabel.setCaption("WF Gain" + QSignedText(gainBar.Value()));
}

void MonWF::WFThr_Change()
{
    thresholdLabel.setCaption("WF Thresh " + QSignedText(thresholdBar.Value()) + "dB");
}

void MonWF::WFpal_Change()
{
    const double h = paletteStrip.ScaleHeight();
    for (int i = 0; i <= 255; ++i) {
        // The palette is read per segment, as the waterfall reads it per column.
        const auto palette = static_cast<unsigned char>(paletteBar.Value());
        paletteStrip.Line(i, 0, i, h, WFCols(i / 256.0, palette));
    }
}

void MonWF::WFall_MouseMove(int, int, double x, double)
{
    if (!BinWidthHz)
        return;
    const double hz = x * BinWidthHz();
    if (!std::isfinite(hz))
        return;
    cursorLabel.setCaption(QFormatPattern(hz, "#####.#") + "Hz");
}
