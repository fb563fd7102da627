// The settings store and what start-up and shutdown make of it, with the
// store in a temporary folder.
#include <QGuiApplication>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/stat.h>

#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "support/RunHarness.h"

namespace {

namespace fs = std::filesystem;

using Settings = WindowTest;

// The store's own lines on stderr ("parlune: settings ...") while f runs.
QStringList StoreLines(const std::function<void()>& f)
{
    testing::internal::CaptureStderr();
    f();
    const QString all = QString::fromStdString(testing::internal::GetCapturedStderr());
    return all.split('\n').filter(QRegularExpression("^parlune: settings"));
}

// Completed writes of the store's file since the last call, through inotify:
// closes after writing and renames into place.  Opens are watched too: the
// kernel merges identical events that follow each other.
int StoreWrites(int fd)
{
    int n = 0;
    alignas(inotify_event) char buf[16384];
    for (ssize_t len; (len = read(fd, buf, sizeof buf)) > 0;)
        for (auto* e = reinterpret_cast<const inotify_event*>(buf); (char*)e < buf + len;
             e = reinterpret_cast<const inotify_event*>((const char*)(e + 1) + e->len))
            n += e->len && std::string_view("Parlune.ini") == e->name && (e->mask & (IN_CLOSE_WRITE | IN_MOVED_TO));
    return n;
}

// Every entry: the text closing stores after the user's changes, what the
// next start shows of it, and what a start without it (an empty store) shows.
TEST_F(Settings, EveryEntryRoundTripsAndHasItsDefault)
{
    struct Entry { const char *group, *key, *stored, *afterStart, *whenMissing; };
    const Entry entries[] = {
        // By default 100 twips, to the nearest pixel.
        {"FormPlace", "Left", " 1500", "1500", "105"}, {"FormPlace", "Top", " 900", "900", "105"},
        {"Values", "Samprate", " 24000", " 24000|24000", " 12000|12000"},
        {"Values", "NSamp", " 4096", "4096", "1024"}, {"Values", "FFTSIZE", "4096", "4096", "1024"},
        {"Values", "CFB", " 211", "1236.3|211", "996.1|85"}, // by default the bin nearest 1000 Hz
        {"Values", "NBINS", " 51", "51", "17"},
        {"Values", "SBW", "300", "299|299", "200|200"}, // re-derived from the bins
        {"Values", "FMIN", " 700", "20| 20 -  5000", "20| 20 -  5000"}, // every start ends on the wide span
        {"Values", "FMAX", " 9000", "5000", "5000"}, {"Values", "AVSCR", " 5", "5", "1"}, {"Values", "THRESH", " 30", "30", "0"},
        {"Values", "FILENAME", "Mëssungen, Nacht.txt", "Mëssungen, Nacht.txt", "Parlune.txt"},
    };
    // What the window shows of each entry, against one column of the table.
    const auto expectShown = [&](Parlune& w, const char* Entry::*column) {
        const auto n = [](double x) { return QString::number(x); };
        const QStringList shown{n(w.Left()), n(w.Top()), w.sampleRateBox.Text() + "|" + n(w.SampleRate), n(w.NFFT),
                                w.fftSizeBox.Text(), w.centreFrequencyBox.Text() + "|" + n(w.CFBin), n(w.SigBWBins),
                                n(w.bandwidthBar.Value()) + "|" + w.bandwidthBox.Text(), n(w.spanLowBar.Value()) + "|" + w.spanBox.Text(),
                                n(w.spanHighBar.Value()), n(w.averagingBar.Value()), n(w.thresholdBar.Value()), w.logFileBox.Text()};
        ASSERT_EQ(std::size_t(shown.size()), std::size(entries));
        for (std::size_t i = 0; i < std::size(entries); ++i) EXPECT_EQ(shown[i].toStdString(), entries[i].*column) << entries[i].key;
    };

    Parlune* w = &Load();
    expectShown(*w, &Entry::whenMissing);
    EXPECT_EQ(std::tuple(w->windowTypeBox.Text(), w->preset5kHzOption.Value(), w->monWF().isVisible() || w->monHisto().isVisible()),
              std::tuple(QString("Blackman Harris"), true, false));

    w->setLeft(1500), w->setTop(900);
    w->sampleRateBox.UserType("24000");
    w->fftSizeBox.UserChoose(2); // 4096
    w->centreFrequencyBox.setText("1234");
    w->bandwidthBar.DragTo(300);
    w->spanLowBar.DragTo(700), w->spanHighBar.DragTo(9000);
    w->averagingBar.DragTo(5), w->thresholdBar.DragTo(30);
    w->logFileBox.setText("Mëssungen, Nacht.txt");
    w->Form_Unload();
    for (const auto& e : entries) EXPECT_EQ(ReadSetting(e.group, e.key, "absent").toStdString(), e.stored) << e.key;

    WriteSetting("Values", "NSamp", " 8192"); // the size text wins over it
    expectShown(Load(), &Entry::afterStart);
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
        h->WriteStoreFile(file);
        Parlune& w = Load();
        EXPECT_EQ(std::pair(w.SampleRate, w.sampleRateBox.Text().toDouble()), std::pair(rate, rate));
        EXPECT_TRUE(w.NFFT >= 0 && w.NFFT <= kMaxNFFT && std::abs(w.Left()) <= 1'000'000) << w.NFFT << " " << w.Left();
        // Usable: the user sets a rate, size and filter, and the plan follows.
        w.sampleRateBox.UserType("12000");
        w.fftSizeBox.UserChoose(0);
        w.presetSsbOption.button()->click();
        w.centreFrequencyBox.setText(""), w.centreFrequencyBox.setText("1000");
        w.bandwidthBar.DragTo(100);
        EXPECT_EQ(std::tuple(w.spanBox.Text(), w.CFBin, w.SigBWBins), std::tuple(QString(" 300 -  3000"), 85, 9));
        w.Form_Unload();
    }
}

