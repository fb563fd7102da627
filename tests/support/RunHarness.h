// The real main window on a temporary settings folder, set up the way a user
// would before pressing START, with message boxes answered and recorded and
// a run that stops itself after a given number of blocks.
#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "ui/Parlune.h"

struct RunSettings {
    QString rate = "12000";
    QString fftSize = "8192";
    int window = 1; // WindType list position: Blackman Harris
    QString cf = "1000";
    QString bandwidth = "100";
    int averaging = 4;
};

class RunHarness {
public:
    RunHarness();  // fresh settings, window made and loaded
    ~RunHarness();

    Parlune& w() { return *w_; }

    // Chooses the list entry with this text, as a user would; fails the test
    // when there is none.
    void Choose(ComboBox& box, const QString& entry);
    void ChooseDevice(const QString& name);
    void Apply(const RunSettings& s);

    // Presses START and answers STOP at the end-of-block yield after
    // `blocks` blocks (never when 0).  onBlock runs at every end-of-block
    // yield with the block's number from 1.  Returns the blocks that ended
    // normally; a run that is still going after `timeoutMs` is stopped and
    // reported as a test failure.
    int Run(int blocks, const std::function<void(int block)>& onBlock = {}, int timeoutMs = 60000);

    QStringList messages; // every message box text, in order

private:
    QTemporaryDir settings_;
    std::unique_ptr<Parlune> w_;
};
