#include "remotetoken.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <array>

namespace RemoteToken {

QString make()
{
    std::array<quint32, Bytes / sizeof(quint32)> words{};
    // system(): the operating system's cryptographically secure source, never a seeded one.
    QRandomGenerator::system()->fillRange(words.data(), int(words.size()));
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), Bytes);
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace RemoteToken
