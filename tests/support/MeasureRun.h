// parlune-measure run as a program (PARLUNE_MEASURE_BIN, where the build put
// it): its exit status and output; CSV rows by column name; the files its
// runs read and write.
#pragma once
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <gtest/gtest.h>
#include <map>
#include <vector>

// gtest shows a QString as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// The live test signals by name.
inline const QString kSignal = "Test signal 1000 Hz, S/N 20 dB";
inline const QString kDrifting = "Test signal drifting, S/N 0 dB";

struct Outcome {
    int status = -1; // -1: it crashed or did not finish
    QString out, err;
};

inline Outcome Finish(QProcess& p, int ms = 120000)
{
    EXPECT_TRUE(p.waitForFinished(ms)) << "parlune-measure did not finish";
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// A run with these variables changed (a null value removes one), given `ms`
// to end: one that hangs fails the test and is killed rather than stalling it.
// Its standard output goes to `outFile` if one is named.
inline Outcome Measure(const QStringList& args, const std::map<QString, QString>& env = {}, int ms = 120000, const QString& outFile = {})
{
    QProcess p; // its destructor kills a run still going
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env) value.isNull() ? e.remove(name) : e.insert(name, value);
    p.setProcessEnvironment(e);
    if (!outFile.isEmpty()) p.setStandardOutputFile(outFile);
    p.start(PARLUNE_MEASURE_BIN, args);
    return Finish(p, ms);
}

inline QString WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()) << path.toStdString();
    return path;
}

inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Rows of a CSV text by column name, the header line dropped.
inline std::vector<std::map<QString, QString>> Rows(const QString& csv)
{
    QStringList lines = csv.split('\n', Qt::SkipEmptyParts);
    std::vector<std::map<QString, QString>> rows;
    const QStringList head = lines.isEmpty() ? QStringList() : lines.takeFirst().split(',');
    for (const QString& l : lines) {
        const QStringList f = l.split(',');
        auto& row = rows.emplace_back();
        for (qsizetype i = 0; i < head.size() && i < f.size(); ++i) row[head[i]] = f[i];
    }
    return rows;
}
