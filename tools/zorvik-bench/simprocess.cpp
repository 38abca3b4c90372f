#include "simprocess.h"

#include "benchsupport.h"

SimProcess::SimProcess(const QString &program)
{
    process.setProgram(program);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] { collect(); });
}

SimProcess::~SimProcess()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.write("quit\n");
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

QString SimProcess::start(const QStringList &arguments, const QString &readyPrefix, int timeoutMs)
{
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        error = QStringLiteral("%1 did not start: %2").arg(process.program(), process.errorString());
        return {};
    }
    const QString line = waitForLine(readyPrefix, 0, timeoutMs);
    if (line.isEmpty())
        error = QStringLiteral("%1 printed no \"%2\" line").arg(process.program(), readyPrefix);
    return line.mid(readyPrefix.size()).trimmed();
}

QString SimProcess::waitForLine(const QString &prefix, int from, int timeoutMs)
{
    QString found;
    BenchSupport::waitUntil(
        [&] {
            for (int i = qMax(0, from); i < lines.size(); ++i) {
                if (lines.at(i).startsWith(prefix)) {
                    found = lines.at(i);
                    return true;
                }
            }
            return process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    return found;
}

long long SimProcess::statsCounter(const QString &key, int timeoutMs)
{
    const int from = lines.size();
    process.write("state\n");
    // The STATS lines follow the STATE line; the last of them is written at once after it.
    if (waitForLine(QStringLiteral("STATE "), from, timeoutMs).isEmpty())
        return -1;
    long long value = -1;
    BenchSupport::waitUntil(
        [&] {
            for (int i = from; i < lines.size(); ++i) {
                const int at = lines.at(i).indexOf(key);
                if (lines.at(i).startsWith(QLatin1String("STATS ")) && at >= 0) {
                    value = lines.at(i).mid(at + key.size()).section(QLatin1Char(' '), 0, 0).toLongLong();
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return value;
}

void SimProcess::collect()
{
    while (process.canReadLine())
        lines << QString::fromLocal8Bit(process.readLine()).trimmed();
}
