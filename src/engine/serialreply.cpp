#include "serialreply.h"

#include <array>
#include <cstring>

namespace SerialReply {

int newestFrame(const char *bytes, int count, Protocol::RxBuffer &rx)
{
    using Protocol::MinReplyLength;
    using Protocol::RxBufferSize;
    for (int end = count - 1; end >= MinReplyLength - 1; --end) {
        if (bytes[end] != ';')
            continue;
        const int earliest = qMax(0, end - RxBufferSize + 1);
        for (int start = end - MinReplyLength + 1; start >= earliest; --start) {
            if (bytes[start] == 'I' && bytes[start + 1] == 'G') {
                const int length = end - start + 1;
                std::memcpy(rx.data(), bytes + start, size_t(length));
                return length;
            }
        }
    }
    return 0;
}

Result read(qint64 waiting, const ReadFunction &read, Protocol::RxBuffer &rx)
{
    using Protocol::RxBufferSize;
    Result result;
    if (waiting < Protocol::MinReplyLength)
        return result;
    result.signOfLife = true;
    if (waiting <= RxBufferSize) {
        const qint64 n = read(reinterpret_cast<char *>(rx.data()), RxBufferSize);
        if (n >= 1 && rx[size_t(n - 1)] == ';')
            result.length = int(n);
        return result;
    }
    // Drain through a fixed buffer, keeping the last three buffers' worth, where the
    // newest complete frame is looked for.
    constexpr int TailSize = 3 * RxBufferSize;
    std::array<char, TailSize> tail{};
    int tailLength = 0;
    std::array<char, 512> chunk;
    for (qint64 got; (got = read(chunk.data(), qint64(chunk.size()))) > 0;) {
        const int keep = int(qMin<qint64>(got, TailSize));
        const int shift = qMin(tailLength, TailSize - keep);
        std::memmove(tail.data(), tail.data() + tailLength - shift, size_t(shift));
        std::memcpy(tail.data() + shift, chunk.data() + got - keep, size_t(keep));
        tailLength = shift + keep;
    }
    result.length = newestFrame(tail.data(), tailLength, rx);
    return result;
}

} // namespace SerialReply
