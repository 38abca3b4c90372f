#include "ptylink.h"

#include "console.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

PtyLink::PtyLink(TalmekSim::SwitchBox &box, TalmekSim::ReplyPolicy &policy, const LinkOptions &options, QObject *parent)
    : SerialLink(QStringLiteral("pty"), box, policy, options, parent)
{}

PtyLink::~PtyLink() { closeAll(); }

#ifdef Q_OS_UNIX

namespace {
QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }
} // namespace

bool PtyLink::open(const QString &linkPath, QString *error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        *error = QStringLiteral("posix_openpt: %1").arg(systemError());
        return false;
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = QStringLiteral("grantpt/unlockpt: %1").arg(systemError());
        closeAll();
        return false;
    }
    const char *name = ::ptsname(m_master);
    if (!name) {
        *error = QStringLiteral("ptsname: %1").arg(systemError());
        closeAll();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        *error = QStringLiteral("open %1: %2").arg(m_slavePath, systemError());
        closeAll();
        return false;
    }
    termios tio{};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    if (!linkPath.isEmpty()) {
        const QFileInfo existing(linkPath);
        // Only a stale symlink is replaced; a real file of that name is left alone.
        if (existing.isSymLink()) {
            QFile::remove(linkPath);
        } else if (existing.exists()) {
            *error = QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath);
            closeAll();
            return false;
        }
        if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
            *error = QStringLiteral("symlink %1: %2").arg(linkPath, systemError());
            closeAll();
            return false;
        }
        m_linkPath = linkPath;
    }

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLink::readMaster);
    return true;
}

void PtyLink::readMaster()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            handleReceived(QByteArray(buffer, static_cast<int>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // EIO (no slave open) should not happen as we hold one; back off instead of spinning.
        m_notifier->setEnabled(false);
        QTimer::singleShot(100, m_notifier, [notifier = m_notifier] { notifier->setEnabled(true); });
        return;
    }
}

void PtyLink::writeBytes(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_master, data, static_cast<size_t>(left));
        if (n > 0) {
            data += n;
            left -= n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // The panel is not reading and the line buffer is full: like a real line, lose it.
            if (!m_overflowReported)
                Console::error(QStringLiteral("pty buffer full, %1 bytes lost").arg(left));
            m_overflowReported = true;
            return;
        }
    }
    m_overflowReported = false;
}

void PtyLink::closeAll()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    if (!m_linkPath.isEmpty()) {
        // Remove the symlink only if it still leads to this pseudo-terminal.
        if (QFileInfo(m_linkPath).symLinkTarget() == QFileInfo(m_slavePath).absoluteFilePath())
            QFile::remove(m_linkPath);
        m_linkPath.clear();
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

#else

bool PtyLink::open(const QString &, QString *error)
{
    *error = QStringLiteral("--pty is not available on this system; use --serial with a port pair");
    return false;
}

void PtyLink::writeBytes(const QByteArray &) {}

void PtyLink::readMaster() {}

void PtyLink::closeAll() {}

#endif
