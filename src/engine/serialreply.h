#pragma once

#include "protocol.h"

#include <functional>

// Which bytes waiting on the serial line make the reply the panel dispatches, on one
// polling tick. The port itself stays outside: `read` is its read call.
//
// - Fewer than MinReplyLength bytes waiting: nothing is read; a reply may still be arriving.
// - Up to RxBufferSize waiting: they are read into the receive buffer, and they are a
//   reply to dispatch when the last one is ';'.
// - More (noise, replies glued together, a GUI thread that fell behind): reading one
//   buffer a tick would never catch up, so everything waiting is drained and the newest
//   complete frame ("IG" ... ';', MinReplyLength to RxBufferSize bytes) is kept.
namespace SerialReply {

struct Result
{
    // More than MinReplyLength - 1 bytes were waiting: the box is alive, whatever they are.
    bool signOfLife = false;
    // The bytes at the start of the receive buffer to dispatch; 0 when there is none.
    int length = 0;
};

// Reads up to `max` bytes into `into`; returns how many, 0 when none are left, or -1.
using ReadFunction = std::function<qint64(char *into, qint64 max)>;

Result read(qint64 waiting, const ReadFunction &read, Protocol::RxBuffer &rx);

// The newest complete frame in `bytes`, copied to the start of `rx`; returns its length,
// or 0 when `bytes` holds none.
int newestFrame(const char *bytes, int count, Protocol::RxBuffer &rx);

} // namespace SerialReply
