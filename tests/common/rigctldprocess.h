#pragma once

// Hamlib's rigctld with its dummy radio as a child process on a free loopback port, for
// end-to-end tests of band follow; the dummy radio's frequency is set with rigctl, as a
// logger or the radio's own knob would move it. Killed and joined when it goes.

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class RigctldProcess
{
public:
    RigctldProcess() { process.setProcessChannelMode(QProcess::ForwardedErrorChannel); }
    ~RigctldProcess() { kill(); }
    RigctldProcess(const RigctldProcess &) = delete;
    RigctldProcess &operator=(const RigctldProcess &) = delete;

    static bool available()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("rigctld")).isEmpty()
            && !QStandardPaths::findExecutable(QStringLiteral("rigctl")).isEmpty();
    }

    // Starts on `port`, or on a free one when 0 (a port taken between the probe and the
    // start is tried again), and waits until it takes connections.
    bool start(quint16 wanted = 0)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            listenPort = wanted != 0 ? wanted : freePort();
            process.start(QStringLiteral("rigctld"),
                          {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-T"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("-t"), QString::number(listenPort)});
            if (process.waitForStarted(5000) && waitUntilListening())
                return true;
            kill();
        }
        return false;
    }

    void kill()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    quint16 port() const { return listenPort; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(listenPort); }

    bool setFrequency(qint64 hz)
    {
        QProcess rigctl;
        rigctl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        rigctl.start(QStringLiteral("rigctl"),
                     {QStringLiteral("-m"), QStringLiteral("2"), QStringLiteral("-r"), address(), QStringLiteral("F"),
                      QString::number(hz)});
        if (!rigctl.waitForFinished(5000)) {
            rigctl.kill();
            rigctl.waitForFinished(2000);
            return false;
        }
        return rigctl.exitStatus() == QProcess::NormalExit && rigctl.exitCode() == 0;
    }

private:
    static quint16 freePort()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
    }

    bool waitUntilListening()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000 && process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, listenPort);
            if (probe.waitForConnected(500))
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    QProcess process;
    quint16 listenPort = 0;
};
