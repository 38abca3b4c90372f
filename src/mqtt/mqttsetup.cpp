#include "mqttsetup.h"

#include "mqttbridge.h"
#include "station/station.h"

void MqttSetup::Overrides::applyTo(PanelSettings::Mqtt &mqtt) const
{
    if (on)
        mqtt.on = *on;
    if (host)
        mqtt.host = *host;
    if (port)
        mqtt.port = *port;
    if (base)
        mqtt.base = *base;
}

MqttSetup::MqttSetup(Station &observed, QObject *parent)
    : QObject(parent)
    , station(observed)
    , running(std::make_unique<MqttBridge>(observed))
{
    connect(running.get(), &MqttBridge::statusChanged, this,
            [this](MqttBridge::Status status, const QString &text) {
                // Off from the start is no news.
                if (status == MqttBridge::Status::Off && lastSaid.isEmpty())
                    return;
                say(text);
            });
}

MqttSetup::~MqttSetup()
{
    // The bridge says goodbye as it goes: nobody is left to tell.
    running->disconnect(this);
}

void MqttSetup::start()
{
    connect(&station, &Station::settingsChanged, this, &MqttSetup::apply, Qt::UniqueConnection);
    apply();
}

PanelSettings::Mqtt MqttSetup::settings() const
{
    PanelSettings::Mqtt mqtt = station.settings().mqtt;
    overrides.applyTo(mqtt);
    return mqtt;
}

void MqttSetup::apply() { running->apply(settings()); }

void MqttSetup::say(const QString &text)
{
    if (text == lastSaid)
        return;
    lastSaid = text;
    emit said(text);
}
