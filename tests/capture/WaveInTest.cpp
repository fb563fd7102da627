// The waveIn layer's rules through fake devices: records, open results, buffer filling, gaps, loss, reset and close.
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

#include "capture/CaptureSession.h"
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

// Devices 0 (a) and 1 (b, the default); the handle h, opened directly or by the session.
struct WaveInTest : ::testing::Test {
    void SetUp() override { SetBackendsForTest({a, b}); }
    void TearDown() override
    {
        session.Close();
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
    // Starts the session on a fresh device 0.
    void Start()
    {
        SetBackendsForTest({a = std::make_shared<FakeInput>("Line In"), b});
        ASSERT_EQ(session.Open(0, Stereo16()), MMSYSERR_NOERROR);
        ASSERT_EQ(session.Start(), MMSYSERR_NOERROR);
        h = session.Handle();
    }
    std::shared_ptr<FakeInput> a = std::make_shared<FakeInput>("Line In");
    std::shared_ptr<FakeInput> b = std::make_shared<FakeInput>("USB Codec", WAVE_FORMAT_1S16, /*isDefault=*/true);
    CaptureSession session;
    HWAVEIN h = 0;
    WaveBlock blk;
};

TEST_F(WaveInTest, OpenWritesADistinctHandleOnSuccessAndZeroOnFailure)
{
    // The record: 48 bytes with a 32-byte name and the formats at 40.
    EXPECT_EQ(std::tuple(sizeof(WAVEINCAPSA), sizeof(WAVEINCAPSA::szPname), offsetof(WAVEINCAPSA, dwFormats)), std::tuple(48u, 32u, 40u));
    WAVEINCAPSA caps;
    EXPECT_TRUE(waveInGetDevCapsA(0, &caps, 47) == MMSYSERR_INVALPARAM && waveInGetDevCapsA(0, nullptr, 48) == MMSYSERR_INVALPARAM);
    // Names are cut to 32 bytes between characters; bytes that are no UTF-8 give nothing to keep.
    EXPECT_EQ(std::pair(TruncateName(std::string(31, 'a') + "\xC3\xA9"), TruncateName(std::string(40, '\x80'))),
              std::pair(std::string(31, 'a'), std::string()));
    const WAVEFORMATEX good = Stereo16(), noRate = Stereo16(0), mono8{1, 1, 12000, 48000, 1, 8}, float32{3, 2, 12000, 48000, 4, 16},
                      three{1, 3, 12000, 144000, 6, 16}, top = Stereo16(384000), over = Stereo16(384001);
    const struct { std::uint32_t id; const WAVEFORMATEX* format; MMRESULT result; } cases[] = {
        {0, &good, MMSYSERR_NOERROR}, {1, &good, MMSYSERR_NOERROR}, {WAVE_MAPPER, &good, MMSYSERR_NOERROR}, {2, &good, MMSYSERR_BADDEVICEID},
        {WAVE_MAPPER - 1, &good, MMSYSERR_BADDEVICEID},
        {0, &mono8, WAVERR_BADFORMAT}, {0, &noRate, WAVERR_BADFORMAT}, {0, &float32, WAVERR_BADFORMAT}, {0, nullptr, MMSYSERR_INVALPARAM},
        {0, &three, WAVERR_BADFORMAT}, {0, &top, MMSYSERR_NOERROR}, {0, &over, WAVERR_BADFORMAT}};
    std::vector<HWAVEIN> handles;
    for (const auto& c : cases) {
        HWAVEIN got = 12345;
        const MMRESULT r = waveInOpen(&got, c.id, c.format, 0, 0, 0);
        EXPECT_TRUE(r == c.result && (got == 0) == (r != MMSYSERR_NOERROR) && std::count(handles.begin(), handles.end(), got) == 0)
            << &c - cases;
        if (got != 0) handles.push_back(got);
    }
    // A buffer of no length is not queued; too small a header record is refused.
    char byte = 0;
    WAVEHDR empty{};
    empty.lpData = &byte;
    EXPECT_EQ(std::tuple(waveInPrepareHeader(handles[0], &empty, 32), waveInAddBuffer(handles[0], &empty, 32),
                         waveInUnprepareHeader(handles[0], &empty, 31)),
              std::tuple(MMSYSERR_NOERROR, MMSYSERR_INVALPARAM, MMSYSERR_INVALPARAM));
    for (HWAVEIN x : handles) EXPECT_EQ(waveInClose(x), MMSYSERR_NOERROR);
}

TEST_F(WaveInTest, MapperBufferTakesExactlyItsFramesThenIsDoneAndLaterAudioIsDropped)
{
    Run(WAVE_MAPPER, 10); // the default device, b
    EXPECT_EQ(a->stream, nullptr);
    b->Push(Ramp(1, 4));
    EXPECT_EQ(std::pair(blk.Done(), blk.hdr.dwBytesRecorded), std::pair(false, 16u));
    b->Push(Ramp(5, 9)); // 3 more than fit
    ASSERT_EQ(std::tuple(blk.Done(), blk.hdr.dwBytesRecorded, b->stream->wanted), std::tuple(true, 40u, 0u));
    std::vector<std::int16_t> expect = Ramp(1, 10);
    expect.resize(expect.size() + 8, 7777); // guard frames untouched
    EXPECT_EQ(blk.data, expect);

    b->Push(Ramp(100, 3)); // no buffer queued: dropped
    const int discards = b->stream->discards;
    ASSERT_TRUE(blk.Queue(h, 4));
    EXPECT_EQ(b->stream->discards, discards + 1); // undelivered audio is thrown away too
    b->Push(Ramp(200, 4));
    EXPECT_TRUE(blk.Done() && std::vector(blk.data.begin(), blk.data.begin() + 8) == Ramp(200, 4));
}

TEST_F(WaveInTest, ResetReturnsTheQueuedBufferDoneAndResetCloseAcceptZeroAndClosedHandles)
{
    Run(0, 8);
    a->Push(Ramp(1, 3));
    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(std::tuple(blk.Done(), blk.hdr.dwBytesRecorded, a->stream->wanted), std::tuple(true, 12u, 0u));
    // Stopped, it is not watched for silence (1 s after audio), with or without a buffer queued.
    EXPECT_FALSE(QTest::qWaitFor([&] { return waveInIsLost(h); }, 1500));
    ASSERT_TRUE(blk.Queue(h, 4));
    EXPECT_FALSE(QTest::qWaitFor([&] { return waveInIsLost(h); }, 1500));
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    EXPECT_EQ(a->stream->wanted, 4u); // the new buffer's frames alone
    WAVEHDR noData;
    for (const auto& [hdr, size] : {std::pair<WAVEHDR*, std::uint32_t>{&blk.hdr, 31}, {&noData, 32}, {nullptr, 32}})
        EXPECT_TRUE(waveInPrepareHeader(h, hdr, size) == MMSYSERR_INVALPARAM && waveInAddBuffer(h, hdr, size) == MMSYSERR_INVALPARAM);
    const HWAVEIN closed = std::exchange(h, 0);
    ASSERT_EQ(waveInClose(closed), MMSYSERR_NOERROR);
    EXPECT_TRUE(blk.Done() && a->stream == nullptr); // close returned the queued buffer and closed the device
    for (HWAVEIN x : {HWAVEIN{0}, closed, HWAVEIN{0xDEADBEEF}})
        EXPECT_TRUE(waveInReset(x) == MMSYSERR_INVALHANDLE && waveInClose(x) == MMSYSERR_INVALHANDLE &&
                    waveInAddBuffer(x, &blk.hdr, 32) == MMSYSERR_INVALHANDLE) << x;
}

// A device that reports its loss, or goes silent once audio has flowed, ends the wait: the buffer comes back done,
// the handle reads lost and takes no more buffers, and reset and close still work.  Silence is a loss after three
// buffer lengths, at least 1 s; a stream yet to deliver (an empty delivery is no audio) gets 10 s to start.
TEST_F(WaveInTest, ReportedOrSilentDeviceIsLostAndReleasable)
{
    enum Case { Reported, SilentAfterData, NeverDelivers };
    // At 12000 Hz 1024 frames last 85 ms, 6000 frames 0.5 s.  Never before due; a loaded machine may wake late.
    const struct { Case c; int frames; double due; } cases[] = {
        {Reported, 1024, 0.1}, {SilentAfterData, 1024, 1.1}, {SilentAfterData, 6000, 1.6}, {NeverDelivers, 1024, 10}};
    for (const auto& [c, frames, due] : cases) {
        SCOPED_TRACE(due);
        Start();
        if (c == Reported) QTimer::singleShot(100, [&] { a->stream->Lost(); });
        if (c == SilentAfterData) QTimer::singleShot(100, [&] { a->Push(Ramp(0, 10)); });
        if (c == NeverDelivers) a->Push({});
        const double waited = blk.Capture(h, frames);
        EXPECT_TRUE(waited > due - 0.1 && waited < due + 2) << waited;
        EXPECT_TRUE(blk.Done() && waveInIsLost(h) && !blk.Queue(h, 1024));
        EXPECT_TRUE(waveInReset(h) == MMSYSERR_NOERROR && waveInClose(h) == MMSYSERR_NOERROR && !waveInIsLost(h));
    }
}

// A watchdog that fires over 0.5 s late means this process did not run (a stopped process; here the event loop held
// up): the device gets one fresh period, and only one until it delivers again.
TEST_F(WaveInTest, ALateWatchdogGivesTheDeviceOneFreshPeriod)
{
    Start();
    ASSERT_TRUE(blk.Queue(h, 1024));
    a->Push(Ramp(0, 10)); // audio flows: silence is a loss after 1 s
    bool lost[3] = {};
    for (bool& l : lost) {
        QTest::qSleep(1700);
        QCoreApplication::processEvents(); // a late watchdog fires
        l = waveInIsLost(h);
        if (&l == &lost[0]) a->Push(Ramp(10, 10)); // audio again: a fresh grace
    }
    EXPECT_EQ(std::vector<bool>(lost, lost + 3), (std::vector<bool>{false, false, true}));
}

// A stream whose first audio comes 2 s after the open (as a new PulseAudio stream's may) fills its buffer: the
// capture waits for it, with no loss.
TEST_F(WaveInTest, SlowFirstDataIsNotALoss)
{
    Start();
    QTimer::singleShot(2000, [&] { a->Push(Ramp(0, 1024)); });
    std::vector<std::int16_t> frames(2 * 1024);
    EXPECT_EQ(session.Capture(frames.data(), 4 * 1024, [] { return false; }), CaptureEnd::Done);
    EXPECT_EQ(frames, Ramp(0, 1024));
}

// Gapless capture as a monitor runs it: three buffers queued, each put back after use.  A device that delivers in
// pieces smaller than a buffer, every 50 ms for 1.5 s, fills them in order with nothing lost, and is never taken for
// lost (every delivery restarts the silence limit of 1 s).
TEST_F(WaveInTest, GaplessBuffersFillInTurnAndSteadyAudioIsNotALoss)
{
    Start();
    constexpr int kFrames = 1024, kPiece = 256, kPieces = 30;
    ASSERT_TRUE(session.QueueBuffers(3, 4 * kFrames));
    int pushed = 0, full = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] { a->Push(Ramp(kPiece * pushed++, kPiece)); });
    feed.start(50);
    while (pushed < kPieces && !session.Lost()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        for (; const std::int16_t* frames = session.Full(); ++full) {
            EXPECT_EQ(std::vector(frames, frames + 4), Ramp(kFrames * full, 2)) << "buffer " << full;
            EXPECT_EQ(frames[2 * kFrames - 2], kFrames * full + kFrames - 1);
            ASSERT_TRUE(session.Requeue());
        }
    }
    EXPECT_EQ(std::pair(session.Lost(), full), std::pair(false, kPiece * kPieces / kFrames));
    session.Close();
    EXPECT_EQ(a->stream, nullptr); // the device is closed
}

// An overflow (samples the device dropped) restarts the buffer that is filling, so no block holds the gap, and is
// counted.  The device is opened outside the numbered list, as an SDR receiver is.
TEST_F(WaveInTest, AnOverflowRestartsTheFillingBufferAndIsCounted)
{
    const auto sdr = std::make_shared<FakeInput>("SDR");
    ASSERT_EQ(session.Open(sdr, Stereo16()), MMSYSERR_NOERROR);
    ASSERT_EQ(session.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(session.QueueBuffers(2, 4 * 1024));
    sdr->Push(Ramp(0, 512));
    sdr->stream->Gap();
    sdr->Push(Ramp(5000, 1024));
    const std::int16_t* frames = session.Full();
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(std::vector(frames, frames + 2 * 1024), Ramp(5000, 1024));
    EXPECT_EQ(session.Gaps(), 1u);
}

} // namespace
