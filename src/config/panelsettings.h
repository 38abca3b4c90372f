#pragma once

#include "engine/linkstate.h"
#include "rig/bandfollowsettings.h"

#include <QString>
#include <QVariant>

#include <array>
#include <optional>

// Everything the settings file holds, read in one go: the window applies it and the dialogs
// open on it. Writes go through SettingsFile::store(), after which the window reads the
// file again.
struct PanelSettings
{
    // "K1_1".."K6_1": the antenna names as typed.
    std::array<QString, 6> antennaNames;
    // "RXONLY_1".."RXONLY_6": the antennas (by position 0..5) that must never be transmitted
    // on, such as Beverages and loops with preamplifiers.
    std::array<bool, 6> receiveOnly{};
    // "ID": the panel's identification line.
    QString id;
    // "IP", "PORT", "IPdir": the box on the LAN.
    QString ip;
    QString port;
    bool directIp = false;
    // "serialMode": 2 is serial, anything else the LAN.
    LinkMode linkMode = LinkMode::Lan;

    // The serial settings dialog's choices, as stored; it checks them against its lists.
    struct Serial
    {
        QString comPort; // "comport"
        QVariant comIndex; // "comindex"
        QVariant speedIndex; // "speedindex"
        QString customSpeed; // "customspeed"
    } serial;

    // "RIG<c>", "BAND<c>_<band>".
    BandFollowSettings bandFollow;

    // The remote control (the page and the API for phones and scripts).
    struct Remote
    {
        enum class Mode : quint8 { Off, Local, Network };
        static constexpr quint16 DefaultPort = 8750;
        // "REMOTE": off (also anything unknown), local, network.
        Mode mode = Mode::Off;
        // "REMOTE_ADDRESS": in network mode the one address to listen on; empty for all.
        QString address;
        // "REMOTE_PORT": 1..65535; anything else reads as DefaultPort.
        quint16 port = DefaultPort;
        // "REMOTE_TOKEN", "REMOTE_VIEW_TOKEN": control and watch-only tokens (empty: none).
        QString token;
        QString viewToken;
        // "REMOTE_LOCKED": the operator locked remote switching.
        bool locked = false;
        static QString modeName(Mode mode);
        static std::optional<Mode> modeFrom(const QString &name);
    } remote;

    // The bridge to the shack's MQTT broker.
    struct Mqtt
    {
        static constexpr quint16 DefaultPort = 1883;
        // "MQTT": on, or off (default; anything else).
        bool on = false;
        // "MQTT_HOST", "MQTT_PORT" (1..65535, else DefaultPort).
        QString host = QStringLiteral("127.0.0.1");
        quint16 port = DefaultPort;
        // "MQTT_USER", "MQTT_PASSWORD": empty for none.
        QString user;
        QString password;
        // "MQTT_BASE": the topics' base; empty for "zorvik/<slug of the ID>".
        QString base;
        // "MQTT_DISCOVERY": Home Assistant discovery under "homeassistant" (on by default).
        bool discovery = true;
    } mqtt;

    // Reads the file at `path`; a missing or unreadable file gives the defaults.
    static PanelSettings load(const QString &path);
};
