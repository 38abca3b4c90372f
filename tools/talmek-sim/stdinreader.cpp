#include "stdinreader.h"

#include "console.h"

#include <QSocketNotifier>
#include <QString>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {
constexpr int MaxLineLength = 1024;
}

StdinReader::StdinReader(QObject *parent)
    : QObject(parent)
{}

#ifdef Q_OS_UNIX

bool StdinReader::start()
{
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StdinReader::readAvailable);
    return true;
}

void StdinReader::readAvailable()
{
    // One read per notification: stdin stays blocking, as it may be shared with a shell.
    char chunk[4096];
    ssize_t n;
    do {
        n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        m_notifier->setEnabled(false);
        return;
    }
    m_buffer.append(chunk, static_cast<int>(n));
    int newline;
    while ((newline = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(newline);
        m_buffer.remove(0, newline + 1);
        if (m_discardingLongLine) {
            m_discardingLongLine = false;
            continue;
        }
        emit lineReceived(QString::fromLocal8Bit(line).trimmed());
    }
    if (m_buffer.size() > MaxLineLength) {
        Console::error(QStringLiteral("control line too long, ignored"));
        m_buffer.clear();
        m_discardingLongLine = true;
    }
}

#else

bool StdinReader::start() { return false; }

void StdinReader::readAvailable() {}

#endif
