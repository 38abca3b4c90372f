#pragma once

#include "config/panelsettings.h"
#include "engine/monotonicclock.h"

#include <QObject>
#include <QString>

#include <memory>

class Station;

// The remote control's server: HTTP/1.1 with JSON under /api/v1, server-sent events, a
// WebSocket for the page, and the page itself at "/", on one port, on the station's thread.
// Every command enters through the station's door with Origin{Source::Remote, address}.
//
// Thread contract: made, used and destroyed on the station's thread; no threads of its own.
class RemoteServer : public QObject
{
    Q_OBJECT

public:
    explicit RemoteServer(Station &station, QObject *parent = nullptr);
    // The clock of the access rules (wrong tokens, the command allowance).
    RemoteServer(Station &station, const MonotonicClock &clock, QObject *parent = nullptr);
    ~RemoteServer() override; // closes every connection

    // Listens as the settings say (Off: stops listening and closes every connection). False,
    // with errorString(), when the port cannot be had. Port 0 takes a free port (tests).
    bool apply(const PanelSettings::Remote &settings);
    void stop();
    bool isListening() const;
    // The port listened on (the one taken when 0 was asked for).
    quint16 port() const;
    QString errorString() const;
    // The address for people: "http://192.168.1.20:8750/" (the first non-loopback IPv4 in
    // network mode, 127.0.0.1 in local mode); empty when off.
    QString pageAddress() const;

    int connectionCount() const;
    int streamCount() const; // WebSockets and event streams

    static constexpr int MaxConnections = 16;
    static constexpr int MaxStreams = 8;
    static constexpr int RequestTimeLimitMs = 10'000;
    static constexpr int KeepAliveCommentMs = 15'000;
    // At most 20 state messages a second to each client.
    static constexpr int StateMessageGapMs = 50;
    // A client that leaves more than this unread is dropped.
    static constexpr qint64 MaxUnreadBytes = 64 * 1024;

    // For tests: shorter time limits than the ones above, so that no test waits 10 s.
    void setTimeLimits(int requestMs, int keepAliveCommentMs);

signals:
    void listeningChanged(bool listening);

private:
    class Private;
    std::unique_ptr<Private> d;
};
