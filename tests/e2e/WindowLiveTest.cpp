// The main window on the private PulseAudio server's `cable_in`, as a user
// would run it: closing during the capture wait, the server lost and back;
// a server that does not answer, also under parlune-measure.
#include <QElapsedTimer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "PulseServer.h"
#include "support/Eventually.h"
#include "capture/TestSignal.h"
#include "engine/Measurement.h"
#include "support/MeasureRun.h"
#include "support/RunHarness.h"
#include "support/WaveBlock.h"

namespace {

constexpr int kFrames = 8192;
constexpr double kBlockS = kFrames / 12000.0; // 0.683 s

struct RunCableE2E : CableTest {
    void SetUp() override
    {
        CableTest::SetUp();
        h.ChooseDevice("cable_in");
        h.Apply({});
    }
    RunHarness h;
    Parlune& w = h.w();
};

TEST_F(RunCableE2E, ClosingTheWindowDuringTheCaptureWaitEndsTheRunAndFreesTheInput)
{
    QTimer::singleShot(300, [&] { w.close(); }); // inside the first 0.68 s wait
    EXPECT_EQ(h.Run(0), 0);
    EXPECT_TRUE(w.Closing);
    EXPECT_LT(w.Input.Header().dwBytesRecorded, 4u * kFrames); // the wait ended before the block was full
    const WAVEFORMATEX f = Stereo16(); // the device was closed: it opens again at once
    HWAVEIN again = 0;
    EXPECT_EQ(waveInOpen(&again, cableIn, &f, 0, 0, 0), MMSYSERR_NOERROR);
    waveInClose(again);
}

// The server killed mid-run: the window says so within three blocks and
// ends the run; after STOP, Start waits for the device to be chosen again.
// With the server back, a Restart measures the cable's tone: its S/N every
// block, its frequency once the ring of four is full.  Closing then writes
// the settings, and the log has kept its line from before the loss.
TEST_F(RunCableE2E, LosingTheAudioServerMidRunThenRestartingAndClosing)
{
    const QString log = QDir::temp().filePath("parlune-e2e-lost.txt");
    QFile::remove(log);
    w.logFileBox.setText(log);
    w.logIntervalBox.setText("0");
    {
        PLAY_TONE(player);
        QElapsedTimer sinceKill;
        EXPECT_EQ(h.Run(0, [&](int block) {
            if (block == 1) w.logToFileCheck.box()->click();
            if (block == 2) KillPulseServer(), sinceKill.start();
        }), 2);
        EXPECT_LT(sinceKill.elapsed(), 3000 * kBlockS);
    }
    EXPECT_EQ(std::tuple(w.deviceBox.Visible(), w.deviceBox.Text(), w.deviceBox.BackColor(), w.stopButton.Visible()),
              std::tuple(true, QString("Input lost"), RGB(255, 0, 0), true));
    w.logToFileCheck.box()->click(); // the log keeps block 2's line
    w.stopButton.Click();
    EXPECT_EQ(std::pair(w.startButton.Caption(), w.startButton.Enabled()), std::pair(QString("Restart"), false));

    ASSERT_EQ(RestartPulseServer(), "");
    // Qt reconnects to the server every 3 s; nothing opens the cable before the Restart.
    ASSERT_EVENTUALLY(waveInGetNumDevs() > cableIn && waveInFullName(cableIn) == "cable_in", 15000);
    PLAY_TONE(player);
    h.ChooseDevice("cable_in");
    EXPECT_EQ(w.deviceBox.BackColor(), RGB(255, 255, 255));
    EXPECT_EQ(h.Run(4, [&](int) { EXPECT_NEAR(SN2500HzDb(w.SN1HzDb), 20.0, 0.5); }), 4);
    EXPECT_EQ(w.peakFrequencyLabel.Caption(), "Freq    1000.49Hz");
    EXPECT_TRUE(h.messages.isEmpty()) << h.messages.join("|").toStdString();
    EXPECT_NE(w.Input.Handle(), 0u);

    w.close();
    EXPECT_TRUE(w.Closing);
    QFile settings(SettingsFilePath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("fftsize=8192"));
    QFile lines(log);
    ASSERT_TRUE(lines.open(QIODevice::ReadOnly));
    EXPECT_EQ(lines.readAll().count("\r\n"), 1);
    QFile::remove(log);
}

// A server that accepts connections but never answers holds up neither
// front-end: parlune-measure's listing and opening give up within 5 s with
// one line each; the window lists the test signals at once and adds the
// server's devices when it answers, the chosen entry kept.
TEST_F(CableTest, FrozenServerHoldsUpNeitherFrontEnd)
{
    FrozenPulseServer frozen;
    ASSERT_TRUE(frozen.frozen);
    QElapsedTimer clock;
    clock.start();
    const Outcome list = Measure({"--list-inputs"});
    EXPECT_LT(clock.elapsed(), 7000);
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out, QString("0\t%1\n1\t%2\n").arg(kTestSignals[0].shortName, kTestSignals[1].shortName));
    EXPECT_EQ(list.err, "parlune-measure: the audio server did not answer within 5 s (stopped?); only the test signals are listed\n");
    clock.restart();
    const Outcome cable = Measure({"--input", "cable_in", "--duration", "1"});
    EXPECT_LT(clock.elapsed(), 7000);
    EXPECT_EQ(std::pair(cable.status, cable.err.count('\n')), std::pair(1, qsizetype(1))) << cable.err.toStdString();

    clock.restart();
    RunHarness h; // the window made, its settings read, its devices listed
    EXPECT_LT(clock.elapsed(), 2000);
    Parlune& w = h.w();
    ASSERT_EQ(w.deviceBox.ListCount(), 2);
    h.ChooseDevice(kTestSignals[1].shortName);
    frozen.Thaw();
    ASSERT_EVENTUALLY(w.deviceBox.ListCount() > 2, 10000);
    EXPECT_EQ(w.deviceBox.List(int(cableIn)), "cable_in");
    EXPECT_EQ(std::pair(w.deviceBox.ListIndex(), w.deviceBox.Text()),
              std::pair(w.deviceBox.ListCount() - 1, QString(kTestSignals[1].shortName)));
}

} // namespace
