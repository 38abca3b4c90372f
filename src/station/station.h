#pragma once

// The station: the antenna switch as this program knows it, without a window.
//
// What it owns: the device state (the box's last report and the split being chosen), the
// way to the box (BoxLink: the chosen link, the serial command queue, the LAN worker and the
// watchdog), the switching rules with the receive-only antennas, band follow with the
// logger and OTRSP (BandFollowService) and band memory, the antenna names, and the settings
// it was loaded from. The window, the headless mode and any later face are views of it.
//
// Its door: every command, whoever gives it (a panel button or key, band follow, the
// logger, OTRSP, a remote client), enters through select(), release(), pressSplit() or
// cancelSplitChoice() with its Origin. The door applies every rule a press on the panel
// obeys (the receive-only antennas, the split being chosen, a LAN link that is not
// connected) and says what became of the command: sent, or refused and why. Nothing reaches
// the box around it.
//
// What it tells: each change the box reported or a command made raises revision() by one
// and is announced with it (stateChanged, linkChanged, alarmChanged, settingsChanged,
// followNote), so that a view can tell whether it is behind; commandDone() says what became
// of each command.
//
// Thread contract: made, used and destroyed on one thread, the one with the event loop (the
// GUI thread in the panel, the main thread in the headless mode). The polling thread
// (ThreadLeitura) reads only linkFlags() and isCommandQueueEmpty(), both atomic, and has
// each tick carried out here by carryOutTick().

#include "config/panelsettings.h"
#include "engine/devicestate.h"
#include "engine/linkstate.h"
#include "engine/monotonicclock.h"
#include "engine/pollingpeer.h"
#include "engine/protocol.h"
#include "engine/switching.h"
#include "serial/serialparameters.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class BandFollowService;
class BoxLink;

class Station : public QObject, public PollingPeer
{
    Q_OBJECT

public:
    // Who gave a command.
    enum class Source : quint8 { Panel, BandFollow, Logger, Otrsp, Remote, Mqtt };
    struct Origin
    {
        Source source = Source::Panel;
        // A remote client's address (for the message broker, the broker's); empty for the others.
        QString address;
        // A command from afar (the remote control or the message broker) obeys stricter
        // rules: see the door.
        bool isRemote() const { return source == Source::Remote || source == Source::Mqtt; }
    };
    // Why a command sent nothing.
    enum class Refusal : quint8 {
        None,
        // Not channel 1 or 2, or not an antenna 1..6 (or RELEASE where it is allowed).
        BadArgument,
        // The LAN link is not connected: the command would be dropped.
        NotConnected,
        // A split's transmit antenna is being chosen on the other channel.
        SplitChoiceElsewhere,
        // The command would leave a channel able to transmit on a receive-only antenna
        // (pressed alone, one starts a split's choice instead).
        ReceiveOnly,
        // The press changed only the split being chosen (started, cancelled, or waits for
        // the transmit antenna): nothing to send.
        NothingToSend,
        // Remote commands only: the box reports the channel transmitting...
        Transmitting,
        // ...the operator locked remote switching...
        Locked,
        // ...or the link is down or the box silent.
        BoxUnavailable,
    };
    struct Result
    {
        bool sent = false;
        Refusal refusal = Refusal::None;
        // What the panel shows of it: the message, the blink, the looks.
        Switching::Outcome outcome;
        // The revision after the command.
        quint64 revision = 0;
    };
    // What is known of the link and the box.
    struct LinkStatus
    {
        LinkMode kind = LinkMode::Lan;
        // "Connect to Talmek" was chosen and, on the serial link, the port is open.
        bool connected = false;
        // Connected, and the box answered within the watchdog's time.
        bool boxAnswering = false;
        friend bool operator==(const LinkStatus &a, const LinkStatus &b)
        {
            return a.kind == b.kind && a.connected == b.connected && a.boxAnswering == b.boxAnswering;
        }
        friend bool operator!=(const LinkStatus &a, const LinkStatus &b) { return !(a == b); }
    };
    // A channel the box reports transmitting on a receive-only antenna.
    using Alarm = Switching::Alarm;

    Station(const QString &settingsFile, const MonotonicClock &clock = steadyClock(), QObject *parent = nullptr);
    // Disconnects, then stops and joins the LAN worker.
    ~Station() override;

    // --- Settings ---
    // Reads the settings file and applies every key; announces settingsChanged().
    void loadSettings();
    // The settings as last loaded, with the options stored since.
    const PanelSettings &settings() const { return stored; }
    QString settingsFilePath() const { return settingsPath; }
    // The link for the next "Connect", stored in the file (store) or for this run only.
    void setLinkMode(LinkMode mode, bool store);
    LinkMode linkMode() const;
    // "Directly to IP", stored at once.
    void setDirectIp(bool on);
    // The antenna's name for people: "Ant 5 (Beverage)", or "Ant 5" for one without a name.
    QString antennaTitle(int position) const;
    static QString antennaTitle(const QString &name, int position);

    // --- The link ---
    // "Connect to Talmek": opens the chosen link (the serial parameters are asked for only
    // on the serial link) and starts band follow. False, with errorString(), when the
    // serial port would not open.
    bool connectBox(const std::function<SerialParameters()> &serialParameters);
    QString errorString() const;
    // "Disconnect": band follow stops, the link closes.
    void disconnectBox();
    LinkStatus linkStatus() const;
    BoxLink &box() const { return *link; }
    BandFollowService &bandFollow() const { return *follow; }

