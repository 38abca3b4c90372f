#include "procthreads.h"

#include <QDir>
#include <QFile>

namespace ProcThreads {

namespace {
QByteArray readSmall(const QString &path)
{
    QFile file(path);
    // /proc files report size 0: read what is there, not what stat() says.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

QMap<qint64, Use> snapshot(qint64 pid)
{
    QMap<qint64, Use> use;
    const QString base = QStringLiteral("/proc/%1/task/").arg(pid);
    const QStringList tids = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tids) {
        bool numeric = false;
        const qint64 id = tid.toLongLong(&numeric);
        const QByteArray schedstat = readSmall(base + tid + QStringLiteral("/schedstat"));
        const QByteArray status = readSmall(base + tid + QStringLiteral("/status"));
        // A thread that ended between the listing and the reads has nothing left to give.
        if (!numeric || schedstat.isEmpty() || status.isEmpty())
            continue;
        Use u;
        u.name = QString::fromLocal8Bit(readSmall(base + tid + QStringLiteral("/comm")).trimmed());
        u.cpuNs = schedstat.split(' ').value(0).toLongLong();
        const QList<QByteArray> lines = status.split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                u.wakeups = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        use.insert(id, u);
    }
    return use;
}

} // namespace ProcThreads
