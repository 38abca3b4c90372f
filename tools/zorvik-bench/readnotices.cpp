#include "readnotices.h"

#include <QString>
#include <QtGlobal>

#include <atomic>

namespace ReadNotices {

namespace {
std::atomic<Mode> mode{Mode::Discard};
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (mode.load(std::memory_order_relaxed) == Mode::Discard && message == QLatin1String("Read Pending Datagram!"))
        return;
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

} // namespace ReadNotices
