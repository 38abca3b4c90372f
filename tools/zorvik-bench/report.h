#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

// What the benchmark prints: one table row per figure, with its target and verdict, and the
// machine the figures were taken on.
namespace Report {

enum class Verdict { Info, Met, Missed };

struct Row
{
    QString measurement;
    QString figure;
    QString unit;
    QString target;
    Verdict verdict = Verdict::Info;
};

struct Summary
{
    int count = 0;
    double median = 0;
    double p95 = 0;
    double p99 = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
};

// Order statistics of the samples (nearest-rank percentiles).
Summary summarize(QVector<double> samples);

// Fixed-point text of a figure: one decimal below 100, none above.
QString number(double value);
QString number(double value, int decimals);

Verdict verdictOf(bool met);

// The lines of a Markdown table of the rows.
QStringList table(const QList<Row> &rows);

// CPU model, cores, kernel, Qt run-time and build version, platform plugin, build type, load.
QStringList machineLines();
// The 1, 5 and 15 minute load averages as /proc/loadavg gives them.
QString loadAverage();

// Writes one line on standard output at once (the figures come minutes apart).
void print(const QString &line = QString());

} // namespace Report
