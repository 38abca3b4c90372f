#include "bandfollowservice.h"

#include "otrspport.h"
#include "rigctldclient.h"

BandFollowService::BandFollowService(const MonotonicClock &clock, ChannelSource channelSource, QObject *parent)
    : QObject(parent)
    , channels(std::move(channelSource))
    , logger(new LoggerListener(clock, this))
    , otrsp(new OtrspPort(clock, this))
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
    connect(logger, &LoggerListener::report, this, [this](int c, const RadioInfo::Report &report) {
        if (radios[c].source != Source::Logger)
            return;
        radios[c].loggerTransmitting = report.transmitting;
        onFrequency(c, report.hz);
    });
    connect(logger, &LoggerListener::message, this, [this](int c, const QString &text) {
        if (radios[c].source == Source::Logger)
            emit message(c, text);
    });
    connect(otrsp, &OtrspPort::aux, this, &BandFollowService::onAux);
    connect(otrsp, &OtrspPort::message, this, [this](const QString &text) {
        for (int c = 1; c <= 2; ++c) {
            if (radios[c].source == Source::Otrsp)
                emit message(c, tr("Radio %1: %2").arg(c).arg(text));
        }
    });
}

BandFollowService::~BandFollowService() { stop(); }

void BandFollowService::configure(const BandFollowSettings &settings, const QStringList &antennaNames,
                                  const ReceiveOnly &receiveOnlyAntennas)
{
    names = antennaNames;
    receiveOnly = receiveOnlyAntennas;
    for (int c = 1; c <= 2; ++c) {
        Radio &radio = radios[c];
        const BandFollowSettings::Radio &wanted = settings.radio[c];
        radio.follow.setAntennas(wanted.antenna);
        radio.bandMemory = wanted.bandMemory;
        const QString address = wanted.source == Source::Rigctld ? wanted.rigAddress : QString();
        if (radio.source == wanted.source && radio.addressText == address)
            continue;
        radio.source = wanted.source;
        radio.addressText = address;
        radio.follow.reset();
        radio.loggerTransmitting = false;
        radio.client->stop();
        if (running)
            startRadio(c);
    }

    LoggerListener::Options options;
    options.port = settings.loggerPort;
    options.station = settings.loggerStation;
    for (const QString &text : settings.loggerFrom) {
        const QHostAddress address(text);
        if (!address.isNull())
            options.acceptFrom << address;
    }
    for (int c = 1; c <= 2; ++c)
        options.radios[c] = radios[c].source == Source::Logger;
    const bool loggerChanged = options.port != loggerOptions.port || options.station != loggerOptions.station
        || options.acceptFrom != loggerOptions.acceptFrom || options.radios != loggerOptions.radios;
    loggerOptions = options;
    if (running && loggerChanged)
        startLogger();

    if (otrspPortName != settings.otrspPort) {
        otrspPortName = settings.otrspPort;
        if (running)
            startOtrsp();
    } else if (running && !anyRadioFollows(Source::Otrsp)) {
        // Also a port waiting to be tried again: it is not tried once nothing follows it.
        otrsp->close();
    } else if (running && !otrsp->isOpen()) {
        startOtrsp();
    }
}

void BandFollowService::start()
{
    if (running)
        return;
    running = true;
    for (int c = 1; c <= 2; ++c)
        startRadio(c);
    startLogger();
    startOtrsp();
}

void BandFollowService::stop()
{
    running = false;
    logger->stop();
    otrsp->close();
    for (int c = 1; c <= 2; ++c) {
        radios[c].client->stop();
        radios[c].follow.reset();
        radios[c].loggerTransmitting = false;
    }
}

bool BandFollowService::anyRadioFollows(Source source) const
{
    return radios[1].source == source || radios[2].source == source;
}

void BandFollowService::startRadio(int channel)
{
    Radio &radio = radios[channel];
    if (radio.source != Source::Rigctld || radio.addressText.isEmpty())
        return;
    if (const std::optional<RigAddress> address = RigAddress::parse(radio.addressText))
        radio.client->start(*address);
    else
        emit message(channel, tr("Radio %1: rigctld at %2 not reachable").arg(channel).arg(radio.addressText));
}

