#include "RunHarness.h"

#include <QTimer>
#include <gtest/gtest.h>

#include "ui/Settings.h"

RunHarness::RunHarness()
{
    SetSettingsFolder(settings_.path());
    SetMsgBoxHook([this](const QString& text) { messages << text; });
    w_ = std::make_unique<Parlune>();
    w_->Form_Load();
    w_->show();
}

RunHarness::~RunHarness()
{
    w_->BlockDoneHook = nullptr;
    w_.reset();
    SetMsgBoxHook({});
    SetSettingsFolder({});
}

void RunHarness::Choose(ComboBox& box, const QString& entry)
{
    for (int i = 0; i < box.ListCount(); ++i)
        if (box.List(i) == entry) {
            box.UserChoose(i);
            return;
        }
    ADD_FAILURE() << box.Name().toStdString() << " has no entry " << entry.toStdString();
}

void RunHarness::ChooseDevice(const QString& name) { Choose(w_->DeviceBox, name); }

void RunHarness::Apply(const RunSettings& s)
{
    Choose(w_->SRate, s.rate);
    Choose(w_->FFTSize, s.fftSize);
    w_->WindType.UserChoose(s.window);
    w_->CF.setText(s.cf);
    w_->SigBWUD.setValue(s.bandwidth.toInt()); // the box follows its spin
    w_->AvScroll.setValue(s.averaging);
}

int RunHarness::Run(int blocks, const std::function<void(int block)>& onBlock, int timeoutMs)
{
    Parlune& w = *w_;
    int done = 0;
    w.BlockDoneHook = [&] {
        ++done;
        if (onBlock)
            onBlock(done);
        if (done == blocks && w.Stopit.Visible())
            w.Stopit.Click();
    };
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        if (w.Stopit.Visible())
            w.Stopit.Click();
    });
    watchdog.start(timeoutMs);
    w.Start.Click();
    watchdog.stop();
    w.BlockDoneHook = nullptr;
    EXPECT_FALSE(timedOut) << "the run did not end within " << timeoutMs << " ms";
    return done;
}
