// A private PulseAudio server for the end-to-end tests: a null sink `cable`
// and a remap source `cable_in` of its monitor (the default input), on a
// socket in a temporary folder.  Started once per test process by a global
// test environment, before anything talks to PulseAudio (Qt keeps its first
// connection), and stopped at the end.
#pragma once
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include "support/ToneNoise.h"

// Kills the private server at once, as `pulseaudio --kill` or a crash would.
void KillPulseServer();
// Starts it again on the same socket: empty when it answers, else why not.
QString RestartPulseServer();
// Stops the server's process (SIGSTOP) for its lifetime: it keeps accepting
// connections but answers nothing, as a hung server does.
struct FrozenPulseServer {
    explicit FrozenPulseServer(bool freeze = true);
    ~FrozenPulseServer() { Thaw(); }
    void Thaw(); // SIGCONT, once
    bool frozen = false;
};

// The private server's socket folder, for files the tests play.
QString PulseServerFolder();
// Writes interleaved 16-bit stereo frames as a WAV file for paplay; its path.
QString WriteStereoWav(const QString& path, const std::vector<std::int16_t>& frames, std::uint32_t rate);
// Runs a command to its end: its exit status (-1: it did not run or finish).
int Command(const QString& program, const QStringList& args);

// Fails (never skips) when the server does not run; finds cable_in's device ID.
class CableTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::uint32_t cableIn = 0;
};

// The tone played into the cable: 1000 Hz at S/N 20 dB in 2500 Hz, written
// at the cable's own rate so it is resampled only once.  Noise of standard
// deviation 2000 at 48000 Hz has the density of 1000 at 12000 Hz.
inline const ToneNoise kCableTone{48000, 1000, 20, 2000};

// paplay of a WAV file of kCableTone into `cable`, killed when it goes out of scope.
struct TonePlayer : QProcess {
    explicit TonePlayer(int seconds = 14);
    ~TonePlayer() override
    {
        kill();
        waitForFinished(2000);
    }
};
// A TonePlayer named `player`, started, and waited for until its sound comes
// out of the cable (a silent first block would end a window's run).
#define PLAY_TONE(player)                                                      \
    TonePlayer player;                                                         \
    ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";        \
    QTest::qWait(1500)
