// Closing the main window, and the secondary windows it owns.
#include <QCloseEvent>
#include <QCoreApplication>

#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "ui/Parlune.h"

// Closing ends the program at once, also in the middle of a run.  A run loop
// nested inside the Start handler keeps running until it sees Closing (or
// StopReq) and returns; the application's event loop then ends on the quit
// request made here.
void Parlune::closeEvent(QCloseEvent* e)
{
    Closing = true;
    StopReq = true;
    Form_Unload();
    if (monWF_)
        monWF_->hide();
    if (monHisto_)
        monHisto_->hide();
    e->accept();
    QCoreApplication::quit();
}

namespace {
// A secondary window: a top-level window of its own, owned by the main window
// and deleted when the user closes it (the next use makes a fresh one).
template <class W> W& SecondaryWindow(QPointer<W>& slot, QWidget* owner)
{
    if (!slot) {
        slot = new W(owner);
        slot->setWindowFlag(Qt::Window, true);
        slot->setAttribute(Qt::WA_DeleteOnClose);
        slot->hide();
    }
    return *slot;
}
} // namespace

MonWF& Parlune::monWF() { return SecondaryWindow(monWF_, this); }
MonHisto& Parlune::monHisto() { return SecondaryWindow(monHisto_, this); }
