#pragma once

// The built talmek-sim as a child process for end-to-end tests: starts it, collects its
// console lines while the test's event loop runs (the panel needs that loop too, so
// nothing here blocks it), sends control lines and stops it.

#include <QCoreApplication>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

class TalmekSimProcess
{
public:
    TalmekSimProcess()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] { collect(); });
    }
    ~TalmekSimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    TalmekSimProcess(const TalmekSimProcess &) = delete;
    TalmekSimProcess &operator=(const TalmekSimProcess &) = delete;

    // TALMEK_SIM (set by ctest), else the default build layout beside tests/.
    static QString program()
    {
        const QString fromEnv = qEnvironmentVariable("TALMEK_SIM");
        if (!fromEnv.isEmpty())
            return fromEnv;
        return QCoreApplication::applicationDirPath() + QStringLiteral("/../talmek-sim");
    }

    // Starts the simulator and waits for its pseudo-terminal (when asked for with --pty).
    bool start(const QStringList &arguments, int timeoutMs = 5000)
    {
        process.start(program(), arguments);
        if (!process.waitForStarted(timeoutMs))
            return false;
        if (!arguments.contains(QStringLiteral("--pty")))
            return true;
        pty = waitForLine(QStringLiteral("PTY "), 0, timeoutMs).mid(4).trimmed();
        return !pty.isEmpty();
    }

    QString ptyPath() const { return pty; }
    bool isRunning() const { return process.state() != QProcess::NotRunning; }

    // Every console line so far, in order.
    const QStringList &lines() const { return output; }
    int lineCount() const { return output.size(); }

    // Lines from index `from` on that start with `prefix`.
    int count(const QString &prefix, int from = 0) const
    {
        int n = 0;
        for (int i = qMax(0, from); i < output.size(); ++i)
            n += output.at(i).startsWith(prefix) ? 1 : 0;
        return n;
    }

    // The first line from index `from` on that starts with `prefix`, waiting up to
    // `timeoutMs` while the event loop runs; empty if none came.
    QString waitForLine(const QString &prefix, int from, int timeoutMs = 3000)
    {
        QString found;
        int i = qMax(0, from);
        const bool ended = QTest::qWaitFor(
            [&] {
                for (; i < output.size(); ++i) {
                    if (output.at(i).startsWith(prefix)) {
                        found = output.at(i);
                        return true;
                    }
                }
                return process.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return ended ? found : QString();
    }

    bool send(const QString &line)
    {
        const QByteArray bytes = line.toLocal8Bit() + '\n';
        return process.write(bytes) == bytes.size();
    }

    // Sends a control line and waits for its "OK ..." answer.
    bool control(const QString &line, int timeoutMs = 3000)
    {
        const int from = output.size();
        return send(line) && !waitForLine(QStringLiteral("OK ") + line, from, timeoutMs).isEmpty();
    }

    // The box's state as the simulator prints it ("antenna1" -> 2, ...); empty if it did
    // not answer in time.
    QMap<QString, int> state(int timeoutMs = 3000)
    {
        QMap<QString, int> values;
        const int from = output.size();
        if (!send(QStringLiteral("state")))
            return values;
        const QString line = waitForLine(QStringLiteral("STATE "), from, timeoutMs);
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &field : fields) {
            const int eq = field.indexOf(QLatin1Char('='));
            if (eq > 0)
                values.insert(field.left(eq), field.mid(eq + 1).toInt());
        }
        return values;
    }

    // One value of state(), or -1 if the simulator did not answer.
    int stateValue(const QString &key, int timeoutMs = 3000) { return state(timeoutMs).value(key, -1); }

    // "quit", then true only for a normal exit with code 0.
    bool quit(int timeoutMs = 5000)
    {
        if (!isRunning() || !send(QStringLiteral("quit")))
            return false;
        if (!process.waitForFinished(timeoutMs))
            return false;
        collect();
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

private:
    void collect()
    {
        while (process.canReadLine())
            output << QString::fromLocal8Bit(process.readLine()).trimmed();
    }

    QProcess process;
    QStringList output;
    QString pty;
};
