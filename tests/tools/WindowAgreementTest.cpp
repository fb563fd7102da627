// The window and parlune-measure, given the same blocks, show the same
// numbers: a recording played through the real window's run (tracking on,
// 6000 Hz, 262144 points) and the same recording measured by the tool.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

#include "engine/Results.h"
#include "support/FeedInput.h"
#include "support/RunHarness.h"
#include "support/ToneNoise.h"

struct WindowAgreement : RunTestBase {};

TEST_F(WindowAgreement, TrackingRunAndToolGiveTheSameNumbersBlockForBlock)
{
    constexpr int n = 262144, blocks = 3;
    // Off the band's centre, so tracking moves it, onto bin 43700 (1000.21 Hz).
    const std::vector<std::int16_t> frames =
        ToneNoise{.Rate = 6000, .ToneHz = 43700 * 6000.0 / n, .Snr2500Db = 10, .Sigma = 1000}.Stereo16(std::int64_t(n) * blocks);
    QTemporaryDir dir;
    const QString wav = dir.filePath("rec.wav");
    SF_INFO info{.samplerate = 6000, .channels = 2, .format = SF_FORMAT_WAV | SF_FORMAT_PCM_16};
    SNDFILE* f = sf_open(wav.toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_short(f, frames.data(), std::int64_t(n) * blocks);
    sf_close(f);

    std::vector<std::string> shown;
    Parlune& w = Prepare({std::make_shared<FeedInput>(frames)}, "Fed input",
                         {.rate = "6000", .fftSize = "262144", .cf = "1003", .averaging = 2});
    w.spanLowBar.setValue(20);
    w.spanHighBar.setValue(2000);
    w.trackCheck.setValue(1);
    EXPECT_EQ(h->Run(blocks, [&](int) {
        ASSERT_TRUE(w.resultsFrame.Visible());
        std::ostringstream row;
        row.precision(4);
        row << std::fixed << w.PeakBin * 6000.0 / n << ',' << w.SNBinDb << ',' << w.SN1HzDb;
        shown.push_back(row.str() + " centre bin " + std::to_string(w.CFBin));
    }), blocks);
    EXPECT_EQ(w.centreFrequencyBox.Text(), QString::fromStdString(TrackedCFText(w.PeakBin, 6000, n)));

    QProcess tool;
    tool.start(PARLUNE_MEASURE_BIN, {"--fft-size", "262144", "--average", "2", "--centre", "1003", "--track",
                                     "--span-low", "20", "--span-high", "2000", "--format", "csv", wav});
    ASSERT_TRUE(tool.waitForFinished(120000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    std::istringstream csv(tool.readAllStandardOutput().toStdString());
    std::string line;
    std::getline(csv, line); // header
    for (int b = 0; b < blocks && std::getline(csv, line); ++b) {
        // block,start_s,peak_hz,peak_db,noise_db,sn_bin_db,sn_1hz_db,...
        std::vector<std::string> v;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');) v.push_back(x);
        ASSERT_GE(v.size(), 7u);
        const std::string mine = shown.at(b);
        EXPECT_EQ(mine.substr(0, mine.find(" centre")), v[2] + ',' + v[5] + ',' + v[6]) << "block " << b;
    }
    // The centre went through its text: peak bin 43700 reads "1000.2", whose bin is 43699.
    EXPECT_EQ(shown.back().substr(0, 9), "1000.2136");
    EXPECT_NE(shown.back().find("centre bin 43699"), std::string::npos) << shown.back();
}
