#pragma once

#include "report.h"

#include <QStringList>

// The station without a window against the panel, both as they are run: zorvik-panel
// --headless and zorvik-panel --connect (on the offscreen platform), each polling a
// simulator of its own on the same link, started together and measured over the same
// window: the CPU each takes while polling (all threads, from /proc) and its peak resident
// memory (VmHWM) at the end.
namespace HeadlessBench {

struct Options
{
    int seconds = 20; // measured window
    QString panel; // zorvik-panel
    QString simulator; // talmek-sim
    QStringList links{QStringLiteral("serial"), QStringLiteral("lan")};
};

QList<Report::Row> run(const Options &options);

} // namespace HeadlessBench
