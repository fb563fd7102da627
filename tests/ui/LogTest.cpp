// The log switch, the logging step with a hand-set clock, the file it
// appends to, and the caption clock.  (Lines logged by a run: RobustnessTest.)
#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>

#include "support/FakeClock.h"
#include "support/RunHarness.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Log : public WindowTest {
protected:
    // A loaded window after a run start, so logging can be switched on.
    Parlune& Ready(const QString& file)
    {
        Parlune& w = Load();
        w.logFileBox.setText(file);
        w.logToFileCheck.setEnabled(true);
        return w;
    }
    FakeClock clock;
    const BlockResult result{.NoiseLevel = 12.04, .PeakLevel = 45.26, .PeakHz = 1234.5, .SN1HzDb = 50.96};
};

// Blocks of 0.7 s with a 5 s interval: a line every eight blocks (5.6 s), red
// on exactly the blocks that write, also across midnight; an interval that is
// not a number writes every block.  Each line is on disk at once, after what
// the file held.
TEST_F(Log, IntervalCountsBlocksAndLinesAreAppendedAtOnce)
{
    const struct { double start; const char* interval; int every; const char* first; } cases[] = {
        {50000, "5", 8, "13:53:25"}, {86400 - 12, "5", 8, "23:59:53"}, {1000, "soon", 1, "00:16:40"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        const QString path = h->dir.filePath(QString("interval%1.txt").arg(c.start));
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("earlier line\r\n") > 0);
        old.close();
        Parlune& w = Ready(path);
        w.logIntervalBox.setText(c.interval);
        clock.seconds = c.start;
        w.logToFileCheck.box()->click();
        ASSERT_EQ(w.LogEnabled, 1);
        for (int block = 1; block <= 40; ++block) {
            clock.seconds = std::fmod(c.start + 0.7 * block, 86400.0);
            const auto before = ReadAll(path).size();
            w.LogStep(result);
            const bool wrote = ReadAll(path).size() > before;
            EXPECT_EQ(std::pair(wrote, w.logToFileCheck.ForeColor()), std::pair(block % c.every == 0, wrote ? RGB(255, 0, 0) : RGB(0, 0, 0)))
                << block;
        }
        const QByteArray firstTwo = "earlier line\r\n" + QByteArray(c.first) + ", 1234.50, 45.3, 12.0, 51.0\r\n";
        EXPECT_EQ(ReadAll(path).left(firstTwo.size()), firstTwo);
    }
}

// A file that cannot be opened, or (a full disk) written: the switch clears
// and says so in a caption that fits the box's one line, and in its tool tip.
// Then the caption clock.
TEST_F(Log, FileThatCannotBeUsedClearsTheSwitchAndSaysSo)
{
    const QString missing = h->dir.filePath("no-such-folder/log.txt");
    Parlune& w = Ready(missing);
    w.show();
    auto says = [&w](const QString& caption, const QString& tip) {
        QCheckBox* box = w.logToFileCheck.box();
        QStyleOptionButton opt;
        opt.initFrom(box);
        opt.text = box->text();
        const int room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, box).width();
        EXPECT_LE(box->fontMetrics().horizontalAdvance(box->text()), room) << box->text().toStdString();
        EXPECT_EQ(std::tuple(w.LogEnabled, w.logToFileCheck.Value(), w.logToFileCheck.ForeColor(), w.logToFileCheck.Caption(),
                             w.logToFileCheck.ToolTipText()),
                  std::tuple(0, 0, RGB(0, 0, 0), caption, tip));
    };
    w.logToFileCheck.box()->click();
    says("Can't open", "Log to File: cannot open \"" + missing + "\"");

    // The start clears the old message.
    w.logFileBox.setText("/dev/full");
    w.logToFileCheck.box()->click();
    EXPECT_EQ(std::tuple(w.LogEnabled, w.logToFileCheck.Caption(), w.logToFileCheck.ToolTipText()), std::tuple(1, QString("Log to File"), QString()));
    w.logToFileCheck.setForeColor(RGB(255, 0, 0)); // as after a line written: the failure clears it
    clock.seconds += 100;
    w.LogStep(result);
    says("Write failed", "Log to File: cannot write to \"/dev/full\"; logging stopped");

    clock.now = {2024, 3, 7, 9, 5, 1};
    w.Timer1_Timer();
    EXPECT_EQ(w.Caption(), "Parlune    Mereth                    2024/03/07  09:05:01");
}

} // namespace
