#pragma once

#include "station/station.h"

#include <QString>

// What the panel says of a switch a remote client made, in the status bar and to the
// screen reader: who, which channel, and what it switched to. "Remote 192.168.1.20:
// channel 1 → Ant 3 (Yagi)", or over the message broker "MQTT 127.0.0.1:1883: channel 1 →
// Ant 3 (Yagi)". Empty for any other command, and for a remote one that sent
// nothing (the client is told why; the operator has nothing to look at).
namespace RemoteSwitchNote {

QString text(const Station &station, const Station::Origin &origin, int channel, const Station::Result &result);

} // namespace RemoteSwitchNote
