#include "readnotices.h"

#include <QString>
#include <QtGlobal>

#include <atomic>

namespace ReadNotices {

namespace {
std::atomic<long long> notices{0};
std::atomic<Mode> mode{Mode::Discard};
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("Read Pending Datagram!")) {
        notices.fetch_add(1, std::memory_order_relaxed);
        if (mode.load(std::memory_order_relaxed) == Mode::Discard)
            return;
    }
    // Platform chatter of a headless run, not the panel's: it would only clutter the tables.
    if (message == QLatin1String("This plugin does not support propagateSizeHints()")
        || message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    previous(type, context, message);
}
} // namespace

void install()
{
    if (!previous)
        previous = qInstallMessageHandler(handler);
}

void setMode(Mode newMode) { mode = newMode; }

long long count() { return notices.load(std::memory_order_relaxed); }

} // namespace ReadNotices
