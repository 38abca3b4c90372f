#pragma once

#include "config/panelsettings.h"

#include <QObject>
#include <QString>

#include <memory>

class Station;

// The station on the shack's MQTT broker (see mqtttopics.h for the topics), through
// Eclipse's libmosquitto.
//
// Thread contract: made, used and destroyed on the station's thread. (How libmosquitto is
// driven, and why, is said in mqttbridge.cpp's opening comment.)
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    enum class Status : quint8 { Off, Connecting, Connected, Refused, Unreachable };
    Q_ENUM(Status)

    explicit MqttBridge(Station &station, QObject *parent = nullptr);
    // Publishes "offline" and disconnects cleanly.
    ~MqttBridge() override;

    // Connects as the settings say (off: removes the discovery entities, publishes offline,
    // disconnects). Never blocks.
    void apply(const PanelSettings::Mqtt &settings);
    Status status() const;
    // The topics' base in use.
    QString base() const;
    // The wait before the next attempt after a failed one: `firstMs`, doubled after each
    // failure up to `maxMs` (1 s and 30 s unless changed; tests shorten them).
    void setBackOff(int firstMs, int maxMs);

signals:
    // For the operator, told from the event loop (a listener may delete the bridge):
    // "MQTT: connecting to 127.0.0.1:1883", "MQTT: connected to 127.0.0.1:1883 as zorvik/dl0zrc",
    // "MQTT: cannot reach 127.0.0.1:1883; trying again in 8 s",
    // "MQTT: the broker refused the connection: bad user name or password" (or "not
    // authorised"), "MQTT off".
    void statusChanged(MqttBridge::Status status, const QString &text);

private:
    class Private;
    std::unique_ptr<Private> d;
};
