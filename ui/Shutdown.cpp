// Shutdown: the settings written back, the sound input reset and closed,
// the log file closed.  Runs also in the middle of a run and never stops
// half-way: an entry that faults is skipped, and a store that cannot be
// written is reported and left as it was.
#include <QString>

#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "ui/OnScreen.h"
#include "ui/Parlune.h"
#include "ui/Settings.h"

namespace {
QString Signed(double x) { return QString::fromStdString(SignedText(x)); }
} // namespace

void Parlune::Form_Unload()
{
    Closing = true;
    // Collected step by step, then written with one write of the file.
    SettingsToSave save;
    // Where the window will open next time: on a screen, even if it is on none now.
    const QPoint place = PlaceOnScreen(frameGeometry());
    Step([&] { save.Write("FormPlace", "Left", Signed(double(place.x()) * kTwipsPerPixel)); });
    Step([&] { save.Write("FormPlace", "Top", Signed(double(place.y()) * kTwipsPerPixel)); });
    Step([&] { save.Write("Values", "SampRate", Signed(SampleRate)); });
    Step([&] { save.Write("Values", "NSamp", Signed(NFFT)); });
    Step([&] { save.Write("Values", "CFB", Signed(CFBin)); });
    Step([&] { save.Write("Values", "NBINS", Signed(SigBWBins)); });
    Step([&] { save.Write("Values", "FMIN", Signed(spanLowBar.Value())); });
    Step([&] { save.Write("Values", "FMAX", Signed(spanHighBar.Value())); });
    Step([&] { save.Write("Values", "AVSCR", Signed(averagingBar.Value())); });
    Step([&] { save.Write("Values", "THRESH", Signed(thresholdBar.Value())); });
    Step([&] { save.Write("Values", "FILENAME", logFileBox.Text()); });
    Step([&] { save.Write("Values", "FFTSIZE", fftSizeBox.Text()); });
    Step([&] { save.Write("Values", "SBW", bandwidthBox.Text()); });
    save.Save(); // a failure is reported on stderr; closing goes on
    // Both are called with or without an open input; their results are not needed.
    Input.Close();
    LogEnabled = 0;
    LogOut.Close();
}
