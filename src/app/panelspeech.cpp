#include "panelspeech.h"

#include "panelshortcuts.h"

#include <QCoreApplication>
#include <QStringList>

namespace PanelSpeech {

namespace {
QString tr(const char *text) { return QCoreApplication::translate("PanelSpeech", text); }

Said base(const DeviceState &state, bool answering)
{
    Said said;
    said.answering = answering;
    if (state.splitSetupActive == 1)
        said.split[state.splitSetupChannel == 1 ? 1 : 2] = Split::Choosing;
    return said;
}

QString antennaWords(quint8 use)
{
    QStringList words;
    if (use & SplitReceive)
        words << tr("split receive");
    if (use & SplitTransmit)
        words << tr("split transmit");
    if (use & Transmitting)
        words << tr("transmitting");
    else if (use & InUse)
        words << tr("in use");
    return words.isEmpty() ? tr("not in use") : words.join(QStringLiteral(", "));
}

QString splitWords(Split split)
{
    switch (split) {
    case Split::On:
        return tr("split on");
    case Split::Choosing:
        return tr("choosing the TX position");
    case Split::Off:
        break;
    }
    return tr("split off");
}

QString paragraph(const QString &text)
{
    return QStringLiteral("<div style=\"white-space:pre\">") + text.toHtmlEscaped() + QStringLiteral("</div>");
}
} // namespace

Said forState(const DeviceState &state, bool answering)
{
    Said said = base(state, answering);
    for (int c = 1; c <= 2; ++c) {
        const auto mark = [&](quint8 antenna, quint8 use) {
            if (AntennaPosition::isAntenna(antenna))
                said.antenna[c][antenna] |= use;
        };
        const bool transmitting = state.transmitting[c] == 1;
        if (state.splitActive[c] == 1) {
            mark(state.antenna[c], SplitReceive);
            mark(state.splitTxAntenna[c], transmitting ? SplitTransmit | Transmitting : SplitTransmit);
            if (said.split[c] != Split::Choosing)
                said.split[c] = Split::On;
        } else {
            mark(state.antenna[c], transmitting ? Transmitting : InUse);
        }
        said.sending[c] = transmitting;
    }
    return said;
}

Said cleared(const DeviceState &state, bool answering) { return base(state, answering); }

Texts texts(const PanelButton &button, const Said &said, const QString &antennaName, bool receiveOnly)
{
    const QString channel = tr("Channel %1").arg(button.channel);
    QString who;
    Texts t;
    switch (button.kind) {
    case PanelButton::Kind::Antenna: {
        who = tr("%1, Ant %2").arg(channel).arg(button.antenna + 1);
        QString flat = antennaName;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        t.name = flat.isEmpty() ? who : who + QStringLiteral(": ") + flat;
        t.description = antennaWords(said.antenna[button.channel][button.antenna]);
        if (receiveOnly)
            t.description = tr("receive only, %1").arg(t.description);
        break;
    }
    case PanelButton::Kind::Release:
        who = t.name = tr("%1 RELEASE").arg(channel);
        t.description = tr("disconnects the radio from its antenna");
        break;
    case PanelButton::Kind::Split:
        who = t.name = tr("%1 SPLIT").arg(channel);
        t.description = splitWords(said.split[button.channel]);
        break;
    case PanelButton::Kind::Send:
        who = t.name = tr("%1 SEND").arg(channel);
        t.description = said.sending[button.channel] ? tr("transmitting") : tr("not transmitting");
        break;
    case PanelButton::Kind::Power:
        who = t.name = tr("POWER");
        t.description = said.answering ? tr("box answering") : tr("no reply");
        break;
    }

    // Rich text on purpose, everything escaped: a name like "<b>40m</b>" shows as typed.
    t.toolTip = QStringLiteral("<qt>");
    if (button.kind == PanelButton::Kind::Antenna && !antennaName.isEmpty())
        t.toolTip += paragraph(antennaName);
    t.toolTip += paragraph(who + QStringLiteral(": ") + t.description);
    const QString keys = PanelShortcuts::keysOf(button);
    if (!keys.isEmpty())
        t.toolTip += paragraph(tr("Key: %1").arg(keys));
    t.toolTip += QStringLiteral("</qt>");
    return t;
}

} // namespace PanelSpeech
