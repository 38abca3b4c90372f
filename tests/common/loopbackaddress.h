#pragma once

// Where a test puts a simulated box that the panel must tell apart from other senders.
//
// On Linux and Windows a datagram carries the loopback address its sender is bound to, so
// the box sits on 127.0.0.2 and a stranger on 127.0.0.3. Wine reports every loopback
// sender as 127.0.0.1, so under Wine the box sits there and a stranger cannot be told
// apart at all: tests that need one skip.

#include <QHostAddress>
#include <QString>
#include <QUdpSocket>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace LoopbackAddress {

inline bool sendersLookAlike()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

inline QHostAddress box()
{
    return QHostAddress(sendersLookAlike() ? QStringLiteral("127.0.0.1") : QStringLiteral("127.0.0.2"));
}

// A UDP port free now on every address (a logger's port, say); 0 when none could be had.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::AnyIPv4, 0) ? probe.localPort() : 0;
}

} // namespace LoopbackAddress