    // --- The door ---
    // Antenna `position` (0..5) on `channel` (1 or 2), or RELEASE (AntennaPosition::None).
    Result select(int channel, int position, const Origin &origin);
    Result release(int channel, const Origin &origin) { return select(channel, AntennaPosition::None, origin); }
    // The SPLIT button of `channel`: starts the choice of a transmit antenna, cancels it, or
    // switches the split off.
    Result pressSplit(int channel, const Origin &origin);
    // Ends a split's choice, whichever channel it is on; sends nothing.
    Result cancelSplitChoice(const Origin &origin);
    // A split in one go: receive on `rx`, transmit on `tx` (positions 0..5, not the same).
    Result split(int channel, int rx, int tx, const Origin &origin);
    // Switches the channel's split off (sent also when none is known to be on).
    Result splitOff(int channel, const Origin &origin);
    // A remote command (isRemote()) is refused, never queued for later, while remote
    // switching is locked (Locked), the link is down or the box silent (BoxUnavailable), or
    // the box reports the channel transmitting (Transmitting). A remote selection is a plain
    // selection: a receive-only antenna is refused (no split is offered), and a split being
    // chosen on the panel is left as it is.

    // --- Remote switching ---
    bool remoteLocked() const { return stored.remote.locked; }
    // "Lock remote switching": stored, announced by remoteLockChanged().
    void setRemoteLocked(bool locked);

    // --- State ---
    const DeviceState &deviceState() const { return state; }
    // The box answers and has reported its state since it began to: until then the device
    // state's antennas are not the box's (the serial link's firmware reply comes first).
    bool boxStateKnown() const;
    quint64 revision() const { return revisionNumber; }
    Alarm alarm() const { return sounding; }
    // The band (BandPlan index) the channel's radio was last read on while band follow runs;
    // nothing when unknown or outside every band.
    std::optional<int> band(int channel) const;
    // The "Ping: " figure of the box's latest LAN reply; nothing before one (or on serial).
    std::optional<qint64> pingMs() const;

    // --- Polling (PollingPeer) ---
    const LinkFlags &linkFlags() const override;
    bool isCommandQueueEmpty() const override;
    QObject *pollingContext() override { return this; }
    void carryOutTick(int requests) override;
    // One tick's steps, as carryOutTick() takes them.
    void sendQueuedCommand();
    void sendStateRequest();
    void readReply();
    // Tries a lost serial line again when due.
    void reopenLineIfDue();
    // The watchdog's verdict, announced by linkChecked().
    void checkLink();
    // A frame read on the serial line (the latest in the session's reply()), by its kind.
    void takeSerialReply();
    // A datagram from the box on the LAN, as text.
    void takeLanReply(const QString &text);

    static QString sourceName(Source source);

signals:
    // The device state changed (by the box's report or a command).
    void stateChanged(quint64 revision);
    // The box sent its status: `applied` when it was taken into the state (a serial status
    // right after a command is not; a LAN text that is no status is not).
    void statusRead(bool applied);
    // What became of a command.
    void commandDone(const Station::Origin &origin, int channel, const Station::Result &result);
    // Every polling tick's verdict of the watchdog: whether the link is up and the box
    // answering.
    void linkChecked(bool boxAnswering);
    void linkChanged(quint64 revision, const Station::LinkStatus &status);
    void alarmChanged(quint64 revision, const Station::Alarm &alarm);
    void settingsChanged(quint64 revision);
    void linkModeChanged(LinkMode mode);
    // The box's firmware revision, read on connecting over the serial link.
    void firmwareRead(const Protocol::FirmwareRevision &revision);
    // The "Ping: " figure of the box's latest LAN reply.
    void pingRead(qint64 figure);
    // The link's own notes: "LAN enabled", "Connected to …", "Serial line lost: …".
    void message(const QString &text);
    // Band follow's news of one radio; the newest replaces the last.
    void followNote(quint64 revision, int channel, const QString &text);
    // The band a channel's radio is on changed (band()).
    void bandChanged(quint64 revision, int channel);
    void remoteLockChanged(quint64 revision, bool locked);
    // A setting that did not reach the file: "Settings not saved: …".
    void notSaved(const QString &message);

private:
    void bindBandFollow();
    // A command whose channel or antenna does not exist: nothing changes, and it is said.
    Result refuseArguments(const Origin &origin, int channel);
    Result carryOut(const Origin &origin, int channel, const DeviceState &before, const Switching::Outcome &outcome);
    // The remote rules that refuse a command before it is looked at: Refusal::None if none.
    Refusal remoteRefusal(const Origin &origin, int channel) const;
    Result refuse(const Origin &origin, int channel, Refusal refusal, quint8 refused = AntennaPosition::None);
    void setBand(int channel, std::optional<int> band);
    void statusTaken(const DeviceState &before, bool applied);
    void store(const QString &key, const QVariant &value);
    quint64 bump() { return ++revisionNumber; }
    // Announces a link status and an alarm that differ from the last ones announced.
    void announceLink();
    void announceAlarm();

    const MonotonicClock &clock;
    QString settingsPath;
    PanelSettings stored;
    DeviceState state;
    quint64 revisionNumber = 0;
    LinkStatus announcedLink;
    Alarm sounding;
    std::array<std::optional<int>, 3> bands;
    bool pingHeard = false;
    bool boxStateRead = false; // a status taken since the box began to answer
    BoxLink *link = nullptr;
    BandFollowService *follow = nullptr;
};

Q_DECLARE_METATYPE(Station::Origin)
Q_DECLARE_METATYPE(Station::Result)
Q_DECLARE_METATYPE(Station::LinkStatus)
Q_DECLARE_METATYPE(Switching::Alarm)
