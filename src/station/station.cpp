#include "station.h"

#include "boxlink.h"
#include "config/settingsfile.h"
#include "lan/lanlink.h"
#include "rig/bandfollowservice.h"
#include "rig/bandplan.h"
#include "serial/serialsession.h"

#include <QStringList>

namespace {
Station::Source sourceOf(BandFollowSettings::Source source)
{
    switch (source) {
    case BandFollowSettings::Source::Logger:
        return Station::Source::Logger;
    case BandFollowSettings::Source::Otrsp:
        return Station::Source::Otrsp;
    case BandFollowSettings::Source::Off:
    case BandFollowSettings::Source::Rigctld:
        break;
    }
    return Station::Source::BandFollow;
}

// Why an outcome that the link delivered (or would have) sent nothing.
Station::Refusal refusalOf(const Switching::Outcome &outcome, bool delivered)
{
    using Message = Switching::Message;
    if (outcome.send)
        return delivered ? Station::Refusal::None : Station::Refusal::NotConnected;
    switch (outcome.message) {
    case Message::LanNotConnected:
        return Station::Refusal::NotConnected;
    case Message::ReceiveOnlySplitOffered:
    case Message::ReceiveOnlyNotForTx:
    case Message::ReceiveOnlySplitStaysOn:
        return Station::Refusal::ReceiveOnly;
    case Message::None:
        // Pressed while the other channel's split is being chosen, the press is ignored.
        if (outcome.blink == Switching::Blink::Keep)
            return Station::Refusal::SplitChoiceElsewhere;
        break;
    default:
        break;
    }
    return Station::Refusal::NothingToSend;
}

bool isChannel(int channel) { return channel == 1 || channel == 2; }
} // namespace

Station::Station(const QString &settingsFile, const MonotonicClock &monotonicClock, QObject *parent)
    : QObject(parent)
    , clock(monotonicClock)
    , settingsPath(settingsFile)
    , link(new BoxLink(monotonicClock, this))
{
    qRegisterMetaType<Station::Origin>();
    qRegisterMetaType<Station::Result>();
    qRegisterMetaType<Station::LinkStatus>();
    qRegisterMetaType<Station::Alarm>();
    connect(link, &BoxLink::message, this, &Station::message);
    connect(&link->serial(), &SerialSession::replyRead, this, &Station::takeSerialReply);
    // A line known to be gone is shown at once, not after the watchdog's time.
    connect(&link->serial(), &SerialSession::lineLost, this, &Station::checkLink);
    connect(&link->lan(), &LanLink::replyReceived, this, &Station::takeLanReply);
    bindBandFollow();
}

Station::~Station()
{
    disconnectBox();
    delete follow;
    follow = nullptr;
    delete link; // stops and joins the LAN worker while the station is whole
    link = nullptr;
}

// --- Settings ---

void Station::loadSettings()
{
    const bool wasLocked = stored.remote.locked;
    stored = PanelSettings::load(settingsPath);
    // A file holding a token that others may read (copied, or written by hand) is closed now.
    SettingsFile::keepTokensPrivate(settingsPath);
    if (stored.remote.locked != wasLocked)
        emit remoteLockChanged(bump(), stored.remote.locked);
    link->lan().setBox(stored.ip, stored.port, stored.directIp);
    link->setMode(stored.linkMode);
    follow->configure(stored.bandFollow, QStringList(stored.antennaNames.begin(), stored.antennaNames.end()),
                      stored.receiveOnly);
    emit settingsChanged(bump());
    emit linkModeChanged(stored.linkMode);
    announceLink();
    announceAlarm(); // the receive-only set may have changed
}

void Station::setLinkMode(LinkMode mode, bool storeIt)
{
    link->setMode(mode);
    stored.linkMode = mode;
    if (storeIt)
        store(SettingsFile::Key::serialMode(), int(mode));
    emit linkModeChanged(mode);
    announceLink();
}

LinkMode Station::linkMode() const { return link->mode(); }

void Station::setDirectIp(bool on)
{
    link->lan().setDirectIp(on);
    stored.directIp = on;
    store(SettingsFile::Key::directIp(), on);
}

QString Station::antennaTitle(int position) const
{
    if (!AntennaPosition::isAntenna(position))
        return tr("no antenna");
    return antennaTitle(stored.antennaNames[size_t(position)], position);
}

QString Station::antennaTitle(const QString &name, int position)
{
    const QString title = tr("Ant %1").arg(position + 1);
    const QString simple = name.simplified();
    return simple.isEmpty() ? title : tr("%1 (%2)").arg(title, simple);
}

