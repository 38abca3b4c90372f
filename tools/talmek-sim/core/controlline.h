#pragma once

#include <QString>

namespace TalmekSim {

// One line typed on the simulator's standard input.
struct ControlCommand
{
    enum class Kind { Empty, Transmit, Select, Silent, Drop, Noise, State, Quit, Help, Invalid };

    Kind kind = Kind::Empty;
    int channel = 0; // Transmit, Select
    bool on = false; // Transmit, Silent
    int value = 0; // Drop: percent, Noise: byte count, Select: antenna 1..6, 0 for none
    QString error; // Invalid
};

constexpr int MaxNoiseBytes = 65536;

ControlCommand parseControlLine(const QString &line);

QString controlHelpText();

} // namespace TalmekSim
