#pragma once

#include "monotonicclock.h"

// Whether the box is answering: it is from its first sign of life until it has been
// silent for more than TimeoutMs. Both links tell it when they hear the box; the POWER
// lamp, the panel and band follow ask it.
//
// Thread contract: GUI thread only.
class LinkWatchdog
{
public:
    // Silence after which the POWER lamp goes neutral and the panel is cleared.
    static constexpr qint64 TimeoutMs = 7000;

    explicit LinkWatchdog(const MonotonicClock &monotonicClock)
        : clock(monotonicClock)
    {}

    // A sign of life from the box, now.
    void heard()
    {
        lastReplyTime = clock.nowMs();
        heardOnce = true;
    }
    // The link went down: what the box did before says nothing of what it does once the
    // link is back, so it counts as answering again only from its next sign of life.
    void forget() { heardOnce = false; }
    // Until the first sign of life the box does not count as answering: the lamp never
    // claims a box that has not answered yet.
    bool boxAnswering() const { return heardOnce && clock.nowMs() - lastReplyTime <= TimeoutMs; }

private:
    const MonotonicClock &clock;
    qint64 lastReplyTime = 0;
    bool heardOnce = false;
};