void Station::store(const QString &key, const QVariant &value)
{
    const QString failure = SettingsFile::store(settingsPath, {{key, value}});
    if (!failure.isEmpty())
        emit notSaved(failure);
}

// --- The link ---

bool Station::connectBox(const std::function<SerialParameters()> &serialParameters)
{
    if (!link->open(serialParameters))
        return false;
    follow->start();
    announceLink();
    return true;
}

QString Station::errorString() const { return link->errorString(); }

void Station::disconnectBox()
{
    follow->stop();
    link->close();
    pingHeard = false;
    for (int channel = 1; channel <= 2; ++channel)
        setBand(channel, std::nullopt);
    announceLink();
}

Station::LinkStatus Station::linkStatus() const { return {link->mode(), link->isUp(), link->boxAnswering()}; }

bool Station::boxStateKnown() const { return boxStateRead && link->boxAnswering(); }

void Station::announceLink()
{
    const LinkStatus now = linkStatus();
    if (now == announcedLink)
        return;
    announcedLink = now;
    if (!now.boxAnswering)
        boxStateRead = false;
    emit linkChanged(bump(), now);
    announceAlarm(); // nothing is known of a silent box
}

void Station::announceAlarm()
{
    const Alarm now = link->boxAnswering() ? Switching::transmittingOnReceiveOnly(state, stored.receiveOnly) : Alarm();
    if (now == sounding)
        return;
    sounding = now;
    emit alarmChanged(bump(), now);
}

// --- The door ---

Station::Result Station::refuseArguments(const Origin &origin, int channel)
{
    Result refused;
    refused.refusal = Refusal::BadArgument;
    refused.revision = revisionNumber;
    emit commandDone(origin, channel, refused);
    return refused;
}

Station::Result Station::select(int channel, int position, const Origin &origin)
{
    if (!isChannel(channel) || !(AntennaPosition::isAntenna(position) || position == AntennaPosition::None)) {
        return refuseArguments(origin, channel);
    }
    const DeviceState before = state;
    Switching::Outcome outcome;
    if (origin.isRemote()) {
        if (const Refusal refusal = remoteRefusal(origin, channel); refusal != Refusal::None)
            return refuse(origin, channel, refusal);
        // A plain selection: the panel's split choice is neither ended nor completed by it.
        const quint8 choosing = state.splitSetupActive;
        const quint8 choosingChannel = state.splitSetupChannel;
        const quint8 choosingRx = state.splitSetupRx;
        state.splitSetupActive = 0;
        state.splitSetupRx = AntennaPosition::None;
        outcome = Switching::pressPosition(state, link->mode(), quint8(position), quint8(channel), link->delivery(),
                                           stored.receiveOnly);
        if (outcome.message == Switching::Message::ReceiveOnlySplitOffered) {
            state = before; // offered on the panel only: from afar it is refused
            return refuse(origin, channel, Refusal::ReceiveOnly, quint8(position));
        }
        state.splitSetupActive = choosing;
        state.splitSetupChannel = choosingChannel;
        state.splitSetupRx = choosingRx;
    } else {
        outcome = Switching::pressPosition(state, link->mode(), quint8(position), quint8(channel), link->delivery(),
                                           stored.receiveOnly);
    }
    const Result result = carryOut(origin, channel, before, outcome);
    if (origin.source == Source::Panel || origin.isRemote()) {
        // A choice by hand stands until the radio's next band change. Only a selection of
        // that antenna for that channel, sent, may become the band's: not a press that was
        // ignored, chose a split's transmit antenna or switched a split off.
        const Switching::Command &sent = outcome.command;
        const bool selected = result.sent && sent.kind == Switching::Command::Kind::Select && sent.channel == channel
            && sent.position == position;
        follow->operatorChose(channel, selected ? quint8(position) : AntennaPosition::None);
    }
    return result;
}

Station::Result Station::pressSplit(int channel, const Origin &origin)
{
    if (!isChannel(channel)) {
        return refuseArguments(origin, channel);
    }
    if (const Refusal refusal = remoteRefusal(origin, channel); refusal != Refusal::None)
        return refuse(origin, channel, refusal);
    const DeviceState before = state;
    return carryOut(origin, channel, before,
                    Switching::pressSplit(state, quint8(channel), link->delivery(), stored.receiveOnly));
}

Station::Result Station::cancelSplitChoice(const Origin &origin)
{
    const DeviceState before = state;
    const int channel = state.splitSetupActive == 1 ? state.splitSetupChannel : 0;
    return carryOut(origin, channel, before, Switching::cancelSplitChoice(state));
}

