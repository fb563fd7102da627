#include "display/WaterfallWindow.h"

#include <cmath>

#include "display/Palette.h"
#include "controls/QtText.h"

MonWF::MonWF(QWidget* parent) : Window("monWF", parent)
{
    setCaption("Full spectrum ");
    setClientSize(6960, 5760);
    setBackColor(SystemColour(SysColour::ActiveTitle)); // the labels are transparent and share it

    WFall.create(this, "WFall", 0, 0, 6855, 5055);
    WFall.setBackColor(RGB(0, 0, 0));
    WFGain.create(this, "WFGain", Qt::Horizontal, 120, 5160, 1455, 255, 1, 255, 50, 1, 5);
    Label1.create(this, "Label1", "WF Gain", 1680, 5160, 1335, 255);
    WFThr.create(this, "WFThr", Qt::Horizontal, 120, 5400, 1455, 255, 0, 100, 30, 1, 5);
    Label2.create(this, "Label2", "Threshold", 1680, 5400, 1335, 255);
    WFpal.create(this, "WFpal", Qt::Horizontal, 3000, 5160, 1095, 255, 0, 3, 0, 1, 1);
    Label3.create(this, "Label3", "Pallette", 4200, 5160, 615, 255);
    WFcsr.create(this, "WFcsr", "-", 5520, 5160, 1095, 255);
    PalMap.create(this, "PalMap", 3000, 5400, 3615, 255);
    PalMap.setBackColor(SystemColour(SysColour::Menu));
    PalMap.setScaleLeft(0);
    PalMap.setScaleWidth(255); // vertical scale stays in twips
    WFCache.create(this, "WFCache", 2280, 4200, 1815, 1095);

    setTabOrder(WFall.widget(), WFGain.widget());
    setTabOrder(WFGain.widget(), WFThr.widget());
    setTabOrder(WFThr.widget(), WFpal.widget());
    setTabOrder(WFpal.widget(), PalMap.widget());

    WFGain.onChange = [this] { WFGain_Change(); };
    WFThr.onChange = [this] { WFThr_Change(); };
    WFpal.onChange = [this] { WFpal_Change(); };
    WFall.onMouseMove = [this](int b, int s, double x, double y) { WFall_MouseMove(b, s, x, y); };
}

void MonWF::WFGain_Change()
{
    Label1.setCaption("WF Gain" + QSignedText(WFGain.Value()));
}

void MonWF::WFThr_Change()
{
    Label2.setCaption("WF Thresh " + QSignedText(WFThr.Value()) + "dB");
}

void MonWF::WFpal_Change()
{
    const double h = PalMap.ScaleHeight();
    for (int i = 0; i <= 255; ++i) {
        // The palette is read per segment, as the waterfall reads it per column.
        const auto palette = static_cast<unsigned char>(WFpal.Value());
        PalMap.Line(i, 0, i, h, WFCols(i / 256.0, palette));
    }
}

void MonWF::WFall_MouseMove(int, int, double x, double)
{
    if (!BinWidthHz)
        return;
    const double hz = x * BinWidthHz();
    if (!std::isfinite(hz))
        return;
    WFcsr.setCaption(QFormatPattern(hz, "#####.#") + "Hz");
}
