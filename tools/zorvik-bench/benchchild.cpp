#include "benchchild.h"

#include "benchsupport.h"

BenchChild::BenchChild(const QString &program, const QProcessEnvironment &environment)
{
    process.setProgram(program);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] { collect(); });
}

BenchChild::~BenchChild()
{
    if (process.state() == QProcess::NotRunning)
        return;
    if (!stop()) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool BenchChild::start(const QStringList &arguments, int timeoutMs)
{
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        error = QStringLiteral("the child did not start: %1").arg(process.errorString());
        return false;
    }
    const QString ready = waitForLine(QStringLiteral("READY"), 0, timeoutMs);
    if (!ready.isEmpty() && process.state() == QProcess::Running)
        return true;
    const QString failed = waitForLine(QStringLiteral("CHILD failed: "), 0, 0);
    if (!failed.isEmpty())
        error = failed.mid(14);
    else if (process.state() == QProcess::NotRunning)
        error = QStringLiteral("the child exited with code %1 before it was ready").arg(process.exitCode());
    else
        error = QStringLiteral("the child was not ready within %1 ms").arg(timeoutMs);
    return false;
}

QString BenchChild::request(const QByteArray &command, const QString &answerPrefix, int timeoutMs)
{
    const int from = lines.size();
    process.write(command + '\n');
    return waitForLine(answerPrefix, from, timeoutMs);
}

bool BenchChild::counts(Counts &out, int timeoutMs)
{
    const QString line = request("count", QStringLiteral("COUNT "), timeoutMs);
    if (line.isEmpty())
        return false;
    const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &field : fields) {
        if (field.startsWith(QLatin1String("requests=")))
            out.requests = field.section(QLatin1Char('='), 1).toLongLong();
        else if (field.startsWith(QLatin1String("replies=")))
            out.replies = field.section(QLatin1Char('='), 1).toLongLong();
        else if (field.startsWith(QLatin1String("messages=")))
            out.messages = field.section(QLatin1Char('='), 1).toLongLong();
        else if (field.startsWith(QLatin1String("paints=")))
            out.paints = field.section(QLatin1Char('='), 1).toLongLong();
    }
    return true;
}

bool BenchChild::stop(int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    process.write("quit\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString BenchChild::waitForLine(const QString &prefix, int from, int timeoutMs)
{
    QString found;
    const auto look = [&] {
        for (int i = qMax(0, from); i < lines.size(); ++i) {
            if (lines.at(i).startsWith(prefix)) {
                found = lines.at(i);
                return true;
            }
        }
        return process.state() == QProcess::NotRunning;
    };
    if (timeoutMs > 0)
        BenchSupport::waitUntil(look, timeoutMs);
    else
        look();
    return found;
}

void BenchChild::collect()
{
    while (process.canReadLine())
        lines << QString::fromLocal8Bit(process.readLine()).trimmed();
}
