// Logging switched on while a run goes on over the built-in test signal.
#include <QCheckBox>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "support/Garbage.h"
#include "support/RunHarness.h"

namespace {
struct LogDuringARun : RunTestBase {
    QTemporaryDir dir;
};
} // namespace

TEST_F(LogDuringARun, WellFormedLinesFromTheTestSignal)
{
    Parlune& w = Prepare();
    w.logFileBox.setText(dir.filePath("run.txt"));
    w.logIntervalBox.setText("0");
    EXPECT_EQ(h->Run(6, [&](int block) {
        if (block == 1)
            w.logToFileCheck.box()->click(); // enabled by the start
    }), 6);
    EXPECT_TRUE(h->messages.isEmpty());
    QFile f(dir.filePath("run.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_GE(lines.size(), 4); // blocks 2 .. 6, and what follows the last line end
    EXPECT_TRUE(lines.last().isEmpty());
    const QRegularExpression form(R"(^\d\d:\d\d:\d\d, \d+\.\d\d, -?\d+\.\d, -?\d+\.\d, -?\d+\.\d\r$)");
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        EXPECT_TRUE(form.match(QString::fromLatin1(lines[i])).hasMatch()) << lines[i].toStdString();
    EXPECT_TRUE(lines[lines.size() - 2].contains(", 1000.49, ")) << lines[lines.size() - 2].toStdString();
}

// Every box that stays live during a run gets the malformed texts between
// blocks: the run goes on, the centre bin and the bandwidth keep their values.
TEST_F(LogDuringARun, TypedGarbageLeavesTheRunGoing)
{
    Parlune& w = Prepare({}, {}, {.fftSize = "1024", .averaging = 1});
    const QStringList garbage = Garbage();
    const int perBlock = 40, blocks = int(garbage.size() / perBlock) + 1;
    int cfBin = -1, bwBins = -1;
    EXPECT_EQ(h->Run(blocks, [&](int block) {
        if (block == 1) {
            cfBin = w.CFBin;
            bwBins = w.SigBWBins;
            w.logFileBox.setText(dir.filePath("garbage.txt"));
            w.logToFileCheck.box()->click();
        }
        for (const QString& text : garbage.mid((block - 1) * perBlock, perBlock)) {
            w.centreFrequencyBox.setText(text);
            w.bandwidthBox.setText(text);
            w.periodBox.setText(text);
            w.logIntervalBox.setText(text);
        }
        EXPECT_EQ(w.CFBin, cfBin);
        EXPECT_EQ(w.SigBWBins, bwBins);
        EXPECT_EQ(w.LogEnabled, 1);
    }), blocks);
    EXPECT_TRUE(h->messages.isEmpty());
}
