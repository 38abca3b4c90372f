#pragma once

#include "linkstate.h"

class QObject;

// What the polling thread sees of the window it paces, and what it asks of it.
class PollingPeer
{
public:
    // What one tick asks the GUI thread for (bits, several may come together when the GUI
    // thread was busy for a while).
    enum Request : int {
        SendQueuedCommand = 1, // callEnvioFila
        SendStateRequest = 2, // callEnviar
        ReadReply = 4, // callReceber
        CheckLink = 8, // checkCOMTimeout
    };

    // Any thread: values the GUI thread keeps in atomics; one tick old is fine.
    virtual const LinkFlags &linkFlags() const = 0;
    virtual bool isCommandQueueEmpty() const = 0;

    // The object whose thread carries the requests out...
    virtual QObject *pollingContext() = 0;
    // ...with this, on that thread.
    virtual void carryOutTick(int requests) = 0;

protected:
    ~PollingPeer() = default;
};
