// parlune-measure run as a program (PARLUNE_MEASURE_BIN, where the build put
// it): its exit status and output; CSV rows by column name.
#pragma once
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <map>
#include <vector>

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

inline Outcome Measure(const QStringList& args)
{
    QProcess p;
    p.start(PARLUNE_MEASURE_BIN, args);
    return Finish(p);
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
