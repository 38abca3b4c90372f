#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

// The amateur bands band follow knows, by their wavelength in metres, with their edges.
namespace BandPlan {

struct Band
{
    int metres;
    qint64 lowHz; // inclusive
    qint64 highHz; // inclusive
};

constexpr int BandCount = 11;

// 160 m to 6 m, longest first: the order of the settings keys and of the dialog's rows.
const std::array<Band, BandCount> &bands();

// The index into bands() of the band that holds `hz`, or nothing outside every band.
std::optional<int> bandIndexOf(qint64 hz);

// "160", "80", ... as the settings keys and messages name the band.
QString bandName(int index);

} // namespace BandPlan
