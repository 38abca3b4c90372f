#include "panelshortcuts.h"

namespace PanelShortcuts {

const QVector<Shortcut> &table()
{
    static const QVector<Shortcut> shortcuts = [] {
        QVector<Shortcut> list;
        for (int channel = 1; channel <= 2; ++channel) {
            const QString ctrl = channel == 2 ? QStringLiteral("Ctrl+") : QString();
            for (int a = 0; a < 6; ++a)
                list.append({PanelButton::antennaOf(channel, a), ctrl + QString::number(a + 1)});
            list.append({PanelButton::releaseOf(channel), ctrl + QStringLiteral("0")});
            list.append({PanelButton::splitOf(channel), ctrl + QStringLiteral("S")});
        }
        return list;
    }();
    return shortcuts;
}

QString keysOf(const PanelButton &button)
{
    for (const Shortcut &shortcut : table()) {
        if (shortcut.button == button)
            return shortcut.keys;
    }
    return {};
}

QString keypadKeys(const QString &keys)
{
    if (keys.isEmpty() || !keys.back().isDigit())
        return {};
    QString keypad = keys;
    keypad.insert(keys.size() - 1, QStringLiteral("Num+"));
    return keypad;
}

} // namespace PanelShortcuts
