// The real main window on a temporary settings folder, message boxes
// answered and recorded: loaded from the store as often as a test asks, set
// up as a user would before pressing START, and run for a number of blocks.
#pragma once
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "capture/InputBackend.h"
#include "capture/TestSignal.h"
#include "ui/Parlune.h"
#include "ui/Settings.h"

struct RunSettings {
    QString rate = "12000", fftSize = "8192";
    int window = 1; // WindType list position: Blackman Harris
    QString cf = "1000", bandwidth = "100";
    int averaging = 4;
};

class RunHarness {
public:
    // The folder and the hook; with show, the window too, loaded and shown as a program start makes it.
    explicit RunHarness(bool show = true)
    {
        EXPECT_TRUE(dir.isValid());
        SetSettingsFolder(dir.path());
        SetMsgBoxHook([this](const QString& text) { messages << text; });
        if (show) Load().show();
    }
    ~RunHarness() { w_.reset(), SetMsgBoxHook({}), SetSettingsFolder({}); }
    // A new window (one at a time), its settings read from the store and its devices listed, not yet shown.
    Parlune& Load()
    {
        w_.reset();
        w_ = std::make_unique<Parlune>();
        w_->Form_Load();
        return *w_;
    }
    Parlune& w() { return *w_; }
    // The store's file written as given (a hand-edited or damaged store).
    void WriteStoreFile(const QByteArray& content)
    {
        QFile f(SettingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size());
    }
    // Chooses the entry with this text as a user would; fails the test when there is none.
    void Choose(ComboBox& box, const QString& entry)
    {
        for (int i = 0; i < box.ListCount(); ++i)
            if (box.List(i) == entry) return box.UserChoose(i);
        ADD_FAILURE() << box.Name().toStdString() << " has no entry " << entry.toStdString();
    }
    void ChooseDevice(const QString& name) { Choose(w_->deviceBox, name); }
    void Apply(const RunSettings& s)
    {
        Choose(w_->sampleRateBox, s.rate);
        Choose(w_->fftSizeBox, s.fftSize);
        w_->windowTypeBox.UserChoose(s.window);
        w_->centreFrequencyBox.setText(s.cf);
        w_->bandwidthBar.setValue(s.bandwidth.toInt()); // the box follows its spin
        w_->averagingBar.setValue(s.averaging);
    }

    // Presses START and clicks STOP at the end-of-block yield of block
    // `blocks` (never when 0), or after `timeoutMs`, which fails the test.
    // onBlock runs at every block with its number from 1.  Returns the
    // blocks that ended normally.
    int Run(int blocks, const std::function<void(int block)>& onBlock = {}, int timeoutMs = 60000)
    {
        Parlune& w = *w_;
        int done = 0;
        bool timedOut = false;
        auto stop = [&w] { w.stopButton.Visible() ? w.stopButton.Click() : void(); };
        w.BlockDoneHook = [&] { ++done, onBlock ? onBlock(done) : void(), done == blocks ? stop() : void(); };
        QObject watchdog; // its timer ends with the run
        QTimer::singleShot(timeoutMs, &watchdog, [&] { timedOut = true, stop(); });
        w.startButton.Click();
        w.BlockDoneHook = nullptr;
        EXPECT_FALSE(timedOut) << "the run did not end within " << timeoutMs << " ms";
        return done;
    }

    QTemporaryDir dir;
    QStringList messages; // every message box text, in order

private:
    std::unique_ptr<Parlune> w_;
};

// A test on that window: Load() makes it from the store; Prepare() makes it
// over the given input backends with `device` chosen and the run settings
// applied (no backends: the built-in test signals only, the first chosen).
struct WindowTest : ::testing::Test {
    Parlune& Load() { return h->Load(); }
    Parlune& Prepare(BackendList devices = {}, const QString& device = "Fed input", const RunSettings& s = {})
    {
        const bool testSignal = devices.empty();
        if (testSignal) AppendTestSignals(devices);
        SetBackendsForTest(std::move(devices));
        h.reset(); // one store and one hook at a time
        h = std::make_unique<RunHarness>();
        h->ChooseDevice(testSignal ? QString(kTestSignals[0].shortName) : device);
        h->Apply(s);
        return h->w();
    }
    void TearDown() override { h.reset(), ResetBackends(); }
    std::unique_ptr<RunHarness> h = std::make_unique<RunHarness>(false);
};
