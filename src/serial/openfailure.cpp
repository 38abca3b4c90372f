#include "openfailure.h"

#include <QCoreApplication>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace OpenFailure {

namespace {
QString tr(const char *text) { return QCoreApplication::translate("OpenFailure", text); }
} // namespace

DeviceFacts factsAbout(const QString &portName)
{
    DeviceFacts facts;
#ifdef Q_OS_UNIX
    const QString path = portName.contains(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QByteArray local = QFile::encodeName(path);
    struct stat info;
    if (::stat(local.constData(), &info) != 0)
        return facts;
    facts.exists = true;
    facts.accessible = ::access(local.constData(), R_OK | W_OK) == 0;
    if (const struct group *owner = ::getgrgid(info.st_gid))
        facts.group = QString::fromLocal8Bit(owner->gr_name);
#else
    // Windows names its ports, not files; the port's own error tells.
    Q_UNUSED(portName)
    facts.exists = true;
    facts.accessible = true;
#endif
    return facts;
}

Cause causeOf(QSerialPort::SerialPortError error, const DeviceFacts &facts)
{
    if (error == QSerialPort::DeviceNotFoundError || !facts.exists)
        return Cause::NotFound;
    if (error == QSerialPort::PermissionError)
        return facts.accessible ? Cause::Busy : Cause::NoPermission;
    return Cause::Other;
}

QString advice(Cause cause, const QString &portName, const QString &group)
{
    switch (cause) {
    case Cause::NoPermission:
        if (group.isEmpty())
            return tr("You may not use %1: ask for access to it.").arg(portName);
        return tr("You may not use %1: add your user to the group \"%2\" (sudo usermod -aG %2 $USER), "
                  "then log out and in again.")
            .arg(portName, group);
    case Cause::Busy:
        return tr("%1 is in use by another program: close that program, or choose another port in "
                  "Serial Settings.")
            .arg(portName);
    case Cause::NotFound:
        return tr("%1 was not found: check the cable and the adapter, or choose another port in "
                  "Serial Settings.")
            .arg(portName);
    case Cause::Other:
        break;
    }
    return {};
}

QString message(const QString &portError, QSerialPort::SerialPortError error, const QString &portName)
{
    const DeviceFacts facts = factsAbout(portName);
    const QString line = advice(causeOf(error, facts), portName, facts.group);
    return line.isEmpty() ? portError : portError + QLatin1Char('\n') + line;
}

} // namespace OpenFailure
