#pragma once

#include "report.h"

// Remote control on the shown panel, in one process: a command through the HTTP API
// against the same command from a key press, each timed to its frame's arrival at a LAN
// box of the benchmark's own; the box's change of antenna to the state message at 8
// WebSocket clients, against the panel's repaint; and the polling CPU of the panel's
// threads with no client, with 8 idle WebSocket clients and with 8 idle event streams.
namespace RemoteBench {

struct Options
{
    // Commands per path (API and key press), interleaved.
    int commands = 200;
    // Changes of the box's antenna timed to the 8 clients.
    int changes = 100;
    // CPU window per condition.
    int seconds = 10;
};

QList<Report::Row> run(const Options &options);

// The broker path on the same panel: a mosquitto broker of its own on loopback, the
// station's MqttBridge, and a libmosquitto client. A command published on the broker
// against the same command from a key press (interleaved, `commands` of each), each timed
// to its frame at the box; and the box's change of antenna (`changes` times) to its state
// message at the client. `seconds` is not used.
QList<Report::Row> runMqtt(const Options &options);

} // namespace RemoteBench
