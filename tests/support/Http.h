// Loopback HTTP for the metrics tests: a free port, a GET with a time
// limit, a metric's value from the text format, and a process that is
// always stopped.
#pragma once
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>
#include <memory>

inline quint16 FreeLoopbackPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// The body of a GET, empty when it fails or takes longer than ms.
inline QByteArray Get(const QUrl& url, int ms = 5000)
{
    QNetworkAccessManager net;
    std::unique_ptr<QNetworkReply> reply(net.get(QNetworkRequest(url)));
    QEventLoop wait;
    QObject::connect(reply.get(), &QNetworkReply::finished, &wait, &QEventLoop::quit);
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
    return reply->isFinished() && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
}

// A series' value in the Prometheus text format, NaN when it is not there.
inline double Metric(const QByteArray& text, const QString& name, const QString& monitor)
{
    const QRegularExpression line("^" + name + "\\{monitor=\"" + QRegularExpression::escape(monitor) + "\"\\} (\\S+)$",
                                  QRegularExpression::MultilineOption);
    const auto m = line.match(QString::fromUtf8(text));
    return m.hasMatch() ? m.captured(1).toDouble() : NAN;
}

// A process that is stopped when it goes out of scope, whatever happened.
struct Started : QProcess {
    ~Started() override
    {
        terminate();
        if (!waitForFinished(5000)) kill(), waitForFinished(2000);
    }
};

// Starts a server (its output merged) and waits until it accepts
// connections on the loopback port: empty then, else why not.
inline QString StartListening(QProcess& p, const QString& program, const QStringList& args, quint16 port)
{
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired();) {
        QTcpSocket probe;
        probe.connectToHost("127.0.0.1", port);
        if (probe.waitForConnected(200)) return {};
        if (p.waitForFinished(100)) return program + " exited: " + p.readAll();
    }
    return program + " did not listen within 10 s";
}
