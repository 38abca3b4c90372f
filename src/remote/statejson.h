#pragma once

#include <QJsonObject>

class Station;

// The station as the remote faces show it, one JSON object with the same names for the page,
// scripts and the message broker:
// {"revision": 42, "id": "DL0ZRC Station A",
//  "link": {"kind": "lan"|"serial", "connected": true, "boxAnswering": true, "pingMs": 3|null},
//  "locked": false,
//  "antennas": [{"number": 1, "name": "Yagi 20m", "receiveOnly": false}, ...six],
//  "channels": [{"number": 1, "antenna": 3|null, "transmitting": false,
//                "split": null|{"rx": 5, "tx": 3}, "band": "20m"|null,
//                "follow": "off"|"rigctld"|"logger"|"otrsp", "alarm": null|"text"}, ...two]}
// Antennas are numbered 1..6. Nothing is known of the antennas while the box is silent:
// "antenna", "split" and "transmitting" are then null, null and false.
namespace StateJson {
QJsonObject of(const Station &station);
QByteArray compact(const Station &station);
} // namespace StateJson