void BandFollowService::startLogger()
{
    logger->stop();
    if (!anyRadioFollows(Source::Logger))
        return;
    const bool listening = logger->start(loggerOptions);
    for (int c = 1; c <= 2; ++c) {
        if (radios[c].source != Source::Logger)
            continue;
        emit message(c,
                     listening ? tr("Radio %1: listening for the logger on UDP port %2").arg(c).arg(loggerOptions.port)
                               : tr("Radio %1: UDP port %2 cannot be listened on: %3")
                                     .arg(c)
                                     .arg(loggerOptions.port)
                                     .arg(logger->errorString()));
    }
}

void BandFollowService::startOtrsp()
{
    otrsp->close();
    if (!anyRadioFollows(Source::Otrsp))
        return;
    if (otrspPortName.isEmpty()) {
        for (int c = 1; c <= 2; ++c) {
            if (radios[c].source == Source::Otrsp)
                emit message(c, tr("Radio %1: no OTRSP port chosen").arg(c));
        }
        return;
    }
    otrsp->open(otrspPortName);
}

void BandFollowService::operatorChose(int channel, quint8 position)
{
    if (channel != 1 && channel != 2)
        return;
    Radio &radio = radios[channel];
    radio.follow.operatorChose();
    const std::optional<int> band = radio.follow.band();
    const bool followsBand = radio.source == Source::Rigctld || radio.source == Source::Logger;
    // A receive-only antenna pressed starts a split's choice; it never becomes a band's.
    if (!running || !followsBand || !radio.bandMemory || !band || !AntennaPosition::isAntenna(position)
        || receiveOnly[position])
        return;
    radio.follow.remember(*band, position + 1);
    emit bandAntennaChosen(channel, *band, position + 1);
}

void BandFollowService::boxReported()
{
    for (int c = 1; c <= 2; ++c) {
        if (running && radios[c].follow.switchDue())
            decide(c);
    }
}

void BandFollowService::onFrequency(int channel, qint64 hz)
{
    emit frequencyRead(channel, hz);
    if (!running)
        return;
    radios[channel].follow.frequencyRead(hz);
    // Decided on every reading, so a switch held back goes out within a poll of the
    // channel becoming free.
    decide(channel);
}

void BandFollowService::onAux(int channel, int code)
{
    // Codes 0 and above 6 choose no antenna; a channel not following OTRSP is left alone.
    if (!running || radios[channel].source != Source::Otrsp || code < 1 || code > 6)
        return;
    radios[channel].follow.positionAsked(quint8(code - 1));
    decide(channel);
}

void BandFollowService::decide(int channel)
{
    Radio &radio = radios[channel];
    std::optional<BandFollow::Channel> view = channels(channel);
    if (!view)
        return;
    if (radio.source == Source::Logger)
        view->transmitting = view->transmitting || radio.loggerTransmitting;
    const BandFollow::Decision decision = radio.follow.decide(*view);
    const QString from =
        decision.bandIndex == BandFollow::NoBand ? tr("OTRSP") : tr("%1 m").arg(BandPlan::bandName(decision.bandIndex));
    switch (decision.step) {
    case BandFollow::Step::Nothing:
    case BandFollow::Step::Wait:
        break;
    case BandFollow::Step::SplitPaused:
        emit message(channel, tr("Radio %1: split active, band follow paused").arg(channel));
        break;
    case BandFollow::Step::Switch:
        if (receiveOnly[decision.position]) {
            emit message(channel,
                         tr("Radio %1: %2 \u2192 %3 is receive-only: not switched")
                             .arg(channel)
                             .arg(from, antennaName(decision.position)));
            break;
        }
        emit selectAntenna(channel, decision.position);
        emit message(channel, tr("Radio %1: %2 \u2192 %3").arg(channel).arg(from, antennaName(decision.position)));
        break;
    }
}

QString BandFollowService::antennaName(quint8 position) const
{
    const QString name = names.value(position).simplified();
    return name.isEmpty() ? tr("Ant %1").arg(position + 1) : name;
}
