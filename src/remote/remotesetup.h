#pragma once

#include "config/panelsettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class RemoteServer;
class Station;

// The remote control as a face of the station runs it: a RemoteServer on the station's
// settings, applied at start and again whenever they change, with what this run overrides
// (the headless mode's --remote and --remote-port), and a control token made and stored
// when the network is to be served without one. The panel and the headless mode each own
// one and say what it says.
//
// Thread contract: the station's thread.
class RemoteSetup : public QObject
{
    Q_OBJECT

public:
    explicit RemoteSetup(Station &station, QObject *parent = nullptr);
    ~RemoteSetup() override;

    // For this run only, over the file's values (never stored).
    void overrideMode(PanelSettings::Remote::Mode mode) { modeOverride = mode; }
    void overridePort(quint16 port) { portOverride = port; }

    // Applies the settings now, and from now on whenever the station's change.
    void start();
    // The settings the server runs with.
    PanelSettings::Remote settings() const;
    RemoteServer &server() const { return *running; }

signals:
    // A control token was made and stored in `file` (network mode had none).
    void tokenMade(const QString &file);
    // What became of it, for the operator: "Remote control on http://127.0.0.1:8750/",
    // "Remote control: cannot listen on 127.0.0.1:8750: <reason>", "Remote control off";
    // said once, not again while it stays so.
    void said(const QString &text);

private:
    void apply();
    void say(const QString &text);

    Station &station;
    std::unique_ptr<RemoteServer> running;
    std::optional<PanelSettings::Remote::Mode> modeOverride;
    std::optional<quint16> portOverride;
    // The token made in this run, until the station reads it from its file.
    QString madeToken;
    QString lastSaid;
    bool applying = false;
};
