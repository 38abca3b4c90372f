#pragma once

#include <QString>

// The remote control's tokens: the control token and the watch-only token a client other
// than this computer must present.
namespace RemoteToken {

// Random bytes in a token: 256 bits, from the operating system's generator.
constexpr int Bytes = 32;

// A new token: Bytes random bytes as base64url without padding (43 characters of
// A-Z a-z 0-9 - _), safe in a URL's fragment, a header and the settings file alike.
QString make();

} // namespace RemoteToken
