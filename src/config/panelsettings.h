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

    // Reads the file at `path`; a missing or unreadable file gives the defaults.
    static PanelSettings load(const QString &path);
};
