// Shutdown: the settings written back, the sound input reset and closed,
// the log file closed.  Runs also in the middle of a run and never stops
// half-way: a write that faults is skipped.
#include <QString>

#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "ui/Parlune.h"
#include "ui/Settings.h"

namespace {
QString Signed(double x) { return QString::fromStdString(SignedText(x)); }
} // namespace

void Parlune::Form_Unload()
{
    Closing = true;
    Step([&] { WriteSetting("FormPlace", "Left", Signed(Left())); });
    Step([&] { WriteSetting("FormPlace", "Top", Signed(Top())); });
    Step([&] { WriteSetting("Values", "SampRate", Signed(SampleRate)); });
    Step([&] { WriteSetting("Values", "NSamp", Signed(NFFT)); });
    Step([&] { WriteSetting("Values", "CFB", Signed(CFBin)); });
    Step([&] { WriteSetting("Values", "NBINS", Signed(SigBWBins)); });
    Step([&] { WriteSetting("Values", "FMIN", Signed(spanLowBar.Value())); });
    Step([&] { WriteSetting("Values", "FMAX", Signed(spanHighBar.Value())); });
    Step([&] { WriteSetting("Values", "AVSCR", Signed(averagingBar.Value())); });
    Step([&] { WriteSetting("Values", "THRESH", Signed(thresholdBar.Value())); });
    Step([&] { WriteSetting("Values", "FILENAME", logFileBox.Text()); });
    Step([&] { WriteSetting("Values", "FFTSIZE", fftSizeBox.Text()); });
    Step([&] { WriteSetting("Values", "SBW", bandwidthBox.Text()); });
    // Both are called with or without an open input; their results are not needed.
    Input.Close();
    LogEnabled = 0;
    LogOut.Close();
}
