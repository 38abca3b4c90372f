#pragma once

#include "bandfollow.h"
#include "bandfollowsettings.h"
#include "engine/monotonicclock.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class RigctldClient;

// Band follow for both channels: reads each configured radio through its rigctld while the
// link to the box is up, and asks for the antenna selection its band maps to. It sends
// nothing itself: selectAntenna() goes to the same path as the antenna's button.
//
// Thread contract: GUI thread only.
class BandFollowService : public QObject
{
    Q_OBJECT

public:
    // The channel (1 or 2) as the box last reported it; nothing while the link is down or
    // the box has not reported lately, which holds every switch back.
    using ChannelSource = std::function<std::optional<BandFollow::Channel>(int channel)>;

    BandFollowService(const MonotonicClock &clock, ChannelSource channels, QObject *parent = nullptr);
    ~BandFollowService() override;

    // The settings, and the antennas' names (six; an empty one shows as "Ant k"). A radio
    // whose address is unchanged keeps its connection and what it has seen.
    void configure(const BandFollowSettings &settings, const QStringList &antennaNames);
    // The link to the box is connected: read the radios.
    void start();
    // The link is down: stop reading, close the connections.
    void stop();
    bool isRunning() const { return running; }
    // An antenna (position 0..5) or RELEASE of the channel was pressed by hand. With band
    // memory on and the radio on a known band, the antenna becomes the band's.
    void operatorChose(int channel, quint8 position = AntennaPosition::None);

signals:
    void selectAntenna(int channel, int position);
    // What the operator should read about one radio; the newest replaces the last.
    void message(int channel, const QString &text);
    // Band memory: the antenna (1..6) the channel now uses on the band, to be stored.
    void bandAntennaChosen(int channel, int bandIndex, int antenna);
    // Every reading, for whoever wants to watch the radios.
    void frequencyRead(int channel, qint64 hz);

private:
    struct Radio
    {
        RigctldClient *client = nullptr;
        BandFollow follow;
        QString addressText;
        bool followsBand = false;
        bool bandMemory = false;
    };

    void startRadio(int channel);
    void onFrequency(int channel, qint64 hz);
    QString antennaName(quint8 position) const;

    ChannelSource channels;
    std::array<Radio, 3> radios; // channels 1 and 2
    QStringList names;
    bool running = false;
};
