// The waterfall and histogram windows: captions, the waterfall's bar
// handlers writing their captions only when moved, and its palette strip
// drawn on a palette change.
#include <gtest/gtest.h>

#include "display/HistogramWindow.h"
#include "display/Palette.h"
#include "display/WaterfallWindow.h"

TEST(SecondaryWindows, CaptionsBarHandlersAndPaletteStrip)
{
    MonWF w;
    MonHisto h;
    EXPECT_EQ(QStringList({w.Caption(), h.Caption(), h.scaleLabel.Caption()}),
              QStringList({"Full spectrum ", "Histogram", " Averaged  Bin  Amplitude   0 -- 160 dB"}));
    const struct { std::function<void()> act; const char *label1, *label2; } steps[] = {
        {[&] { w.gainBar.setValue(50); }, "WF Gain", "Threshold"}, // unchanged: no handler
        {[&] { w.gainBar.ArrowClick(true); }, "WF Gain 51", "Threshold"},
        {[&] { w.gainBar.setValue(50); }, "WF Gain 50", "Threshold"},
        {[&] { w.thresholdBar.TroughClick(true); }, "WF Gain 50", "WF Thresh  35dB"},
        {[&] { w.thresholdBar.DragTo(0); }, "WF Gain 50", "WF Thresh  0dB"},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].act();
        EXPECT_EQ(QStringList({w.gainLabel.Caption(), w.thresholdLabel.Caption()}), QStringList({steps[i].label1, steps[i].label2})) << i;
    }
    const Colour menu = SystemColour(SysColour::Menu);
    EXPECT_EQ(FromQColor(w.paletteStrip.Image().pixelColor(10, 5)), menu); // nothing drawn yet
    for (int palette : {1, 3, 0}) {
        w.paletteBar.setValue(palette);
        const QImage img = w.paletteStrip.Image();
        ASSERT_EQ(img.width(), 241);
        for (int x = 0; x < img.width(); ++x) {
            int last = 0; // the last of the 256 segments drawn on this column wins
            for (int i = 0; i <= 255; ++i)
                if (static_cast<int>(i * 241.0 / 255) == x) last = i;
            for (int y : {0, img.height() - 1})
                ASSERT_EQ(FromQColor(img.pixelColor(x, y)), WFCols(last / 256.0, palette))
                    << "palette " << palette << " column " << x << " row " << y;
        }
    }
}
