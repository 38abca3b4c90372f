#pragma once

#include "config/panelsettings.h"

#include <QString>

// The address people open the remote control's page at, as the settings give it.
namespace RemotePageAddress {

// "http://127.0.0.1:8750/" in local mode; in network mode the address listened on, or the
// computer's first IPv4 address that is not a loopback one ("http://192.168.1.20:8750/";
// 127.0.0.1 when it has none); IPv6 in brackets. Empty when off.
QString of(const PanelSettings::Remote &remote);

// The page's address that signs a browser in with `token`: "http://…/#token=…". The
// fragment never leaves the browser: the page reads it, signs in, and removes it.
QString withToken(const QString &address, const QString &token);

} // namespace RemotePageAddress