Station::Result Station::split(int channel, int rx, int tx, const Origin &origin)
{
    if (!isChannel(channel) || !AntennaPosition::isAntenna(rx) || !AntennaPosition::isAntenna(tx) || rx == tx)
        return refuseArguments(origin, channel);
    if (const Refusal refusal = remoteRefusal(origin, channel); refusal != Refusal::None)
        return refuse(origin, channel, refusal);
    if (Switching::isReceiveOnly(stored.receiveOnly, tx))
        return refuse(origin, channel, Refusal::ReceiveOnly, quint8(tx));
    const DeviceState before = state;
    Switching::Outcome outcome;
    outcome.send = true;
    outcome.command = {Switching::Command::Kind::SplitOn, quint8(channel), quint8(tx), quint8(rx)};
    outcome.message = Switching::Message::SplitConfigured;
    outcome.repaint = true;
    state.ignoreNextStatus = 1;
    if (link->delivery() == Switching::Delivery::Sent) {
        if (link->mode() == LinkMode::Serial)
            state.splitActive[size_t(channel)] = 1;
        state.splitRxSent[size_t(channel)] = quint8(rx);
    }
    return carryOut(origin, channel, before, outcome);
}

Station::Result Station::splitOff(int channel, const Origin &origin)
{
    if (!isChannel(channel))
        return refuseArguments(origin, channel);
    if (const Refusal refusal = remoteRefusal(origin, channel); refusal != Refusal::None)
        return refuse(origin, channel, refusal);
    const auto c = size_t(channel);
    // Switched off, a split transmits on its receive antenna (as the box reports it, or as
    // last sent while the box may not have reported it yet).
    const bool splitOn = state.splitActive[c] == 1 || AntennaPosition::isAntenna(state.splitRxSent[c]);
    if (splitOn && Switching::isReceiveOnly(stored.receiveOnly, state.antenna[c]))
        return refuse(origin, channel, Refusal::ReceiveOnly, state.antenna[c]);
    if (splitOn && Switching::isReceiveOnly(stored.receiveOnly, state.splitRxSent[c]))
        return refuse(origin, channel, Refusal::ReceiveOnly, state.splitRxSent[c]);
    const DeviceState before = state;
    Switching::Outcome outcome;
    outcome.send = true;
    outcome.command = {Switching::Command::Kind::SplitOff, quint8(channel), 0, 0};
    outcome.message = channel == 1 ? Switching::Message::Split1Disabled : Switching::Message::Split2Disabled;
    outcome.repaint = true;
    state.ignoreNextStatus = 1;
    if (link->delivery() == Switching::Delivery::Sent) {
        state.splitActive[c] = 0;
        state.splitRxSent[c] = AntennaPosition::None;
    }
    return carryOut(origin, channel, before, outcome);
}

Station::Refusal Station::remoteRefusal(const Origin &origin, int channel) const
{
    if (!origin.isRemote())
        return Refusal::None;
    if (stored.remote.locked)
        return Refusal::Locked;
    if (!link->isUp() || !link->boxAnswering())
        return Refusal::BoxUnavailable;
    if (isChannel(channel) && state.transmitting[size_t(channel)] != 0)
        return Refusal::Transmitting;
    return Refusal::None;
}

Station::Result Station::refuse(const Origin &origin, int channel, Refusal refusal, quint8 refused)
{
    Result result;
    result.refusal = refusal;
    result.outcome.refused = refused;
    result.revision = revisionNumber;
    emit commandDone(origin, channel, result);
    return result;
}

void Station::setRemoteLocked(bool locked)
{
    if (stored.remote.locked == locked)
        return;
    stored.remote.locked = locked;
    store(SettingsFile::Key::remoteLocked(), locked);
    emit remoteLockChanged(bump(), locked);
}

std::optional<int> Station::band(int channel) const
{
    return isChannel(channel) ? bands[size_t(channel)] : std::nullopt;
}

void Station::setBand(int channel, std::optional<int> band)
{
    if (!isChannel(channel) || bands[size_t(channel)] == band)
        return;
    bands[size_t(channel)] = band;
    emit bandChanged(bump(), channel);
}

std::optional<qint64> Station::pingMs() const
{
    if (!pingHeard || link->mode() != LinkMode::Lan)
        return std::nullopt;
    return link->lan().pingFigure();
}

