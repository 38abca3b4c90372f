#pragma once

#include <QtGlobal>

// The polling thread's decision for one tick, as a plain function of what it sees,
// so the pacing can be checked without threads or sleeping.
namespace PollTick {

// A queued serial command leaves when more than this has passed since the last send...
constexpr qint64 QueueGapMs = 40;
// ...and a state request when the queue is empty and more than this has passed.
constexpr qint64 StateRequestGapMs = 150;
constexpr qint64 TickMs = 80;

struct Inputs
{
    bool serialOpen = false;
    bool lanLinkEnabled = false;
    bool queueEmpty = true;
    qint64 now = 0;
    qint64 lastSendTime = 0;
};

struct Decision
{
    bool sendQueuedCommand = false; // callEnvioFila
    bool sendStateRequest = false; // callEnviar
    bool readReply = false; // callReceber
    qint64 lastSendTime = 0; // the polling thread's next lastSendTime
};

// The link watchdog (checkCOMTimeout) is asked for on every tick and is not part of it.
// While the LAN link is up the serial queue is not looked at: its commands wait for the
// serial link, and the LAN state request keeps going out.
Decision decide(const Inputs &in);

} // namespace PollTick
