#pragma once

// The panel looks the box's address up even when it is an IP literal: QHostInfo::fromName()
// turns a literal into a reverse look-up (getnameinfo), which asks the system's name server.
// The benchmark must not send anything beyond loopback, so this executable answers every
// look-up numerically: addresses stay addresses, names fail at once. The calls are counted
// so the report can say how many look-ups the panel asked for.
namespace LocalResolver {

int reverseLookups();
int forwardLookups();

} // namespace LocalResolver
