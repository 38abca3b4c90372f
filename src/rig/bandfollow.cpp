#include "bandfollow.h"

#include "engine/devicestate.h"

BandFollow::Channel BandFollow::channelOf(const DeviceState &state, int channel)
{
    Channel seen;
    seen.antenna = state.antenna[channel];
    // Any flag the box sets holds a switch back, not only the one the SEND lamp shows.
    seen.transmitting = state.transmitting[channel] != 0;
    seen.splitActive = state.splitActive[channel] != 0;
    seen.choosingSplit = state.splitSetupActive == 1;
    return seen;
}

void BandFollow::setAntennas(const std::array<int, BandPlan::BandCount> &antennaPerBand) { antennas = antennaPerBand; }

void BandFollow::frequencyRead(qint64 hz)
{
    const std::optional<int> band = BandPlan::bandIndexOf(hz);
    currentBand = band;
    if (!band || band == lastBand)
        return;
    lastBand = band;
    // A switch still held back for the band just left is dropped with it.
    dueBand = band;
    duePosition.reset();
    pauseReported = false;
}

void BandFollow::operatorChose()
{
    dueBand.reset();
    duePosition.reset();
}

void BandFollow::remember(int bandIndex, int antenna) { antennas.at(bandIndex) = antenna; }

void BandFollow::reset()
{
    currentBand.reset();
    lastBand.reset();
    dueBand.reset();
    duePosition.reset();
    pauseReported = false;
}

void BandFollow::positionAsked(quint8 position)
{
    dueBand.reset();
    duePosition = position;
    pauseReported = false;
}

bool BandFollow::switchDue() const { return dueBand || duePosition; }

BandFollow::Decision BandFollow::decide(const Channel &channel)
{
    if (!dueBand && !duePosition)
        return {};
    const int band = dueBand.value_or(NoBand);
    const int antenna = duePosition ? *duePosition + 1 : antennas.at(band);
    const quint8 position = quint8(antenna - 1);
    if (antenna < 1 || antenna > 6 || (AntennaPosition::isAntenna(channel.antenna) && channel.antenna == position)) {
        dueBand.reset();
        duePosition.reset();
        return {};
    }
    if (channel.splitActive) {
        const Step step = pauseReported ? Step::Wait : Step::SplitPaused;
        pauseReported = true;
        return {step, band, position};
    }
    if (channel.transmitting || channel.choosingSplit)
        return {Step::Wait, band, position};
    dueBand.reset();
    duePosition.reset();
    return {Step::Switch, band, position};
}