// The store's path links to a file, a FIFO or a folder, is a FIFO, a folder
// or a read-only file (kept, also for root), or its folder is a file: only
// a writable regular file is read and written; every other one is named.
TEST_F(Settings, OnlyAWritableRegularFileIsReadAndWritten)
{
    const QByteArray kept = "[Values]\nAVSCR=7\n[Other]\nkeep=1\n";
    const QString real = h->dir.filePath("real.ini"), fifo = h->dir.filePath("fifo"), folder = h->dir.filePath("folder");
    const auto makeFifo = [](const QString& p) { return mkfifo(QFile::encodeName(p).constData(), 0600) == 0; };
    const auto makeFile = [&](const QString& p) { QFile f(p); return f.open(QIODevice::WriteOnly) && f.write(kept) > 0; };
    ASSERT_TRUE(makeFifo(fifo) && QDir().mkdir(folder) && makeFile(real));
    const auto link = [](const QString& to) { return [to](const QString& p) { return QFile::link(to, p); }; };
    const auto readOnly = [&](const QString& p) { return makeFile(p) && chmod(QFile::encodeName(p).constData(), 0444) == 0; };
    const struct { std::function<bool(const QString&)> make; int loaded; const char *atLoad, *atClose; } cases[] = {
        {link(real), 7, nullptr, nullptr}, {link(fifo), 1, "not read: ", "not saved: "},
        {link(folder), 1, "not read: ", "not saved: "}, {makeFifo, 1, "not read: ", "not saved: "},
        {[](const QString& p) { return QDir().mkdir(p); }, 1, "not read: ", "not saved: "},
        {readOnly, 7, nullptr, "read-only"}, {nullptr, 1, nullptr, "not a folder"}, // the folder a file
    };
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(i);
        const auto& c = cases[i];
        const QString at = h->dir.filePath(QString::number(i));
        ASSERT_TRUE(c.make ? QDir().mkdir(at) : makeFile(at));
        SetSettingsFolder(at);
        const QString path = SettingsFilePath();
        ASSERT_TRUE(!c.make || c.make(path));
        const QString target = QFile::symLinkTarget(path); // empty when not a link
        const auto type = fs::status(path.toStdString()).type();

        Parlune* w = nullptr;
        const QStringList atLoad = StoreLines([&] { w = &Load(); });
        EXPECT_EQ(w->averagingBar.Value(), c.loaded);
        w->averagingBar.DragTo(3);
        const QStringList atClose = StoreLines([&] { w->Form_Unload(); });

        EXPECT_EQ(std::pair(QFile::symLinkTarget(path), fs::status(path.toStdString()).type()), std::pair(target, type));
        // One line each way at most, naming the store and why.
        for (const auto& [lines, what] : {std::pair(atLoad, c.atLoad), std::pair(atClose, c.atClose)})
            EXPECT_TRUE(lines.size() == (what ? 1 : 0) && (!what || (lines[0].contains(path) && lines[0].contains(what))))
                << lines.join('\n').toStdString();
        if (c.loaded == 7) {
            QFile stored(path);
            const bool unchanged = stored.open(QIODevice::ReadOnly) && stored.readAll() == kept; // written only when it could be
            const QSettings s(path, QSettings::IniFormat);
            EXPECT_EQ(std::tuple(unchanged, s.value("Values/avscr").toString(), s.value("Other/keep").toString()),
                      std::tuple(i != 0, QString(i == 0 ? " 3" : ""), QString("1")));
        }
    }
    EXPECT_TRUE(QFileInfo(h->dir.filePath("6")).isFile());
}

