#include "replypolicy.h"

#include <QByteArray>

#include <algorithm>

namespace TalmekSim {

void ReplyPolicy::setDropPercent(int percent) { m_dropPercent = std::clamp(percent, 0, 100); }

bool ReplyPolicy::allowReply()
{
    if (m_silent)
        return false;
    if (m_dropPercent == 0)
        return true;
    return static_cast<int>(m_random.bounded(100)) >= m_dropPercent;
}

QVector<int> ReplyPolicy::pieceSizes(int length)
{
    if (length < 2)
        return {length};
    const int pieces = length >= 3 ? 2 + static_cast<int>(m_random.bounded(2)) : 2;
    QVector<int> sizes;
    int left = length;
    for (int i = pieces; i > 1; --i) {
        // Leave at least one byte for each piece still to come.
        const int size = 1 + static_cast<int>(m_random.bounded(left - (i - 1)));
        sizes.append(size);
        left -= size;
    }
    sizes.append(left);
    return sizes;
}

QByteArray ReplyPolicy::noise(int count)
{
    QByteArray bytes(std::max(count, 0), '\0');
    for (char &b : bytes)
        b = static_cast<char>(m_random.bounded(256));
    return bytes;
}

} // namespace TalmekSim
