// Logging and typing while a run goes on over the built-in test signal, and
// closing the window in the middle of a run.
#include <QCheckBox>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "capture/InputBackend.h"
#include "capture/TestSignal.h"
#include "support/Garbage.h"
#include "support/RunHarness.h"
#include "ui/Settings.h"

namespace {

const QString kToneDevice = "Test signal 1000 Hz, S/N 20 dB";

class DuringARun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(logDir.isValid());
        BackendList list;
        AppendTestSignals(list);
        SetBackendsForTest(list);
    }
    void TearDown() override { ResetBackends(); }
    QTemporaryDir logDir;
};

TEST_F(DuringARun, LogLinesFromTheTestSignal)
{
    RunHarness h;
    Parlune& w = h.w();
    const QString path = logDir.filePath("run.txt");
    w.LogFile.setText(path);
    w.LogInterval.setText("0");
    h.ChooseDevice(kToneDevice);
    h.Apply({});
    const int blocks = h.Run(6, [&](int block) {
        if (block == 1)
            w.LogToFile.box()->click(); // enabled by the start
    });
    EXPECT_EQ(blocks, 6);
    EXPECT_TRUE(h.messages.isEmpty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_GE(lines.size(), 4); // blocks 2 .. 6, and what follows the last line end
    EXPECT_TRUE(lines.last().isEmpty());
    const QRegularExpression form(R"(^\d\d:\d\d:\d\d, \d+\.\d\d, -?\d+\.\d, -?\d+\.\d, -?\d+\.\d\r$)");
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        EXPECT_TRUE(form.match(QString::fromLatin1(lines[i])).hasMatch()) << lines[i].toStdString();
    EXPECT_TRUE(lines[lines.size() - 2].contains(", 1000.49, ")) << lines[lines.size() - 2].toStdString();
}

TEST_F(DuringARun, TypedGarbageLeavesTheRunGoing)
{
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice(kToneDevice);
    h.Apply({});
    const QStringList garbage = Garbage();
    const int perBlock = 20;
    const int blocks = h.Run(garbage.size() / perBlock, [&](int block) {
        const int cfBin = w.CFBin;
        for (int i = (block - 1) * perBlock; i < block * perBlock && i < garbage.size(); ++i) {
            const QString& text = garbage[i];
            w.CF.setText(text);
            w.SigBW.setText(text);
            w.SRate.UserType(text);   // disabled during a run: nothing happens
            w.FFTSize.UserType(text); // likewise
            w.DetPeriod.setText(text);
            w.LogFile.setText(text);
            w.LogInterval.setText(text);
        }
        EXPECT_EQ(w.CFBin, cfBin) << "block " << block;
        EXPECT_EQ(w.SigBW.Text(), "100") << "block " << block;
        EXPECT_EQ(w.SRate.Text(), "12000") << "block " << block;
        EXPECT_EQ(w.DetPeriod.Text(), "2.7") << "block " << block; // 4 x 8192 / 12000
    });
    EXPECT_EQ(blocks, garbage.size() / perBlock);
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST_F(DuringARun, ClosingMidRunWritesTheSettings)
{
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice(kToneDevice);
    h.Apply({});
    const int blocks = h.Run(100, [&](int block) {
        if (block == 3)
            w.close();
    });
    EXPECT_EQ(blocks, 3);
    EXPECT_EQ(ReadSetting("Values", "NSamp", "absent"), " 8192");
    EXPECT_EQ(ReadSetting("Values", "CFB", "absent"), " 682"); // the run start truncates 1000 Hz
    EXPECT_EQ(ReadSetting("Values", "SBW", "absent"), "100");
    EXPECT_EQ(ReadSetting("Values", "AVSCR", "absent"), " 4");
}

} // namespace