TEST_F(Settings, CloseWritesTheFileOnce)
{
    // Every spelling of a key gives way to the one lower-cased key written.
    h->WriteStoreFile("[Values]\nSampRate=24000\nSAMPRATE=11025\nAVSCR=4\n[Other]\nkeep=1\n");
    const int fd = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(fd, QFile::encodeName(h->dir.path()).constData(), IN_OPEN | IN_CLOSE | IN_MOVED_TO);
    WriteSetting("Other", "Keep", "2");
    const int oneWrite = StoreWrites(fd);
    ASSERT_GE(oneWrite, 1);
    Parlune& w = Load();
    EXPECT_EQ(w.averagingBar.Value(), 4);
    w.Form_Unload();
    EXPECT_EQ(StoreWrites(fd), oneWrite);
    close(fd);

    const QSettings stored(SettingsFilePath(), QSettings::IniFormat);
    const QRegularExpression spellings("^(values/samprate|other/keep)$", QRegularExpression::CaseInsensitiveOption);
    EXPECT_EQ(stored.allKeys().filter(spellings), QStringList({"Other/keep", "Values/samprate"}));
    EXPECT_EQ(std::pair(stored.value("Other/keep").toString(), stored.value("Values/samprate").toDouble()),
              std::pair(QString("2"), w.SampleRate));
}

TEST_F(Settings, WindowOpensAndIsStoredOnAScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint corner = screen.topLeft() + QPoint(7, 7); // 100 twips in, as on a first start
    // Stored places in twips; only a title bar on no screen moves the window.
    const struct { int left, top; bool kept; } cases[] = {
        {1'000'000, 1'000'000, false}, {-1'000'000, 1500, false},
        {1500, (screen.top() - 30) * 15, false},                         // title bar above the screen
        {(screen.right() - 60) * 15, (screen.bottom() - 40) * 15, true}, // a corner of it still shows
    };
    for (const auto& c : cases) {
        h->WriteStoreFile(QString("[FormPlace]\nLeft=%1\nTop=%2\n").arg(c.left).arg(c.top).toUtf8());
        Parlune& w = Load();
        const QPoint at = w.frameGeometry().topLeft(), expected = c.kept ? QPoint(c.left / 15, c.top / 15) : corner;
        EXPECT_EQ(std::tuple(at.x(), at.y(), w.monWF().Left(), w.monWF().Top()),
                  std::tuple(expected.x(), expected.y(), w.Left() + w.Width(), w.Top())) << c.left << ", " << c.top;
    }

    // Off every screen at close: the place stored is the one it would open at.
    Parlune& w = Load();
    w.setLeft(1'000'000);
    w.Form_Unload();
    EXPECT_EQ(std::pair(ReadSetting("FormPlace", "Left", ""), ReadSetting("FormPlace", "Top", "")),
              std::pair(QString(" %1").arg(corner.x() * 15), QString(" %1").arg(corner.y() * 15)));
}

} // namespace
