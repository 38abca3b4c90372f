#pragma once

#include "engine/monotonicclock.h"

#include <QByteArray>
#include <QHostInfo>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class ThreadCOM;

// The LAN link to the box: the worker that paces the datagrams, the box's address kept in
// step with its configured name, and the "Ping: " figure of each reply.
//
// The address is looked up, blocking, whenever the box is configured, and again before
// every frame: "Directly to IP" takes the name as it stands, an address stands for itself,
// and a name is looked up asynchronously, the frame going to the address of an earlier
// look-up. A failed look-up makes the address the sentinel "error", which holds every
// datagram back until a look-up succeeds.
//
// Thread contract: GUI thread only; the worker keeps its own (see ThreadCOM).
class LanLink : public QObject
{
    Q_OBJECT

public:
    explicit LanLink(const MonotonicClock &clock, QObject *parent = nullptr);
    // Stops and joins the worker.
    ~LanLink() override;

    // The box as stored: its name or address, its port text, the direct-address option.
    // Looks the name up now; a failure is reported by hostNotFound().
    void setBox(const QString &hostName, const QString &portText, bool directIp);
    void setDirectIp(bool on);
    bool directIp() const { return direct; }
    QString hostAddress() const { return address; }
    QString portText() const { return port; }

    // Refreshes the box's address and queues the frame for the worker.
    void send(const QByteArray &frame);
    // A look-up started by send() has finished; one for a name since replaced is ignored.
    void lookupFinished(const QHostInfo &host);

    // The figure shown after "Ping: " for the box's latest reply: the time from the last
    // datagram sent to the reply's arrival, as the worker read it, or, before anything was
    // sent, the wall clock's milliseconds since the epoch.
    qint64 pingFigure() const;

    ThreadCOM *worker() const { return lanWorker.get(); }

signals:
    // A datagram from the box, as text.
    void replyReceived(const QString &text);
    // The box's name did not resolve: nothing is sent until it does.
    void hostNotFound();

private:
    void applyAddress(const QString &newAddress);

    std::unique_ptr<ThreadCOM> lanWorker;
    QString name;
    QString port;
    bool direct = false;
    QString address;
    // The address every frame goes to without a look-up (a direct name, or an address
    // literal), worked out once per change of name or option rather than per frame.
    std::optional<QString> fixedAddress;
};
