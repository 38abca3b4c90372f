#include "polltick.h"

namespace PollTick {

Decision decide(const Inputs &in)
{
    Decision out;
    out.lastSendTime = in.lastSendTime;
    if (!in.serialOpen && !in.lanLinkEnabled)
        return out;

    const qint64 sinceLastSend = in.now - in.lastSendTime;
    if (!in.lanLinkEnabled && !in.queueEmpty) {
        if (sinceLastSend > QueueGapMs) {
            out.lastSendTime = in.now;
            out.sendQueuedCommand = true;
        }
    } else if (sinceLastSend > StateRequestGapMs) {
        out.lastSendTime = in.now;
        out.sendStateRequest = true;
    }
    out.readReply = !in.lanLinkEnabled;
    return out;
}

} // namespace PollTick
