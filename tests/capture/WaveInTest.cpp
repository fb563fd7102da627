// The waveIn layer's rules, driven through fake devices: records, device
// numbering, open results, buffer filling, gaps, reset and close.
#include <QElapsedTimer>
#include <QTimer>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <vector>

#include "capture/InputBackend.h"
#include "capture/TestSignal.h"
#include "capture/WaitForBuffer.h"
#include "capture/WaveIn.h"
#include "support/FakeInput.h"

namespace {

WAVEFORMATEX Stereo16(std::uint32_t rate)
{
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = 4 * rate;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    return f;
}

// Frames whose samples count up from `first`, left and right differing.
std::vector<std::int16_t> Ramp(int first, int frames)
{
    std::vector<std::int16_t> v;
    for (int i = 0; i < frames; ++i) {
        v.push_back(static_cast<std::int16_t>(first + i));
        v.push_back(static_cast<std::int16_t>(-(first + i)));
    }
    return v;
}

class WaveInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        a = std::make_shared<FakeInput>("Line In");
        b = std::make_shared<FakeInput>("USB Codec", WAVE_FORMAT_1S16, /*isDefault=*/true);
        SetBackendsForTest({a, b});
    }
    void TearDown() override
    {
        if (h != 0)
            waveInClose(h);
        ResetBackends();
    }
    // Opens `dev`, starts it and queues one buffer of `frames` frames.
    void Run(std::uint32_t dev, int frames)
    {
        const WAVEFORMATEX f = Stereo16(12000);
        ASSERT_EQ(waveInOpen(&h, dev, &f, 0, 0, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
        Queue(frames);
    }
    void Queue(int frames)
    {
        buf.assign(2 * static_cast<std::size_t>(frames) + 8, 7777); // 4 guard frames past the end
        hdr = WAVEHDR{};
        hdr.lpData = reinterpret_cast<char*>(buf.data());
        hdr.dwBufferLength = static_cast<std::uint32_t>(4 * frames);
        ASSERT_EQ(waveInPrepareHeader(h, &hdr, 32), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(h, &hdr, 32), MMSYSERR_NOERROR);
    }
    std::shared_ptr<FakeInput> a, b;
    HWAVEIN h = 0;
    std::vector<std::int16_t> buf;
    WAVEHDR hdr;
};

TEST(WaveInRecords, CapsRecordHasTheFixedLayout)
{
    EXPECT_EQ(sizeof(WAVEINCAPSA), 48u);
    EXPECT_EQ(offsetof(WAVEINCAPSA, szPname), 8u);
    EXPECT_EQ(offsetof(WAVEINCAPSA, dwFormats), 40u);
    EXPECT_EQ(offsetof(WAVEINCAPSA, wChannels), 44u);
}

TEST_F(WaveInTest, DevicesAreNumberedInListOrderWithNamesCutTo32Bytes)
{
    const std::string long40 = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
    // "Mikrofon " + 12 x "ü" (2 bytes each) + "x": byte 32 falls inside a character.
    std::string umlauts = "Mikrofon ";
    for (int i = 0; i < 12; ++i)
        umlauts += "\xC3\xBC";
    umlauts += "x";
    SetBackendsForTest({a, std::make_shared<FakeInput>(long40, 0), std::make_shared<FakeInput>(umlauts)});
    ASSERT_EQ(waveInGetNumDevs(), 3u);

    WAVEINCAPSA caps;
    ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Line In");
    EXPECT_EQ(caps.dwFormats & WAVE_FORMAT_1S16, WAVE_FORMAT_1S16);

    ASSERT_EQ(waveInGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname, 32), long40.substr(0, 32)); // no terminator
    EXPECT_EQ(caps.dwFormats & WAVE_FORMAT_1S16, 0u);
    EXPECT_EQ(waveInFullName(1), long40);

    ASSERT_EQ(waveInGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), umlauts.substr(0, 31)); // whole characters only
    EXPECT_EQ(caps.szPname[31], '\0');

    // An unknown ID fails and leaves the record as it was.
    EXPECT_EQ(waveInGetDevCapsA(3, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(std::string(caps.szPname), umlauts.substr(0, 31));
}

TEST_F(WaveInTest, OpenWritesAHandleOnlyOnSuccess)
{
    WAVEFORMATEX mono8 = Stereo16(12000);
    mono8.nChannels = 1;
    mono8.wBitsPerSample = 8;
    mono8.nBlockAlign = 1;
    WAVEFORMATEX noRate = Stereo16(0);
    WAVEFORMATEX float32 = Stereo16(12000);
    float32.wFormatTag = 3;
    const WAVEFORMATEX good = Stereo16(12000);
    struct Case {
        const char* what;
        std::uint32_t id;
        const WAVEFORMATEX* format;
        MMRESULT result;
    } cases[] = {
        {"first device", 0, &good, MMSYSERR_NOERROR},
        {"last device", 1, &good, MMSYSERR_NOERROR},
        {"one past the end", 2, &good, MMSYSERR_BADDEVICEID},
        {"default device", WAVE_MAPPER, &good, MMSYSERR_NOERROR},
        {"8-bit mono", 0, &mono8, WAVERR_BADFORMAT},
        {"rate 0", 0, &noRate, WAVERR_BADFORMAT},
        {"not PCM", 0, &float32, WAVERR_BADFORMAT},
        {"no format", 0, nullptr, MMSYSERR_INVALPARAM},
    };
    std::vector<HWAVEIN> handles;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWAVEIN got = 12345;
        EXPECT_EQ(waveInOpen(&got, c.id, c.format, 0, 0, 0), c.result);
        if (c.result == MMSYSERR_NOERROR) {
            EXPECT_NE(got, 0u);
            for (HWAVEIN other : handles)
                EXPECT_NE(got, other);
            handles.push_back(got);
        } else {
            EXPECT_EQ(got, 0u);
        }
    }
    for (HWAVEIN x : handles)
        EXPECT_EQ(waveInClose(x), MMSYSERR_NOERROR);

    // A device that refuses, and no default device at all.
    a->refuse = MMSYSERR_BADDEVICEID;
    HWAVEIN got = 1;
    EXPECT_EQ(waveInOpen(&got, 0, &good, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(got, 0u);
    b->isDefault = false;
    got = 1;
    EXPECT_EQ(waveInOpen(&got, WAVE_MAPPER, &good, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(got, 0u);
}

TEST_F(WaveInTest, MapperOpensTheDefaultDevice)
{
    Run(WAVE_MAPPER, 4);
    ASSERT_NE(b->stream, nullptr);
    EXPECT_EQ(a->stream, nullptr);
    b->Push(Ramp(1, 4));
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
}

TEST_F(WaveInTest, BufferTakesExactlyItsLengthThenIsDone)
{
    Run(0, 10);
    EXPECT_EQ(a->stream->wanted, 10u);
    a->Push(Ramp(1, 4));
    EXPECT_FALSE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(hdr.dwBytesRecorded, 16u);
    a->Push(Ramp(5, 9)); // 3 more than fit
    ASSERT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_FALSE(hdr.dwFlags & WHDR_INQUEUE);
    EXPECT_EQ(hdr.dwBytesRecorded, 40u);
    EXPECT_EQ(a->stream->wanted, 0u);
    const std::vector<std::int16_t> expect = Ramp(1, 10);
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), buf.begin()));
    EXPECT_TRUE(std::all_of(buf.begin() + 20, buf.end(), [](std::int16_t s) { return s == 7777; }));
    EXPECT_EQ(waveInUnprepareHeader(h, &hdr, 32), MMSYSERR_NOERROR);
    EXPECT_FALSE(hdr.dwFlags & WHDR_PREPARED);
}

TEST_F(WaveInTest, AudioBetweenBuffersIsDropped)
{
    Run(0, 4);
    a->Push(Ramp(1, 6)); // fills frames 1..4; 5 and 6 have no buffer
    ASSERT_TRUE(hdr.dwFlags & WHDR_DONE);
    a->Push(Ramp(100, 3)); // no buffer queued
    const int discardsBefore = a->stream->discards;
    Queue(4);
    EXPECT_EQ(a->stream->discards, discardsBefore + 1); // undelivered audio is thrown away too
    a->Push(Ramp(200, 4));
    ASSERT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(buf[0], 200);
    EXPECT_EQ(buf[1], -200);
    EXPECT_EQ(buf[6], 203);
}

TEST_F(WaveInTest, NothingIsCapturedBeforeStart)
{
    const WAVEFORMATEX f = Stereo16(12000);
    ASSERT_EQ(waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    Queue(2);
    EXPECT_EQ(a->stream->wanted, 0u);
    a->Push(Ramp(1, 2));
    EXPECT_EQ(hdr.dwBytesRecorded, 0u);
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    EXPECT_EQ(a->stream->wanted, 2u);
    a->Push(Ramp(9, 2));
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(buf[0], 9);
}

TEST_F(WaveInTest, HeaderMisuseIsRefused)
{
    Run(0, 4);
    EXPECT_EQ(waveInAddBuffer(h, &hdr, 32), WAVERR_STILLPLAYING);   // already queued
    EXPECT_EQ(waveInUnprepareHeader(h, &hdr, 32), WAVERR_STILLPLAYING);
    WAVEHDR bare;
    bare.lpData = reinterpret_cast<char*>(buf.data());
    bare.dwBufferLength = 16;
    EXPECT_EQ(waveInAddBuffer(h, &bare, 32), WAVERR_UNPREPARED);
    EXPECT_EQ(waveInAddBuffer(h, nullptr, 32), MMSYSERR_INVALPARAM);
    WAVEHDR noData;
    EXPECT_EQ(waveInPrepareHeader(h, &noData, 32), MMSYSERR_INVALPARAM);
    a->Push(Ramp(1, 4));
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE); // the misuse did not disturb the queued one
}

TEST_F(WaveInTest, ResetReturnsAPartlyFilledBufferDone)
{
    Run(0, 8);
    a->Push(Ramp(1, 3));
    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(hdr.dwBytesRecorded, 12u);
    EXPECT_EQ(a->stream->wanted, 0u);
    // Reset stops capturing until the next start.
    Queue(2);
    a->Push(Ramp(50, 2));
    EXPECT_EQ(hdr.dwBytesRecorded, 0u);
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    a->Push(Ramp(60, 2));
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(buf[0], 60);
}

TEST_F(WaveInTest, CloseReturnsQueuedBufferAndForgetsTheHandle)
{
    Run(0, 8);
    const HWAVEIN closed = h;
    ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
    h = 0;
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(a->stream, nullptr); // the device was closed
    // A new open never gets the old number back.
    const WAVEFORMATEX f = Stereo16(12000);
    ASSERT_EQ(waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(h, closed);
}

TEST_F(WaveInTest, CallsOnZeroClosedOrUnknownHandlesAreHarmless)
{
    Run(0, 4);
    const HWAVEIN closed = h;
    ASSERT_EQ(waveInClose(closed), MMSYSERR_NOERROR);
    h = 0;
    for (HWAVEIN x : {HWAVEIN{0}, closed, HWAVEIN{0xDEADBEEF}}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(waveInReset(x), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInClose(x), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInStart(x), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInUnprepareHeader(x, &hdr, 32), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInPrepareHeader(x, &hdr, 32), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInAddBuffer(x, &hdr, 32), MMSYSERR_INVALHANDLE);
    }
}

TEST_F(WaveInTest, WaitWakesWhenTheBufferCompletesOrIsReset)
{
    Run(0, 16);
    // Audio arrives from the event loop, as from a real device.
    QTimer::singleShot(20, [this] { a->Push(Ramp(1, 16)); });
    WaitForBuffer(hdr, h);
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(hdr.dwBytesRecorded, 64u);

    Queue(16);
    QTimer::singleShot(20, [this] { waveInReset(h); });
    WaitForBuffer(hdr, h);
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_EQ(hdr.dwBytesRecorded, 0u);

    // A zero handle ends the wait at once.
    WAVEHDR pending;
    const HWAVEIN none = 0;
    WaitForBuffer(pending, none);
    EXPECT_FALSE(pending.dwFlags & WHDR_DONE);
}

// The real list (whatever inputs this machine has) ends with the test signals.
TEST(WaveInDefaultList, TestSignalsFollowTheRealInputs)
{
    ResetBackends();
    const std::uint32_t n = waveInGetNumDevs();
    ASSERT_GE(n, 2u);
    for (std::uint32_t k = 0; k < 2; ++k) {
        const std::uint32_t id = n - 2 + k;
        WAVEINCAPSA caps;
        ASSERT_EQ(waveInGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
        EXPECT_EQ(std::string(caps.szPname), kTestSignals[k].shortName);
        EXPECT_LE(std::string(kTestSignals[k].shortName).size(), 32u);
        EXPECT_EQ(caps.dwFormats & WAVE_FORMAT_1S16, WAVE_FORMAT_1S16);
        EXPECT_EQ(waveInFullName(id), kTestSignals[k].name);
    }
    EXPECT_STRNE(kTestSignals[0].shortName, kTestSignals[1].shortName);
}

} // namespace
