// Test recordings as WAV files, through libsndfile (test_measure links it).
#pragma once
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <vector>

// A file in the folder of interleaved stereo 16-bit frames in the given WAV
// sample format, each sample exactly; one channel keeps the left.  A float
// file's middle value can be poisoned.  Its path.
inline QString WriteWav(const QTemporaryDir& dir, const char* name, const std::vector<std::int16_t>& stereo,
                        int format = SF_FORMAT_PCM_16, int channels = 2, int rate = 12000, float poison = 0)
{
    SF_INFO info{};
    info.samplerate = rate, info.channels = channels, info.format = SF_FORMAT_WAV | format;
    const QString path = dir.filePath(name);
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<int> wide; // full-scale 32-bit
    std::vector<float> unit;
    for (std::size_t i = 0; i < stereo.size(); i += 2 / channels)
        wide.push_back(stereo[i] * 65536), unit.push_back(stereo[i] / 32768.0f);
    if (poison != 0) unit[unit.size() / 2] = poison; // NaN != 0 too
    const auto frames = static_cast<sf_count_t>(stereo.size() / 2);
    format == SF_FORMAT_FLOAT ? sf_writef_float(f, unit.data(), frames) : sf_writef_int(f, wide.data(), frames);
    sf_close(f);
    return path;
}
