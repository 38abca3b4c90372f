#include "datagramqueue.h"

#include "engine/protocol.h"

#include <algorithm>

int DatagramQueue::commandCode(const QByteArray &payload)
{
    return payload.size() >= 2 ? static_cast<quint8>(payload.at(1)) : -1;
}

void DatagramQueue::enqueue(const QByteArray &payload)
{
    const int code = commandCode(payload);
    const auto superseded = [code](const QByteArray &queued) {
        const int queuedCode = commandCode(queued);
        if (code == Protocol::LanStateRequest)
            return queuedCode == Protocol::LanStateRequest;
        if (code == Protocol::LanSelectChannel1)
            return queuedCode == Protocol::LanSelectChannel1 || queuedCode == Protocol::LanStateRequest;
        return false;
    };
    payloads.erase(std::remove_if(payloads.begin(), payloads.end(), superseded), payloads.end());
    payloads.append(payload);
}
