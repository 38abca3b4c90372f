#pragma once

#include "report.h"

// The cost of one LAN status reply on a shown panel, repaint included: a reply that
// changes nothing and one that moves an antenna, each against re-applying every button's
// style sheet on every reply.
namespace RenderBench {

struct Options
{
    int iterations = 1000;
};

QList<Report::Row> run(const Options &options);

} // namespace RenderBench
