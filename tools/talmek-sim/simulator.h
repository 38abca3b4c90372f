#pragma once

#include "controlline.h"
#include "replypolicy.h"
#include "simoptions.h"
#include "switchbox.h"

#include <QList>
#include <QObject>

class SerialLink;
class UdpLink;

// Wires the box to its links and to the console. Single-threaded: every link, timer and
// notifier runs on the main thread's event loop, so the box needs no locking; the only
// asynchronous context is the signal handler inside SignalWatcher.
class Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Simulator(const SimOptions &options, QObject *parent = nullptr);

    // Opens every requested link and prints its "PTY"/"SERIAL"/"UDP" line.
    bool start(QString *error);

private:
    void handleControlLine(const QString &line);
    void execute(const TalmekSim::ControlCommand &command);

    SimOptions m_options;
    TalmekSim::SwitchBox m_box;
    TalmekSim::ReplyPolicy m_policy;
    QList<SerialLink *> m_serialLinks;
    UdpLink *m_udp = nullptr;
};
