// Malformed texts typed into the window's text boxes, idle and during a
// run: no crash, no sanitizer report, and each box's own reaction.
#include <QCheckBox>
#include <QDir>

#include "support/RunHarness.h"

namespace {

// More than a hundred texts that are not numbers, or numbers too large to
// be a frequency: empty, lone signs and points, words, non-ASCII digits and
// letters, 40-digit and very long numbers, control characters.
QStringList Garbage()
{
    const QString forty = "1234567890123456789012345678901234567890";
    const QStringList base = {
        "", ".", "-", "+", "..", "--", "+-", "-.", ".-", "e", "E5", "e-3", "1e999", "-1e999", "1e+999",
        "nan", "NaN", "-nan", "inf", "-inf", "Infinity", "0x1F", "abc", "Hz", "kHz", "twelve", forty,
        "-" + forty, forty + "." + forty, QString(10000, '9'), QString(100000, 'x'), "1e309",
        QString::fromUtf8("١٢٣٤"), QString::fromUtf8("１２３４"), QString::fromUtf8("ü"),
        QString::fromUtf8("日本語"), QString::fromUtf8("🙂"), QString::fromUtf8("€5"), QString(QChar(0)),
        "\t", "\x01\x02", "'", "\"", "\\", "/", "%s%n", "NULL", "1.2.3", "1,000", "--5", "5e", ".e1",
    };
    QStringList all;
    for (const QString& b : base) all << b << " " + b << b + "!";
    return all;
}

using TypedGarbage = WindowTest;

// Not a rate between 4000 and 48000: the top of the span stays, the bottom
// goes to 20.  Any log file name: the file opens, or the switch clears itself
// and says so.
TEST_F(TypedGarbage, RateAndLogFileBoxes)
{
    const QString here = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(h->dir.path())); // names are relative to the working folder
    Parlune& w = Load();
    w.logToFileCheck.setEnabled(true);
    for (const QString& text : Garbage()) {
        SCOPED_TRACE(text.left(40).toStdString());
        w.spanLowBar.DragTo(700);
        const int fmax = w.spanHighBar.Value();
        w.sampleRateBox.UserType(text);
        EXPECT_EQ(std::pair(w.spanLowBar.Value(), w.spanHighBar.Value()), std::pair(20, fmax));
        w.sampleRateBox.UserType("12000");
        ASSERT_EQ(w.SampleRate, 12000);
        w.logFileBox.setText(text);
        w.logToFileCheck.box()->click();
        EXPECT_TRUE(w.LogEnabled == w.logToFileCheck.Value() && (w.LogEnabled || w.logToFileCheck.Caption() == "Can't open"));
        if (w.LogEnabled) w.logToFileCheck.box()->click();
        EXPECT_FALSE(w.LogOut.IsOpen());
    }
    QDir::setCurrent(here);
}

// Between the blocks of a run: the run goes on and logs whole lines with its
// peak (996.09 Hz at 1024 points), the centre bin and bandwidth keep their
// values, the bandwidth box goes back to its spin and the period read-out
// rewrites itself.
TEST_F(TypedGarbage, DuringARun)
{
    Parlune& w = Prepare({}, {}, {.fftSize = "1024", .averaging = 1});
    const QStringList garbage = Garbage();
    const int perBlock = 40, blocks = int(garbage.size() / perBlock) + 1;
    int cfBin = -1, bwBins = -1;
    EXPECT_EQ(h->Run(blocks, [&](int block) {
        if (block == 1) {
            cfBin = w.CFBin, bwBins = w.SigBWBins;
            w.logFileBox.setText(h->dir.filePath("garbage.txt"));
            w.logToFileCheck.box()->click();
        }
        for (const QString& text : garbage.mid((block - 1) * perBlock, perBlock))
            for (TextBox* box : {&w.centreFrequencyBox, &w.bandwidthBox, &w.periodBox, &w.logIntervalBox}) box->setText(text);
        EXPECT_EQ(std::tuple(w.CFBin, w.SigBWBins, w.bandwidthBox.Text(), w.periodBox.Text(), w.LogEnabled),
                  std::tuple(cfBin, bwBins, QString("100"), QString("0.1"), 1));
    }), blocks);
    EXPECT_TRUE(h->messages.isEmpty());
    QFile log(h->dir.filePath("garbage.txt"));
    const QByteArray lines = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    EXPECT_TRUE(lines.count("\r\n") >= 1 && lines.count("\r\n") == lines.count(", 996.09, ") && lines.endsWith("\r\n"))
        << lines.toStdString();
}

} // namespace
