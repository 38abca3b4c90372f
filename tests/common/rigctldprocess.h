#pragma once

// Hamlib's rigctld with its dummy radio as a child process on a free loopback port, for
// end-to-end tests of band follow; the dummy radio's frequency is set with rigctl, as a
// logger or the radio's own knob would move it. Killed and joined when it goes.

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class RigctldProcess
{
public:
    ~RigctldProcess() { kill(); }

    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("rigctld")).isEmpty(); }

    // Starts on `port`, or on a free one when 0 (tried again should another program take
    // it between the probe and the start), and waits until it takes connections.
    bool start(quint16 wanted = 0)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QTcpServer probe;
            listenPort = wanted != 0 ? wanted : (probe.listen(QHostAddress::LocalHost), probe.serverPort());
            probe.close();
            process.start(
                QStringLiteral("rigctld"),
                {QStringLiteral("-m1"), QStringLiteral("-T127.0.0.1"), QStringLiteral("-t%1").arg(listenPort)});
            if (process.waitForStarted(5000) && QTest::qWaitFor([this] { return listening(); }, 5000))
                return true;
            kill();
        }
        return false;
    }

    void kill()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    quint16 port() const { return listenPort; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(listenPort); }

    bool setFrequency(qint64 hz)
    {
        QProcess rigctl;
        rigctl.start(
            QStringLiteral("rigctl"),
            {QStringLiteral("-m2"), QStringLiteral("-r"), address(), QStringLiteral("F"), QString::number(hz)});
        const bool done = rigctl.waitForFinished(5000) && rigctl.exitCode() == 0;
        rigctl.kill();
        rigctl.waitForFinished(2000);
        return done;
    }

private:
    bool listening()
    {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, listenPort);
        return process.state() == QProcess::Running && probe.waitForConnected(500);
    }

    QProcess process;
    quint16 listenPort = 0;
};
