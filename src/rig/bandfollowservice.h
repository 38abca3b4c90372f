#pragma once

#include "bandfollow.h"
#include "bandfollowsettings.h"
#include "engine/monotonicclock.h"
#include "loggerlistener.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class OtrspPort;
class RigctldClient;

// What drives each channel's antenna while the link to the box is up: its radio read
// through rigctld, or the station's contest logger, by its RadioInfo broadcasts (the band
// decides, as with rigctld) or by OTRSP's AUX codes (the logger names the antenna). It
// sends nothing itself: selectAntenna() goes to the same path as the antenna's button, with
// the same holds: not while the channel transmits (by the box, or by the logger's word),
// is in a split or a split is being chosen, and never onto a receive-only antenna.
//
// Thread contract: GUI thread only.
class BandFollowService : public QObject
{
    Q_OBJECT

public:
    // The channel (1 or 2) as the box last reported it; nothing while the link is down or
    // the box has not reported lately, which holds every switch back.
    using ChannelSource = std::function<std::optional<BandFollow::Channel>(int channel)>;
    // Antennas (positions 0..5) that are receive-only.
    using ReceiveOnly = std::array<bool, 6>;

    BandFollowService(const MonotonicClock &clock, ChannelSource channels, QObject *parent = nullptr);
    ~BandFollowService() override;

    // The settings, and the antennas' names (six; an empty one shows as "Ant k"). A radio
    // whose source and address are unchanged keeps its connection and what it has seen.
    void configure(const BandFollowSettings &settings, const QStringList &antennaNames,
                   const ReceiveOnly &receiveOnly = {});
    // The link to the box is connected: read the radios, listen to the logger.
    void start();
    // The link is down: stop reading and listening, close the connections and the port.
    void stop();
    bool isRunning() const { return running; }
    // An antenna (position 0..5) or RELEASE of the channel was pressed by hand. With band
    // memory on and the radio on a known band, the antenna becomes the band's.
    void operatorChose(int channel, quint8 position = AntennaPosition::None);
    // The box has reported: a switch held back goes now if its channel is free.
    void boxReported();

    LoggerListener *loggerListener() const { return logger; }
    OtrspPort *otrspPort() const { return otrsp; }

signals:
    void selectAntenna(int channel, int position);
    // What the operator should read about one radio; the newest replaces the last.
    void message(int channel, const QString &text);
    // Band memory: the antenna (1..6) the channel now uses on the band, to be stored.
    void bandAntennaChosen(int channel, int bandIndex, int antenna);
    // Every reading, for whoever wants to watch the radios.
    void frequencyRead(int channel, qint64 hz);

private:
    using Source = BandFollowSettings::Source;
    struct Radio
    {
        RigctldClient *client = nullptr;
        BandFollow follow;
        Source source = Source::Off;
        QString addressText;
        bool bandMemory = false;
        // The logger's last word on whether the radio transmits.
        bool loggerTransmitting = false;
    };

    void startRadio(int channel);
    void startLogger();
    void startOtrsp();
    bool anyRadioFollows(Source source) const;
    void onFrequency(int channel, qint64 hz);
    void onAux(int channel, int code);
    void decide(int channel);
    QString antennaName(quint8 position) const;

    ChannelSource channels;
    std::array<Radio, 3> radios; // channels 1 and 2
    LoggerListener *logger = nullptr;
    LoggerListener::Options loggerOptions;
    OtrspPort *otrsp = nullptr;
    QString otrspPortName;
    QStringList names;
    ReceiveOnly receiveOnly{};
    bool running = false;
};
