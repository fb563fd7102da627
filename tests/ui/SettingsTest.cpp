// The settings store and what start-up and shutdown make of it, with the
// store in a temporary folder.
#include <QRadioButton>

#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "support/WindowFixture.h"

namespace {

class Settings : public WindowTest {};

TEST_F(Settings, FirstStartWithAnEmptyStore)
{
    Parlune& w = Load();
    EXPECT_EQ(std::tuple(NFFT, w.SampleRate, w.SigBWBins, w.thresholdBar.Value(), w.spanLowBar.Value(), w.spanHighBar.Value()),
              std::tuple(1024, 12000.0, 17, 0, 20, 5000));
    // The centre: the bin nearest 1000 Hz.
    EXPECT_EQ(QStringList({w.sampleRateBox.Text(), w.bandwidthBox.Text(), w.spanBox.Text(), w.centreFrequencyBox.Text(), w.windowTypeBox.Text()}),
              QStringList({" 12000", "200", " 20 -  5000", "996.1", "Blackman Harris"}));
    EXPECT_TRUE(w.preset5kHzOption.Value());
    EXPECT_EQ(std::pair(w.Left(), w.Top()), std::pair(105, 105)); // 100 twips, to the nearest pixel
    EXPECT_EQ(std::pair(w.monWF().Left(), w.monWF().Top()), std::pair(w.Left() + w.Width(), w.Top()));
    EXPECT_FALSE(w.monWF().isVisible() || w.monHisto().isVisible());
}

TEST_F(Settings, StoredPlanSizeTextAndKeySpelling)
{
    WriteSetting("Values", "SampRate", " 12000");
    EXPECT_EQ(ReadSetting("Values", "Samprate", "absent"), " 12000"); // keys ignore letter case
    WriteSetting("Values", "NSamp", " 8192");
    WriteSetting("Values", "FFTSIZE", "8192");
    WriteSetting("Values", "CFB", " 683");
    WriteSetting("Values", "NBINS", " 137");
    Parlune& w = Load();
    EXPECT_EQ(w.centreFrequencyBox.Text(), "1000.5");
    EXPECT_EQ(w.bandwidthBox.Text(), "201");
    EXPECT_EQ(w.SigBWBins, 137);

    WriteSetting("Values", "FFTSIZE", "4096"); // the size text wins over NSamp
    Load();
    EXPECT_EQ(NFFT, 4096);
}

TEST_F(Settings, EveryEntryRoundTrips)
{
    {
        Parlune& w = Load();
        w.setLeft(1500);
        w.setTop(900);
        w.sampleRateBox.UserType("24000");
        w.fftSizeBox.UserChoose(2); // 4096
        w.centreFrequencyBox.setText("1234");
        w.bandwidthBar.DragTo(300);
        w.averagingBar.DragTo(5);
        w.thresholdBar.DragTo(30);
        w.logFileBox.setText("Mëssungen, Nacht.txt");
        w.spanLowBar.DragTo(700);
        w.spanHighBar.DragTo(9000);
        w.Form_Unload();
    }
    const char* stored[][3] = {
        {"FormPlace", "Left", " 1500"}, {"FormPlace", "Top", " 900"}, {"Values", "Samprate", " 24000"},
        {"Values", "NSamp", " 4096"},   {"Values", "CFB", " 211"},    {"Values", "NBINS", " 51"},
        {"Values", "FMIN", " 700"},     {"Values", "FMAX", " 9000"},  {"Values", "AVSCR", " 5"},
        {"Values", "THRESH", " 30"},    {"Values", "FILENAME", "Mëssungen, Nacht.txt"},
        {"Values", "FFTSIZE", "4096"},  {"Values", "SBW", "300"},
    };
    for (const auto& e : stored) EXPECT_EQ(ReadSetting(e[0], e[1], "absent"), QString::fromUtf8(e[2])) << e[1];

    Parlune& w = Load();
    EXPECT_EQ(std::pair(w.Left(), w.Top()), std::pair(1500, 900));
    EXPECT_EQ(std::tuple(w.SampleRate, NFFT, w.CFBin, w.SigBWBins), std::tuple(24000.0, 4096, 211, 51));
    EXPECT_EQ(w.bandwidthBar.Value(), 299); // re-derived from the bins
    EXPECT_EQ(std::pair(w.averagingBar.Value(), w.thresholdBar.Value()), std::pair(5, 30));
    EXPECT_EQ(w.logFileBox.Text(), QString::fromUtf8("Mëssungen, Nacht.txt"));
    EXPECT_EQ(w.spanBox.Text(), " 20 -  5000"); // every start ends on the wide span
}

TEST_F(Settings, HostileStoreStillGivesAUsableWindow)
{
    static const char kBytes[] = "\x00\xff\xfe[[[=]]]\n\x01\x02 garbage\n[Values\nSamprate";
    // A stored rate outside 1000 .. 384000 Hz gives way to the default alone.
    const struct { QByteArray file; double rate; } cases[] = {
        {"[Values]\nSamprate=0\n", 12000}, {"[Values]\nSamprate=-12000\nFFTSIZE=-1024\n", 12000},
        {"[Values]\nSamprate=abc\nNSamp=xyz\nCFB=--\nNBINS=1e999\nFMIN=99999\nFMAX=-5\nAVSCR=1000\nTHRESH=nan\n"
         "FILENAME=\nFFTSIZE=hello\n", 12000},
        {"[Values]\nFFTSIZE=99999999\nCFB=1e300\nNBINS=-7\nTHRESH=200\nAVSCR=0\n", 12000},
        {"[Values]\nSamprate=1e-300\nFFTSIZE=262144\nCFB=2147483647\n", 12000}, {"[Values]\nSamprate=1e308\n", 12000},
        {"[Values]\nSamprate=1e-320\n", 12000}, {"[Values]\nSamprate=1e999\n", 12000}, {"[Values]\nSamprate=999.9\n", 12000},
        {"[Values]\nSamprate=384000.5\n", 12000}, {"[Values]\nSamprate=384000\n", 384000}, {"[Values]\nSamprate=1000\n", 1000},
        {"[FormPlace]\nLeft=1e12\nTop=-99999999999\n", 12000}, {QByteArray(kBytes, sizeof kBytes - 1), 12000},
    };
    for (const auto& [file, rate] : cases) {
        SCOPED_TRACE(file.toStdString());
        NFFT = 0;
        WriteStoreFile(file);
        Parlune& w = Load();
        EXPECT_EQ(w.SampleRate, rate);
        EXPECT_EQ(w.sampleRateBox.Text().toDouble(), rate);
        EXPECT_TRUE(NFFT >= 0 && NFFT <= kMaxNFFT) << NFFT;
        EXPECT_LE(std::abs(w.Left()), 1'000'000);
        // Usable: the user sets a rate, size and filter, and the plan follows.
        w.sampleRateBox.UserType("12000");
        w.fftSizeBox.UserChoose(0);
        w.presetSsbOption.button()->click();
        EXPECT_EQ(w.spanBox.Text(), " 300 -  3000");
        w.centreFrequencyBox.setText(""), w.centreFrequencyBox.setText("1000");
        EXPECT_EQ(w.CFBin, 85);
        w.bandwidthBar.DragTo(100);
        EXPECT_EQ(w.SigBWBins, 9);
        w.Form_Unload();
    }
}

} // namespace