Station::Result Station::carryOut(const Origin &origin, int channel, const DeviceState &before,
                                  const Switching::Outcome &outcome)
{
    Result result;
    result.outcome = outcome;
    result.sent = outcome.send && link->delivery() == Switching::Delivery::Sent;
    if (result.sent)
        link->send(outcome.command);
    result.refusal = refusalOf(outcome, result.sent);
    if (channel == 0 && result.refusal == Refusal::SplitChoiceElsewhere)
        result.refusal = Refusal::NothingToSend; // Escape with no choice going on
    if (result.sent || state != before) {
        result.revision = bump();
        emit stateChanged(result.revision);
    } else {
        result.revision = revisionNumber;
    }
    emit commandDone(origin, channel, result);
    return result;
}

QString Station::sourceName(Source source)
{
    switch (source) {
    case Source::Panel:
        return tr("panel");
    case Source::BandFollow:
        return tr("band follow");
    case Source::Logger:
        return tr("logger");
    case Source::Otrsp:
        return tr("OTRSP");
    case Source::Mqtt:
        return tr("MQTT");
    case Source::Remote:
        break;
    }
    return tr("remote");
}

// --- Polling ---

const LinkFlags &Station::linkFlags() const { return link->flags(); }
bool Station::isCommandQueueEmpty() const { return link->isCommandQueueEmpty(); }

void Station::carryOutTick(int requests)
{
    if (requests & SendQueuedCommand)
        sendQueuedCommand();
    if (requests & SendStateRequest)
        sendStateRequest();
    if (requests & ReadReply)
        readReply();
    if (requests & CheckLink) {
        reopenLineIfDue();
        checkLink();
    }
}

void Station::sendQueuedCommand() { link->sendQueuedCommand(); }
void Station::sendStateRequest() { link->sendStateRequest(); }
void Station::readReply() { link->serial().readReply(); }
void Station::reopenLineIfDue() { link->serial().reopenIfDue(); }

void Station::checkLink()
{
    // The watchdog forgets the box when the link goes down (Disconnect, a serial line lost),
    // so the lamp says so at once; for a link that is up it waits out the box's silence.
    emit linkChecked(link->linkWatchdog().boxAnswering());
    announceLink();
}

void Station::takeSerialReply()
{
    const Protocol::RxBuffer &reply = link->serial().reply();
    switch (Protocol::classifyReply(reply)) {
    case Protocol::ReplyKind::Status: {
        const DeviceState before = state;
        statusTaken(before, Protocol::takeStatusReply(state, reply));
        break;
    }
    case Protocol::ReplyKind::Firmware:
        emit firmwareRead(Protocol::firmwareRevision(reply));
        break;
    default:
        break;
    }
}

void Station::takeLanReply(const QString &text)
{
    link->linkWatchdog().heard();
    const DeviceState before = state;
    statusTaken(before, Protocol::parseLanStatusText(text, state));
    pingHeard = true;
    emit pingRead(link->lan().pingFigure());
}

void Station::statusTaken(const DeviceState &before, bool applied)
{
    // The first report is news even when it matches what the state held before it (remote
    // clients were told the antennas are unknown).
    const bool firstReport = applied && !boxStateRead;
    if (applied)
        boxStateRead = true;
    if (state != before || firstReport)
        emit stateChanged(bump());
    emit statusRead(applied);
    announceLink();
    announceAlarm();
    follow->boxReported(); // a switch held back may go now
}

// --- Band follow ---

void Station::bindBandFollow()
{
    // A channel as band follow sees it: nothing while the link is down or the box silent.
    const auto followed = [this](int channel) -> std::optional<BandFollow::Channel> {
        return link->boxAnswering() ? std::optional(BandFollow::channelOf(state, channel)) : std::nullopt;
    };
    follow = new BandFollowService(clock, followed, this);
    // Through the door, as a press: both links get exactly the bytes a press sends.
    connect(follow, &BandFollowService::selectAntenna, this, [this](int channel, int position) {
        select(channel, position, {sourceOf(stored.bandFollow.radio[size_t(channel)].source), QString()});
    });
    connect(follow, &BandFollowService::message, this,
            [this](int channel, const QString &text) { emit followNote(bump(), channel, text); });
    connect(follow, &BandFollowService::frequencyRead, this, [this](int channel, qint64 hz) {
        setBand(channel, BandPlan::bandIndexOf(hz));
    });
    connect(follow, &BandFollowService::bandAntennaChosen, this, [this](int channel, int band, int antenna) {
        stored.bandFollow.radio[size_t(channel)].antenna[size_t(band)] = antenna;
        store(BandFollowSettings::bandKey(channel, band), antenna);
    });
}
