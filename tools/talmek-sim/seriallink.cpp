#include "seriallink.h"

#include "console.h"

#include <algorithm>

using namespace TalmekSim;

namespace {
constexpr int PieceGapMs = 4;

QString outcomeSuffix(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Applied:
        return QString();
    case Outcome::Refused:
        return QStringLiteral(" (refused)");
    case Outcome::Invalid:
        return QStringLiteral(" (invalid)");
    }
    return QString();
}
} // namespace

SerialLink::SerialLink(const QString &transport, SwitchBox &box, ReplyPolicy &policy, const LinkOptions &options,
                       QObject *parent)
    : QObject(parent)
    , m_transport(transport)
    , m_session(box)
    , m_policy(policy)
    , m_options(options)
{
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &SerialLink::sendDue);
    m_clock.start();
}

void SerialLink::handleReceived(const QByteArray &bytes)
{
    const auto events = m_session.receive(bytes);
    for (const auto &event : events) {
        if (m_options.hex) {
            if (event.type == SerialCommandParser::Item::Type::Skipped)
                Console::line(QStringLiteral("RX %1 skipped %2").arg(m_transport, Console::hex(event.received)));
            else
                Console::line(QStringLiteral("RX %1 %2%3")
                                  .arg(m_transport, Console::hex(event.received), outcomeSuffix(event.outcome)));
        }
        if (!event.reply.isEmpty())
            queueReply(event.reply);
    }
}

void SerialLink::sendRaw(const QByteArray &bytes) { enqueue(bytes, m_clock.elapsed()); }

void SerialLink::queueReply(const QByteArray &reply)
{
    if (!m_policy.allowReply()) {
        if (m_options.hex)
            Console::line(
                QStringLiteral("-- %1 reply not sent (%2)")
                    .arg(m_transport, m_policy.isSilent() ? QStringLiteral("silent") : QStringLiteral("dropped")));
        return;
    }
    QByteArray out = reply;
    if (m_options.glue) {
        if (m_held.isEmpty()) {
            m_held = reply;
            if (m_options.hex)
                Console::line(QStringLiteral("-- %1 reply held to glue to the next").arg(m_transport));
            return;
        }
        out = m_held + reply;
        m_held.clear();
    }
    const qint64 due = m_clock.elapsed() + m_options.delayMs;
    if (!m_options.splitReplies) {
        enqueue(out, due);
        return;
    }
    int offset = 0;
    int piece = 0;
    for (int size : m_policy.pieceSizes(out.size())) {
        enqueue(out.mid(offset, size), due + qint64(piece) * PieceGapMs);
        offset += size;
        ++piece;
    }
}

void SerialLink::enqueue(const QByteArray &bytes, qint64 due)
{
    // Never overtake what is already queued.
    if (!m_outgoing.empty())
        due = std::max(due, m_outgoing.back().due);
    m_outgoing.push_back({due, bytes});
    scheduleNext();
}

void SerialLink::sendDue()
{
    const qint64 now = m_clock.elapsed();
    while (!m_outgoing.empty() && m_outgoing.front().due <= now) {
        const QByteArray bytes = m_outgoing.front().bytes;
        m_outgoing.pop_front();
        if (m_options.hex)
            Console::line(QStringLiteral("TX %1 %2").arg(m_transport, Console::hex(bytes)));
        writeBytes(bytes);
    }
    scheduleNext();
}

void SerialLink::scheduleNext()
{
    if (m_outgoing.empty()) {
        m_sendTimer.stop();
        return;
    }
    const qint64 wait = std::max<qint64>(0, m_outgoing.front().due - m_clock.elapsed());
    m_sendTimer.start(static_cast<int>(wait));
}
