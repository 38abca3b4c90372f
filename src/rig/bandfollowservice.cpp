#include "bandfollowservice.h"

#include "rigctldclient.h"

BandFollowService::BandFollowService(const MonotonicClock &clock, ChannelSource channelSource, QObject *parent)
    : QObject(parent)
    , channels(std::move(channelSource))
{
    for (int c = 1; c <= 2; ++c) {
        RigctldClient *client = new RigctldClient(clock, this);
        radios[c].client = client;
        connect(client, &RigctldClient::frequencyRead, this, [this, c](qint64 hz) { onFrequency(c, hz); });
        connect(client, &RigctldClient::connected, this,
                [this, c] { emit message(c, tr("Radio %1: rigctld connected").arg(c)); });
        connect(client, &RigctldClient::unreachable, this, [this, c] {
            emit message(c, tr("Radio %1: rigctld at %2 not reachable").arg(c).arg(radios[c].addressText));
        });
    }
}

BandFollowService::~BandFollowService() { stop(); }

void BandFollowService::configure(const BandFollowSettings &settings, const QStringList &antennaNames)
{
    names = antennaNames;
    for (int c = 1; c <= 2; ++c) {
        Radio &radio = radios[c];
        radio.follow.setAntennas(settings.radio[c].antenna);
        const BandFollowSettings::Source source = settings.radio[c].source;
        radio.followsBand =
            source == BandFollowSettings::Source::Rigctld || source == BandFollowSettings::Source::Logger;
        radio.bandMemory = settings.radio[c].bandMemory;
        const QString address =
            settings.radio[c].source == BandFollowSettings::Source::Rigctld ? settings.radio[c].rigAddress : QString();
        if (radio.addressText == address)
            continue;
        radio.addressText = address;
        radio.follow.reset();
        radio.client->stop();
        if (running)
            startRadio(c);
    }
}

void BandFollowService::start()
{
    if (running)
        return;
    running = true;
    for (int c = 1; c <= 2; ++c)
        startRadio(c);
}

void BandFollowService::stop()
{
    running = false;
    for (int c = 1; c <= 2; ++c) {
        radios[c].client->stop();
        radios[c].follow.reset();
    }
}

void BandFollowService::startRadio(int channel)
{
    Radio &radio = radios[channel];
    if (radio.addressText.isEmpty())
        return;
    if (const std::optional<RigAddress> address = RigAddress::parse(radio.addressText))
        radio.client->start(*address);
    else
        emit message(channel, tr("Radio %1: rigctld at %2 not reachable").arg(channel).arg(radio.addressText));
}

void BandFollowService::operatorChose(int channel, quint8 position)
{
    if (channel != 1 && channel != 2)
        return;
    Radio &radio = radios[channel];
    radio.follow.operatorChose();
    const std::optional<int> band = radio.follow.band();
    if (!running || !radio.followsBand || !radio.bandMemory || !band || !AntennaPosition::isAntenna(position))
        return;
    radio.follow.remember(*band, position + 1);
    emit bandAntennaChosen(channel, *band, position + 1);
}

void BandFollowService::onFrequency(int channel, qint64 hz)
{
    emit frequencyRead(channel, hz);
    if (!running)
        return;
    Radio &radio = radios[channel];
    radio.follow.frequencyRead(hz);
    // Decided on every reading, so a switch held back goes out within a poll of the
    // channel becoming free.
    const std::optional<BandFollow::Channel> view = channels(channel);
    if (!view)
        return;
    const BandFollow::Decision decision = radio.follow.decide(*view);
    switch (decision.step) {
    case BandFollow::Step::Nothing:
    case BandFollow::Step::Wait:
        break;
    case BandFollow::Step::SplitPaused:
        emit message(channel, tr("Radio %1: split active, band follow paused").arg(channel));
        break;
    case BandFollow::Step::Switch:
        emit selectAntenna(channel, decision.position);
        emit message(channel,
                     tr("Radio %1: %2 m \u2192 %3")
                         .arg(channel)
                         .arg(BandPlan::bandName(decision.bandIndex), antennaName(decision.position)));
        break;
    }
}

QString BandFollowService::antennaName(quint8 position) const
{
    const QString name = names.value(position).simplified();
    return name.isEmpty() ? tr("Ant %1").arg(position + 1) : name;
}
