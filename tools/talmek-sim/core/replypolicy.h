#pragma once

#include <QRandomGenerator>
#include <QVector>

namespace TalmekSim {

// Decides which replies leave the box, for fault tests: silence and random loss.
// Draws come from a seeded generator, so a run with the same seed drops the same replies.
class ReplyPolicy
{
public:
    explicit ReplyPolicy(quint32 seed = 1)
        : m_random(seed)
    {}

    void setSilent(bool on) { m_silent = on; }
    bool isSilent() const { return m_silent; }

    // Clamped to 0..100.
    void setDropPercent(int percent);
    int dropPercent() const { return m_dropPercent; }

    // One decision per reply the box would send.
    bool allowReply();

    // Sizes of two or three non-empty pieces that add up to `length` (at least 2).
    QVector<int> pieceSizes(int length);

    // Random bytes for line noise.
    QByteArray noise(int count);

private:
    QRandomGenerator m_random;
    bool m_silent = false;
    int m_dropPercent = 0;
};

} // namespace TalmekSim
