#include "bandplan.h"

namespace BandPlan {

const std::array<Band, BandCount> &bands()
{
    static const std::array<Band, BandCount> table{{
        {160, 1'800'000, 2'000'000},
        {80, 3'500'000, 4'000'000},
        {60, 5'250'000, 5'450'000},
        {40, 7'000'000, 7'300'000},
        {30, 10'100'000, 10'150'000},
        {20, 14'000'000, 14'350'000},
        {17, 18'068'000, 18'168'000},
        {15, 21'000'000, 21'450'000},
        {12, 24'890'000, 24'990'000},
        {10, 28'000'000, 29'700'000},
        {6, 50'000'000, 54'000'000},
    }};
    return table;
}

std::optional<int> bandIndexOf(qint64 hz)
{
    for (int i = 0; i < BandCount; ++i) {
        if (hz >= bands()[i].lowHz && hz <= bands()[i].highHz)
            return i;
    }
    return std::nullopt;
}

QString bandName(int index) { return QString::number(bands().at(index).metres); }

} // namespace BandPlan
