// The settings store and what start-up and shutdown make of it, on the real
// window with the store in a temporary folder.
#include <QRadioButton>
#include <QSettings>

#include "support/WindowFixture.h"
#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"

namespace {

class Settings : public WindowTest {};

TEST_F(Settings, KeysIgnoreLetterCase)
{
    EXPECT_EQ(ReadSetting("Values", "Samprate", "12000"), "12000"); // absent: the default
    WriteSetting("Values", "SampRate", " 11025");
    EXPECT_EQ(ReadSetting("Values", "Samprate", "12000"), " 11025");
    EXPECT_EQ(ReadSetting("Values", "SAMPRATE", "12000"), " 11025");

    // A hand-edited spelling is found, and a write leaves one entry.
    WriteStoreFile("[Values]\nSampRate=24000\nNSamp=4096\n");
    EXPECT_EQ(ReadSetting("Values", "samprate", "x"), "24000");
    WriteSetting("Values", "SAMPRATE", " 6000");
    QSettings raw(SettingsFilePath(), QSettings::IniFormat);
    raw.beginGroup("Values");
    EXPECT_EQ(raw.childKeys(), QStringList({"NSamp", "samprate"}) ) << raw.childKeys().join(",").toStdString();
    EXPECT_EQ(ReadSetting("Values", "NSamp", "x"), "4096");
    EXPECT_EQ(ReadSetting("Values", "Samprate", "x"), " 6000");
    // Sections are apart: the same key elsewhere is another entry.
    EXPECT_EQ(ReadSetting("FormPlace", "Samprate", "none"), "none");
}

TEST_F(Settings, FirstStartWithAnEmptyStore)
{
    Parlune& w = Load();
    EXPECT_EQ(NFFT, 1024);
    EXPECT_EQ(w.SampleRate, 12000);
    EXPECT_EQ(w.SigBWBins, 17);
    EXPECT_EQ(w.SigBW.Text(), "200");
    EXPECT_EQ(w.DispThreshold.Value(), 0);
    EXPECT_EQ(w.DispThresh, 0);
    EXPECT_EQ(w.FMin.Value(), 20);
    EXPECT_EQ(w.FMax.Value(), 5000);
    EXPECT_EQ(w.FBand.Text(), " 20 -  5000");
    EXPECT_EQ(w.SRate.Text(), " 12000");
    EXPECT_EQ(w.LogFile.Text(), "Parlune.txt");
    // The centre sits on the bin nearest 1000 Hz.
    EXPECT_EQ(w.CFBin, 85);
    EXPECT_EQ(w.CF.Text(), "996.1");
    EXPECT_EQ(w.DetPeriod.Text(), "0.0"); // from NAvg, still 0 until a run or a move of AvScroll
    EXPECT_EQ(w.ShowGB.Text(), "100");
    EXPECT_DOUBLE_EQ(w.GuardFactor, 0.5);
    EXPECT_DOUBLE_EQ(w.WindENBW, 2);
    EXPECT_EQ(w.WindType.ListIndex(), 1);
    EXPECT_EQ(w.WindType.Text(), "Blackman Harris");
    EXPECT_EQ(w.Timer1.Interval(), 1000);
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.CsrLoc.widget()->isVisibleTo(&w));
    EXPECT_EQ(w.Spectrum.BackColor(), RGB(180, 180, 180));
    EXPECT_TRUE(w.Wide.Value());
    EXPECT_EQ(w.Left(), 105); // 100 twips, to the nearest pixel
    EXPECT_EQ(w.Top(), 105);
    // Waterfall right of the window, tops aligned; histogram under the waterfall; both hidden.
    EXPECT_EQ(w.monWF().Left(), w.Left() + w.Width());
    EXPECT_EQ(w.monWF().Top(), w.Top());
    EXPECT_EQ(w.monHisto().Left(), w.monWF().Left());
    EXPECT_EQ(w.monHisto().Top(), w.monWF().Top() + w.monWF().Height());
    EXPECT_FALSE(w.monWF().isVisible());
    EXPECT_FALSE(w.monHisto().isVisible());
}

TEST_F(Settings, StoredPlanIsRestored)
{
    WriteSetting("Values", "SampRate", " 12000");
    WriteSetting("Values", "NSamp", " 8192");
    WriteSetting("Values", "FFTSIZE", "8192");
    WriteSetting("Values", "CFB", " 683");
    WriteSetting("Values", "NBINS", " 137");
    Parlune& w = Load();
    EXPECT_EQ(w.CF.Text(), "1000.5");
    EXPECT_EQ(w.CFBin, 683);
    EXPECT_EQ(w.SigBWUD.Value(), 201);
    EXPECT_EQ(w.SigBW.Text(), "201");
    EXPECT_EQ(w.SigBWBins, 137);
}

