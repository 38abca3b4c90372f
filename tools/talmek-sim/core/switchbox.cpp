#include "switchbox.h"

namespace TalmekSim {

void SwitchBox::setFirmware(quint8 major, quint8 minor)
{
    m_firmwareMajor = major;
    m_firmwareMinor = minor;
}

Outcome SwitchBox::apply(const BoxCommand &command)
{
    switch (command.kind) {
    case BoxCommand::Kind::FirmwareRequest:
    case BoxCommand::Kind::StateRequest:
        return Outcome::Applied;
    case BoxCommand::Kind::Select:
        return selectAntenna(command.channel, command.position);
    case BoxCommand::Kind::SplitOn:
        return splitOn(command.channel, command.tx, command.rx);
    case BoxCommand::Kind::SplitOff:
        return splitOff(command.channel);
    }
    return Outcome::Invalid;
}

bool SwitchBox::heldByOtherChannel(int channel, int position) const
{
    if (position == NoAntenna)
        return false;
    const ChannelState &other = m_state.channel(channel == 1 ? 2 : 1);
    return other.antenna == position || (other.splitActive == 1 && other.splitTxAntenna == position);
}

Outcome SwitchBox::selectAntenna(int channel, int position)
{
    if (!isChannel(channel) || !isSwitchPosition(position))
        return Outcome::Invalid;
    if (m_exclusive && heldByOtherChannel(channel, position))
        return Outcome::Refused;
    ChannelState &ch = m_state.channel(channel);
    // While a split is active a selection moves its transmit antenna; the receive antenna stays.
    if (ch.splitActive == 1)
        ch.splitTxAntenna = static_cast<quint8>(position);
    else
        ch.antenna = static_cast<quint8>(position);
    return Outcome::Applied;
}

Outcome SwitchBox::splitOn(int channel, int tx, int rx)
{
    if (!isChannel(channel) || !isSwitchPosition(tx) || !isSwitchPosition(rx))
        return Outcome::Invalid;
    if (m_exclusive && (heldByOtherChannel(channel, tx) || heldByOtherChannel(channel, rx)))
        return Outcome::Refused;
    ChannelState &ch = m_state.channel(channel);
    ch.splitActive = 1;
    ch.splitTxAntenna = static_cast<quint8>(tx);
    ch.antenna = static_cast<quint8>(rx);
    return Outcome::Applied;
}

Outcome SwitchBox::splitOff(int channel)
{
    if (!isChannel(channel))
        return Outcome::Invalid;
    m_state.channel(channel).splitActive = 0;
    return Outcome::Applied;
}

Outcome SwitchBox::setTransmitting(int channel, bool on)
{
    if (!isChannel(channel))
        return Outcome::Invalid;
    m_state.channel(channel).transmitting = on ? 1 : 0;
    return Outcome::Applied;
}

QByteArray SwitchBox::statusReply() const
{
    const ChannelState &c1 = m_state.channel(1);
    const ChannelState &c2 = m_state.channel(2);
    const bool anyTransmitting = c1.transmitting == 1 || c2.transmitting == 1;
    QByteArray reply(SerialReplyLength, '\0');
    reply[0] = 'I';
    reply[1] = 'G';
    reply[2] = anyTransmitting ? StatusKindTransmitting : StatusKindIdle;
    reply[3] = static_cast<char>(c1.antenna);
    reply[4] = static_cast<char>(c2.antenna);
    reply[5] = static_cast<char>(c1.splitActive);
    reply[6] = static_cast<char>(c2.splitActive);
    reply[7] = static_cast<char>(c1.splitTxAntenna);
    reply[8] = static_cast<char>(c2.splitTxAntenna);
    reply[9] = static_cast<char>(c1.transmitting);
    reply[10] = static_cast<char>(c2.transmitting);
    reply[SerialReplyLength - 1] = ';';
    return reply;
}

QByteArray SwitchBox::firmwareReply() const
{
    QByteArray reply(SerialReplyLength, '\0');
    reply[0] = 'I';
    reply[1] = 'G';
    reply[2] = 'W';
    reply[3] = static_cast<char>(m_firmwareMajor);
    reply[4] = static_cast<char>(m_firmwareMinor);
    reply[SerialReplyLength - 1] = ';';
    return reply;
}

QByteArray SwitchBox::lanStatusText() const
{
    const ChannelState &c1 = m_state.channel(1);
    const ChannelState &c2 = m_state.channel(2);
    return QString::asprintf("%X.%X.%d.%d.%X.%X.%d.%d.0.0.FF", c1.antenna, c2.antenna, c1.splitActive, c2.splitActive,
                             c1.splitTxAntenna, c2.splitTxAntenna, c1.transmitting, c2.transmitting)
        .toLatin1();
}

QString SwitchBox::stateLine() const
{
    const ChannelState &c1 = m_state.channel(1);
    const ChannelState &c2 = m_state.channel(2);
    return QString::asprintf("STATE antenna1=%d antenna2=%d split1=%d split2=%d splitTx1=%d "
                             "splitTx2=%d transmitting1=%d transmitting2=%d exclusive=%d",
                             c1.antenna, c2.antenna, c1.splitActive, c2.splitActive, c1.splitTxAntenna,
                             c2.splitTxAntenna, c1.transmitting, c2.transmitting, m_exclusive ? 1 : 0);
}

} // namespace TalmekSim
