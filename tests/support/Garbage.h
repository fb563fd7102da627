// Malformed texts for typing into the window's boxes.
#pragma once
#include <QString>
#include <QStringList>

// More than a hundred texts that are not numbers, or numbers too large to
// be a frequency: empty, lone signs and points, words, non-ASCII digits and
// letters, 40-digit and very long numbers, control characters.
inline QStringList Garbage()
{
    const QString forty = "1234567890123456789012345678901234567890";
    const QStringList base = {
        "", ".", "-", "+", "..", "--", "+-", "-.", ".-", "e", "E5", "e-3", "1e999", "-1e999", "1e+999",
        "nan", "NaN", "-nan", "inf", "-inf", "Infinity", "0x1F", "abc", "Hz", "kHz", "twelve", forty,
        "-" + forty, forty + "." + forty, QString(10000, '9'), QString(100000, 'x'), "1e309",
        QString::fromUtf8("١٢٣٤"), QString::fromUtf8("１２３４"), QString::fromUtf8("ü"),
        QString::fromUtf8("日本語"), QString::fromUtf8("🙂"), QString::fromUtf8("€5"), QString(QChar(0)),
        "\t", "\x01\x02", "'", "\"", "\\", "/", "%s%n", "NULL", "1.2.3", "1,000", "--5", "5e", ".e1",
    };
    QStringList all;
    for (const QString& b : base) all << b << " " + b << b + "!";
    return all;
}