TEST_F(Settings, SizeTextReplacesTheStoredSize)
{
    WriteSetting("Values", "NSamp", " 8192");
    WriteSetting("Values", "FFTSIZE", "4096");
    Parlune& w = Load();
    EXPECT_EQ(NFFT, 4096);
    EXPECT_EQ(w.FFTSize.Text(), "4096");
}

TEST_F(Settings, EveryEntryRoundTrips)
{
    {
        Parlune& w = Load();
        w.setLeft(1500);
        w.setTop(900);
        w.SRate.UserType("24000");
        w.FFTSize.UserChoose(2); // 4096
        w.CF.setText("1234");
        w.SigBWUD.DragTo(300);
        w.AvScroll.DragTo(5);
        w.DispThreshold.DragTo(30);
        w.LogFile.setText("Mëssungen, Nacht.txt");
        w.FMin.DragTo(700);
        w.FMax.DragTo(9000);
        w.Form_Unload();
    }
    const struct {
        const char* section;
        const char* key;
        const char* text;
    } stored[] = {
        {"FormPlace", "Left", " 1500"}, {"FormPlace", "Top", " 900"},  {"Values", "Samprate", " 24000"},
        {"Values", "NSamp", " 4096"},   {"Values", "CFB", " 211"},     {"Values", "NBINS", " 51"},
        {"Values", "FMIN", " 700"},     {"Values", "FMAX", " 9000"},   {"Values", "AVSCR", " 5"},
        {"Values", "THRESH", " 30"},    {"Values", "FILENAME", "Mëssungen, Nacht.txt"},
        {"Values", "FFTSIZE", "4096"},  {"Values", "SBW", "300"},
    };
    for (const auto& e : stored)
        EXPECT_EQ(ReadSetting(e.section, e.key, "absent"), QString::fromUtf8(e.text)) << e.key;

    Parlune& w = Load();
    EXPECT_EQ(w.Left(), 1500);
    EXPECT_EQ(w.Top(), 900);
    EXPECT_EQ(w.SampleRate, 24000);
    EXPECT_EQ(NFFT, 4096);
    EXPECT_EQ(w.CFBin, 211);
    EXPECT_EQ(w.SigBWBins, 51);
    EXPECT_EQ(w.SigBWUD.Value(), 299); // re-derived from the bins: floor(0.5 + 51 x 24000 / 4096)
    EXPECT_EQ(w.AvScroll.Value(), 5);
    EXPECT_EQ(w.DispThreshold.Value(), 30);
    EXPECT_EQ(w.LogFile.Text(), QString::fromUtf8("Mëssungen, Nacht.txt"));
    EXPECT_EQ(w.FBand.Text(), " 20 -  5000"); // every start ends on the wide span
}

TEST_F(Settings, HostileStoreStillGivesAUsableWindow)
{
    static const char kBytes[] = "\x00\xff\xfe[[[=]]]\n\x01\x02 garbage\n[Values\nSamprate";
    const QByteArray kBinary(kBytes, sizeof kBytes - 1);
    const QByteArray files[] = {
        "[Values]\nSamprate=0\n",
        "[Values]\nSamprate=-12000\nFFTSIZE=-1024\n",
        "[Values]\nSamprate=abc\nNSamp=xyz\nCFB=--\nNBINS=1e999\nFMIN=99999\nFMAX=-5\nAVSCR=1000\n"
        "THRESH=nan\nFILENAME=\nFFTSIZE=hello\n",
        "[Values]\nFFTSIZE=99999999\nCFB=1e300\nNBINS=-7\nTHRESH=200\nAVSCR=0\n",
        "[Values]\nSamprate=1e-300\nFFTSIZE=262144\nCFB=2147483647\n",
        "[Values]\nSamprate=\"12000, 24000\"\nFILENAME=a, b, c\n",
        "[FormPlace]\nLeft=1e12\nTop=-99999999999\n",
        "[FormPlace]\nLeft=abc\n",
        kBinary,
        "",
    };
    for (const QByteArray& file : files) {
        SCOPED_TRACE(file.toStdString());
        NFFT = 0;
        WriteStoreFile(file);
        Parlune& w = Load();
        EXPECT_GE(NFFT, 0);
        EXPECT_LE(NFFT, kMaxNFFT);
        EXPECT_GE(w.Left(), -1'000'000);
        EXPECT_LE(w.Left(), 1'000'000);
        // Usable: the user can set a rate and size and the plan follows.
        w.SRate.UserType("12000");
        w.FFTSize.UserChoose(0);
        w.SSB.button()->click();
        EXPECT_EQ(w.FBand.Text(), " 300 -  3000");
        EXPECT_EQ(w.FMinBin, 26);
        w.CF.setText("");
        w.CF.setText("1000");
        EXPECT_EQ(w.CFBin, 85);
        w.SigBWUD.DragTo(100);
        EXPECT_EQ(w.SigBWBins, 9);
        EXPECT_EQ(w.ShowRes.Caption(), "11.72 Hz bins");
        w.Form_Unload();
    }
}

} // namespace
