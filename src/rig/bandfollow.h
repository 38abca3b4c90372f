#pragma once

#include "bandplan.h"
#include "engine/devicestate.h"

#include <QtGlobal>

#include <array>
#include <optional>

// The follow decision for one radio and the channel it is on: a band change of the radio
// becomes one antenna selection for the channel, held back while the channel transmits or
// the operator's split is in the way, and dropped when the radio leaves the band first or
// the operator chooses by hand.
class BandFollow
{
public:
    // The channel as the box last reported it.
    struct Channel
    {
        quint8 antenna = 15; // position 0..5, or above 5 for none
        bool transmitting = false;
        bool splitActive = false;
        // The operator is choosing a split's transmit antenna, on either channel: a
        // selection sent now would be taken as that choice, or dropped.
        bool choosingSplit = false;
    };
    // Channel 1 or 2 of the box's state as the panel last heard it.
    static Channel channelOf(const DeviceState &state, int channel);

    enum class Step {
        Nothing,
        // A switch is due, held back until the channel is free.
        Wait,
        // As Wait, the first time a split holds it back: say so once.
        SplitPaused,
        // Select `position` on the channel now.
        Switch,
    };
    static constexpr int NoBand = -1;
    struct Decision
    {
        Step step = Step::Nothing;
        // The band the switch is for; NoBand for a position asked for directly.
        int bandIndex = 0;
        quint8 position = 0;
    };

    // Per band of BandPlan::bands(): the antenna 1..6, or 0 for none.
    void setAntennas(const std::array<int, BandPlan::BandCount> &antennaPerBand);
    // A reading of the radio's frequency. Only a band other than the last one seen (the
    // first reading included) makes a switch due; outside every band nothing changes.
    void frequencyRead(qint64 hz);
    // The station's logger asks for a position (0..5) directly (OTRSP), held back as a
    // band's switch is.
    void positionAsked(quint8 position);
    // A switch is waiting for the channel to be free.
    bool switchDue() const;
    // The operator pressed an antenna or RELEASE of the channel: that choice stands until
    // the radio's next band change.
    void operatorChose();
    // The band of the latest reading; nothing before one or outside every band.
    std::optional<int> band() const { return currentBand; }
    // The antenna (1..6) to use on a band from now on.
    void remember(int bandIndex, int antenna);
    // Forgets the radio: the next reading counts as the first.
    void reset();

    Decision decide(const Channel &channel);

private:
    std::array<int, BandPlan::BandCount> antennas{};
    std::optional<int> currentBand;
    std::optional<int> lastBand;
    std::optional<int> dueBand;
    std::optional<quint8> duePosition;
    bool pauseReported = false;
};
