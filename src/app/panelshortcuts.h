#pragma once

#include "panelbutton.h"

#include <QString>
#include <QVector>

// The panel's keys: channel 1 on the plain keys, channel 2 on the same keys with Ctrl.
// A key does what a click on its button does. Keys are written as QKeySequence's portable
// text, so this table needs no window.
namespace PanelShortcuts {

struct Shortcut
{
    PanelButton button;
    QString keys;
};

// Antennas 1 to 6, RELEASE and SPLIT of channel 1, then the same of channel 2.
const QVector<Shortcut> &table();

// The key of a button, or an empty text for SEND and POWER, which have none.
QString keysOf(const PanelButton &button);

// The same key on the number pad ("Num+1", "Ctrl+Num+1"); empty when the key is no digit.
QString keypadKeys(const QString &keys);

} // namespace PanelShortcuts
