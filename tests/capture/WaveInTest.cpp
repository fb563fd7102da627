// The waveIn layer's rules, driven through fake devices: records, open
// results, buffer filling, gaps, reset and close.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

#include "capture/CaptureSession.h"
#include "support/Eventually.h"
#include "support/FakeInput.h"
#include "support/WaveBlock.h"

namespace {

// Frames whose samples count up from `first`, right = -left.
std::vector<std::int16_t> Ramp(int first, int frames)
{
    std::vector<std::int16_t> v;
    for (int i = first; i < first + frames; ++i)
        v.insert(v.end(), {static_cast<std::int16_t>(i), static_cast<std::int16_t>(-i)});
    return v;
}

struct WaveInTest : ::testing::Test {
    void SetUp() override { SetBackendsForTest({a, b}); }
    void TearDown() override
    {
        waveInClose(h);
        ResetBackends();
    }
    // Opens `dev`, starts it and queues one buffer of `frames` frames.
    void Run(std::uint32_t dev, int frames)
    {
        const WAVEFORMATEX f = Stereo16();
        ASSERT_EQ(waveInOpen(&h, dev, &f, 0, 0, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
        ASSERT_TRUE(blk.Queue(h, frames));
    }
    std::shared_ptr<FakeInput> a = std::make_shared<FakeInput>("Line In");
    std::shared_ptr<FakeInput> b = std::make_shared<FakeInput>("USB Codec", WAVE_FORMAT_1S16, /*isDefault=*/true);
    HWAVEIN h = 0;
    WaveBlock blk;
};

TEST_F(WaveInTest, OpenWritesADistinctHandleOnSuccessAndZeroOnFailure)
{
    EXPECT_EQ(sizeof(WAVEINCAPSA), 48u); // with a 32-byte name and the formats at 40
    EXPECT_EQ(sizeof(WAVEINCAPSA::szPname), 32u);
    EXPECT_EQ(offsetof(WAVEINCAPSA, dwFormats), 40u);
    WAVEINCAPSA caps;
    EXPECT_EQ(waveInGetDevCapsA(0, &caps, 47), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInGetDevCapsA(0, nullptr, 48), MMSYSERR_INVALPARAM);
    // Names are cut to 32 bytes between characters; bytes that are no UTF-8 give nothing to keep.
    EXPECT_EQ(TruncateName(std::string(31, 'a') + "\xC3\xA9"), std::string(31, 'a'));
    EXPECT_EQ(TruncateName(std::string(40, '\x80')), "");
    WAVEFORMATEX good = Stereo16(), mono8 = good, noRate = Stereo16(0), float32 = good;
    mono8.nChannels = mono8.nBlockAlign = 1;
    mono8.wBitsPerSample = 8;
    float32.wFormatTag = 3;
    const struct { std::uint32_t id; const WAVEFORMATEX* format; MMRESULT result; } cases[] = {
        {0, &good, MMSYSERR_NOERROR}, {1, &good, MMSYSERR_NOERROR}, {WAVE_MAPPER, &good, MMSYSERR_NOERROR}, {2, &good, MMSYSERR_BADDEVICEID},
        {WAVE_MAPPER - 1, &good, MMSYSERR_BADDEVICEID},
        {0, &mono8, WAVERR_BADFORMAT}, {0, &noRate, WAVERR_BADFORMAT}, {0, &float32, WAVERR_BADFORMAT}, {0, nullptr, MMSYSERR_INVALPARAM}};
    std::vector<HWAVEIN> handles;
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        HWAVEIN got = 12345;
        EXPECT_EQ(waveInOpen(&got, c.id, c.format, 0, 0, 0), c.result);
        EXPECT_EQ(got == 0, c.result != MMSYSERR_NOERROR);
        EXPECT_EQ(std::count(handles.begin(), handles.end(), got), 0);
        if (got != 0) handles.push_back(got);
    }
    for (HWAVEIN x : handles) EXPECT_EQ(waveInClose(x), MMSYSERR_NOERROR);
}

TEST_F(WaveInTest, MapperBufferTakesExactlyItsFramesThenIsDoneAndLaterAudioIsDropped)
{
    Run(WAVE_MAPPER, 10); // the default device, b
    EXPECT_EQ(a->stream, nullptr);
    b->Push(Ramp(1, 4));
    EXPECT_FALSE(blk.Done());
    EXPECT_EQ(blk.hdr.dwBytesRecorded, 16u);
    b->Push(Ramp(5, 9)); // 3 more than fit
    ASSERT_TRUE(blk.Done());
    EXPECT_EQ(blk.hdr.dwBytesRecorded, 40u);
    EXPECT_EQ(b->stream->wanted, 0u);
    std::vector<std::int16_t> expect = Ramp(1, 10);
    expect.resize(expect.size() + 8, 7777); // guard frames untouched
    EXPECT_EQ(blk.data, expect);

    b->Push(Ramp(100, 3)); // no buffer queued: dropped
    const int discards = b->stream->discards;
    ASSERT_TRUE(blk.Queue(h, 4));
    EXPECT_EQ(b->stream->discards, discards + 1); // undelivered audio is thrown away too
    b->Push(Ramp(200, 4));
    ASSERT_TRUE(blk.Done());
    EXPECT_EQ(std::vector(blk.data.begin(), blk.data.begin() + 8), Ramp(200, 4));
}

TEST_F(WaveInTest, ResetReturnsTheQueuedBufferDoneAndResetCloseAcceptZeroAndClosedHandles)
{
    Run(0, 8);
    a->Push(Ramp(1, 3));
    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(blk.Done());
    EXPECT_EQ(blk.hdr.dwBytesRecorded, 12u);
    EXPECT_EQ(a->stream->wanted, 0u);
    // Stopped, it is not watched for silence (1 s after audio), with or without a buffer queued.
    EXPECT_FALSE(QTest::qWaitFor([&] { return waveInIsLost(h); }, 1500));
    ASSERT_TRUE(blk.Queue(h, 4));
    EXPECT_FALSE(QTest::qWaitFor([&] { return waveInIsLost(h); }, 1500));
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    EXPECT_EQ(a->stream->wanted, 4u); // the new buffer's frames alone
    WAVEHDR noData;
    for (const auto& [hdr, size] : {std::pair<WAVEHDR*, std::uint32_t>{&blk.hdr, 31}, {&noData, 32}, {nullptr, 32}}) {
        EXPECT_EQ(waveInPrepareHeader(h, hdr, size), MMSYSERR_INVALPARAM);
        EXPECT_EQ(waveInAddBuffer(h, hdr, size), MMSYSERR_INVALPARAM);
    }
    const HWAVEIN closed = std::exchange(h, 0);
    ASSERT_EQ(waveInClose(closed), MMSYSERR_NOERROR);
    EXPECT_TRUE(blk.Done()); // close returned the queued buffer
    EXPECT_EQ(a->stream, nullptr);
    for (HWAVEIN x : {HWAVEIN{0}, closed, HWAVEIN{0xDEADBEEF}}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(waveInReset(x), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInClose(x), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInAddBuffer(x, &blk.hdr, 32), MMSYSERR_INVALHANDLE);
    }
}

} // namespace

// A session started on a fresh fake device (its handle h), closed at the end.
struct WaveInLoss : ::testing::Test {
    void Start()
    {
        dev = std::make_shared<FakeInput>("Line In");
        SetBackendsForTest({dev});
        ASSERT_EQ(session.Open(0, Stereo16()), MMSYSERR_NOERROR);
        ASSERT_EQ(session.Start(), MMSYSERR_NOERROR);
        h = session.Handle();
    }
    void TearDown() override
    {
        session.Close();
        ResetBackends();
    }
    std::shared_ptr<FakeInput> dev;
    CaptureSession session;
    HWAVEIN h = 0;
};

// A device that reports its loss, or goes silent once audio has flowed, ends
// the wait: the buffer comes back done, the handle reads lost and takes no
// more buffers, and reset and close still work.  Silence is a loss after
// three buffer lengths, at least 1 s; a stream that has not delivered yet
// (an empty delivery is no audio) gets 10 s to start.
TEST_F(WaveInLoss, ReportedOrSilentDeviceIsLostAndReleasable)
{
    enum Case { Reported, SilentAfterData, NeverDelivers };
    // At 12000 Hz 1024 frames last 85 ms, 6000 frames 0.5 s.  Never sooner
    // than due; a loaded machine may wake a little late.
    const struct { Case c; int frames; double due; } cases[] = {
        {Reported, 1024, 0.1}, {SilentAfterData, 1024, 1.1}, {SilentAfterData, 6000, 1.6}, {NeverDelivers, 1024, 10}};
    for (const auto& [c, frames, due] : cases) {
        SCOPED_TRACE(due);
        Start();
        WaveBlock blk;
        if (c == Reported) QTimer::singleShot(100, [&] { dev->stream->Lost(); });
        if (c == SilentAfterData) QTimer::singleShot(100, [&] { dev->Push(Ramp(0, 10)); });
        if (c == NeverDelivers) dev->Push({});
        const double waited = blk.Capture(h, frames);
        EXPECT_TRUE(waited > due - 0.1 && waited < due + 2) << waited;
        EXPECT_TRUE(blk.Done() && waveInIsLost(h));
        EXPECT_EQ(blk.Queue(h, 1024), false);
        EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
        EXPECT_FALSE(waveInIsLost(h));
    }
}

// A watchdog that fires over 0.5 s late means this process did not run (a
// stopped process; here the event loop held up): the device gets one fresh
// period, and only one until it delivers again.
TEST_F(WaveInLoss, ALateWatchdogGivesTheDeviceOneFreshPeriod)
{
    Start();
    WaveBlock blk;
    ASSERT_TRUE(blk.Queue(h, 1024));
    dev->Push(Ramp(0, 10)); // audio flows: silence is a loss after 1 s
    bool lost[3] = {};
    for (bool& l : lost) {
        QTest::qSleep(1700);
        QCoreApplication::processEvents(); // a late watchdog fires
        l = waveInIsLost(h);
        if (&l == &lost[0]) dev->Push(Ramp(10, 10)); // audio again: a fresh grace
    }
    EXPECT_EQ(std::vector<bool>(lost, lost + 3), (std::vector<bool>{false, false, true}));
}

// A stream whose first audio comes 2 s after the open (as a new PulseAudio
// stream's may) fills its buffer: the capture waits for it, with no loss.
TEST_F(WaveInLoss, SlowFirstDataIsNotALoss)
{
    Start();
    QTimer::singleShot(2000, [&] { dev->Push(Ramp(0, 1024)); });
    std::vector<std::int16_t> frames(2 * 1024);
    EXPECT_EQ(session.Capture(frames.data(), 4 * 1024, [] { return false; }), CaptureEnd::Done);
    EXPECT_EQ(frames, Ramp(0, 1024));
}

namespace {

// Gapless capture as a monitor runs it: three buffers queued, each put back
// after use.  A device that delivers in pieces smaller than a buffer, every
// 50 ms for 1.5 s, fills them in order with nothing lost, and is never taken
// for lost (every delivery restarts the silence limit of 1 s).
TEST_F(WaveInLoss, GaplessBuffersFillInTurnAndSteadyAudioIsNotALoss)
{
    Start();
    constexpr int kFrames = 1024, kPiece = 256, kPieces = 30;
    ASSERT_TRUE(session.QueueBuffers(3, 4 * kFrames));
    int pushed = 0, full = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] { dev->Push(Ramp(kPiece * pushed++, kPiece)); });
    feed.start(50);
    while (pushed < kPieces && !session.Lost()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        for (; const std::int16_t* frames = session.Full(); ++full) {
            EXPECT_EQ(std::vector(frames, frames + 4), Ramp(kFrames * full, 2)) << "buffer " << full;
            EXPECT_EQ(frames[2 * kFrames - 2], kFrames * full + kFrames - 1);
            ASSERT_TRUE(session.Requeue());
        }
    }
    EXPECT_FALSE(session.Lost());
    EXPECT_EQ(full, kPiece * kPieces / kFrames);
    session.Close();
    EXPECT_EQ(dev->stream, nullptr); // the device is closed
}

// An overflow (samples the device dropped) restarts the buffer that is
// filling, so no block holds the gap, and is counted.  The device is opened
// outside the numbered list, as an SDR receiver is.
TEST_F(WaveInLoss, AnOverflowRestartsTheFillingBufferAndIsCounted)
{
    dev = std::make_shared<FakeInput>("SDR");
    CaptureSession direct;
    ASSERT_EQ(direct.Open(dev, Stereo16()), MMSYSERR_NOERROR);
    ASSERT_EQ(direct.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(direct.QueueBuffers(2, 4 * 1024));
    dev->Push(Ramp(0, 512));
    dev->stream->Gap();
    dev->Push(Ramp(5000, 1024));
    const std::int16_t* frames = direct.Full();
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(std::vector(frames, frames + 2 * 1024), Ramp(5000, 1024));
    EXPECT_EQ(direct.Gaps(), 1u);
}

} // namespace
