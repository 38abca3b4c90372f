#pragma once

#include "config/panelsettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class MqttBridge;
class Station;

// The bridge to the message broker as a face of the station runs it: one MqttBridge on the
// station's settings, applied at start and again whenever they change, with what this run
// overrides (the headless mode's --mqtt, --mqtt-host, --mqtt-port and --mqtt-base, never
// stored). The panel and the headless mode each own one and say what it says.
//
// Thread contract: the station's thread.
class MqttSetup : public QObject
{
    Q_OBJECT

public:
    // What a run sets over the file's values.
    struct Overrides
    {
        std::optional<bool> on;
        std::optional<QString> host;
        std::optional<quint16> port;
        std::optional<QString> base;

        void applyTo(PanelSettings::Mqtt &mqtt) const;
    };

    explicit MqttSetup(Station &station, QObject *parent = nullptr);
    ~MqttSetup() override;

    void setOverrides(const Overrides &run) { overrides = run; }

    // Applies the settings now, and from now on whenever the station's change.
    void start();
    // The settings the bridge runs with.
    PanelSettings::Mqtt settings() const;
    MqttBridge &bridge() const { return *running; }
    // What was said last (empty before anything was).
    QString lastText() const { return lastSaid; }

signals:
    // The bridge's news for the operator, as it words them ("MQTT: connected to
    // 127.0.0.1:1883 as zorvik/shack", "MQTT: cannot reach ...", "MQTT off"); said once, not
    // again while it stays so. A bridge that was never on says nothing.
    void said(const QString &text);

private:
    void apply();
    void say(const QString &text);

    Station &station;
    std::unique_ptr<MqttBridge> running;
    Overrides overrides;
    QString lastSaid;
};
