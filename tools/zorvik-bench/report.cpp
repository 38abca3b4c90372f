#include "report.h"

#include <QFile>
#include <QGuiApplication>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>

#ifndef ZORVIK_BENCH_BUILD_TYPE
#define ZORVIK_BENCH_BUILD_TYPE "unknown"
#endif

namespace Report {

namespace {
double rank(const QVector<double> &sorted, double fraction)
{
    const int n = sorted.size();
    const int index = qBound(0, int(std::ceil(fraction * n)) - 1, n - 1);
    return sorted.at(index);
}

QString procLine(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        if (line.startsWith(key)) {
            const int colon = line.indexOf(QLatin1Char(':'));
            return colon < 0 ? QString() : line.mid(colon + 1).trimmed();
        }
    }
    return {};
}
} // namespace

Summary summarize(QVector<double> samples)
{
    Summary s;
    s.count = samples.size();
    if (samples.isEmpty())
        return s;
    std::sort(samples.begin(), samples.end());
    s.min = samples.first();
    s.max = samples.last();
    const int n = samples.size();
    s.median = n % 2 ? samples.at(n / 2) : (samples.at(n / 2 - 1) + samples.at(n / 2)) / 2;
    s.p95 = rank(samples, 0.95);
    s.p99 = rank(samples, 0.99);
    double sum = 0;
    for (double v : samples)
        sum += v;
    s.mean = sum / n;
    return s;
}

QString number(double value) { return number(value, std::fabs(value) < 100 ? 1 : 0); }

QString number(double value, int decimals) { return QString::number(value, 'f', decimals); }

Verdict verdictOf(bool met) { return met ? Verdict::Met : Verdict::Missed; }

QStringList table(const QList<Row> &rows)
{
    QStringList lines;
    lines << QStringLiteral("| Measurement | Figure | Unit | Target | Met |")
          << QStringLiteral("|---|---:|---|---|---|");
    for (const Row &row : rows) {
        QString verdict;
        switch (row.verdict) {
        case Verdict::Info:
            verdict = QStringLiteral("-");
            break;
        case Verdict::Met:
            verdict = QStringLiteral("yes");
            break;
        case Verdict::Missed:
            verdict = QStringLiteral("**NO**");
            break;
        }
        lines << QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                     .arg(row.measurement, row.figure, row.unit,
                          row.target.isEmpty() ? QStringLiteral("-") : row.target, verdict);
    }
    return lines;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    const QStringList fields = QString::fromLatin1(file.readAll()).split(QLatin1Char(' '));
    return fields.size() >= 3 ? fields.mid(0, 3).join(QLatin1Char(' ')) : QStringLiteral("unknown");
}

QStringList machineLines()
{
    QString cpu = procLine(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name"));
    if (cpu.isEmpty())
        cpu = QStringLiteral("unknown");
    const QString mhz = procLine(QStringLiteral("/proc/cpuinfo"), QStringLiteral("cpu MHz"));
    const QString memory = procLine(QStringLiteral("/proc/meminfo"), QStringLiteral("MemTotal"));
    QStringList lines;
    lines << QStringLiteral("- CPU: %1%2, %3 logical cores")
                 .arg(cpu, mhz.isEmpty() ? QString() : QStringLiteral(" (%1 MHz)").arg(mhz))
                 .arg(QThread::idealThreadCount())
          << QStringLiteral("- Memory: %1").arg(memory.isEmpty() ? QStringLiteral("unknown") : memory)
          << QStringLiteral("- System: %1, kernel %2").arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion())
          << QStringLiteral("- Qt: %1 at run time (built against %2), platform plugin \"%3\"")
                 .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR), QGuiApplication::platformName())
          << QStringLiteral("- Build: %1, compiler %2")
                 .arg(QStringLiteral(ZORVIK_BENCH_BUILD_TYPE), QStringLiteral(__VERSION__))
          << QStringLiteral("- Load average (1/5/15 min) at start: %1").arg(loadAverage());
    return lines;
}

void print(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace Report
