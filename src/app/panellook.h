#pragma once

#include "engine/devicestate.h"

#include <QString>

// How the panel shows the box's state: every indication is one of five per-button
// style sheets. This computes which look each button gets; applying it is the window's job.
namespace PanelLook {

// Alarm marks the antenna a channel transmits on that is receive-only: no other state
// looks like it.
enum class Look : quint8 { Keep, Neutral, Held, Highlight, Red, Green, Alarm };

// The exact style sheet text of a look (empty for Keep).
const QString &styleSheet(Look look);

struct Looks
{
    // antenna[c][a]: channel c (1, 2), antenna a (0..5).
    Look antenna[3][6];
    Look split[3];
    Look send[3];
};

// The plain panel: every antenna and SEND button neutral, the SPLIT buttons too unless a
// split is being configured (the blinking button is left alone).
Looks cleared(const DeviceState &state);

// The panel for the state: held antennas white, a split's RX and TX antennas
// orange-bordered and white (swapped while the radio transmits), SPLIT red while a split
// is active, SEND red while the radio transmits.
Looks forState(const DeviceState &state);

// One step of the SPLIT blink: which button (1 or 2, 0 for none) gets which look; advances
// state.blinkPhase.
struct BlinkStep
{
    int channel = 0;
    Look look = Look::Keep;
};
BlinkStep blink(DeviceState &state);

} // namespace PanelLook
