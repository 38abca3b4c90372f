#include "lanlink.h"

#include "hostresolution.h"
#include "threadcom.h"

#include <QDateTime>

LanLink::LanLink(const MonotonicClock &clock, QObject *parent)
    : QObject(parent)
    , lanWorker(std::make_unique<ThreadCOM>(clock))
{
    connect(lanWorker.get(), &ThreadCOM::textReceived, this, &LanLink::replyReceived);
}

LanLink::~LanLink() = default;

void LanLink::setBox(const QString &hostName, const QString &portText, bool directIp)
{
    name = hostName;
    port = portText;
    direct = directIp;
    fixedAddress = HostResolution::addressWithoutLookup(name, direct);
    const QString resolved = HostResolution::resolveNow(name);
    if (resolved == HostResolution::errorSentinel())
        emit hostNotFound();
    address = resolved;
    lanWorker->setDestination(address, port);
}

void LanLink::setDirectIp(bool on)
{
    direct = on;
    fixedAddress = HostResolution::addressWithoutLookup(name, direct);
}

void LanLink::send(const QByteArray &frame)
{
    if (fixedAddress)
        applyAddress(*fixedAddress);
    else
        QHostInfo::lookupHost(name, this, &LanLink::lookupFinished);
    lanWorker->enqueueDatagram(frame);
}

void LanLink::lookupFinished(const QHostInfo &host)
{
    // Look-ups are never aborted: one started for a name the operator has since replaced
    // must not undo the new name's address.
    if (host.hostName() != name)
        return;
    const QString resolved = HostResolution::addressFrom(host);
    if (resolved == HostResolution::errorSentinel())
        emit hostNotFound();
    applyAddress(resolved);
}

void LanLink::applyAddress(const QString &newAddress)
{
    if (newAddress == address)
        return;
    address = newAddress;
    lanWorker->setDestination(address, port);
}

qint64 LanLink::pingFigure() const
{
    const std::optional<qint64> roundTrip = lanWorker->lastReplyRoundTrip();
    // Before anything was sent the figure is the arrival time itself, a date shown to the
    // operator, not an interval: the wall clock is the one asked for.
    return roundTrip ? *roundTrip : QDateTime::currentMSecsSinceEpoch();
}
