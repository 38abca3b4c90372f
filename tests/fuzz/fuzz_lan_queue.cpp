// The LAN worker's datagram queue under an arbitrary sequence of enqueues and takes,
// checked against a plain list that follows the superseding rule:
//   - a new state request (code 1) removes the queued state requests;
//   - a new channel-1 selection (code 2) removes the queued channel-1 selections and
//     state requests;
//   - nothing else ever leaves the queue but by being taken from its head, and the
//     frames that stay keep their order.
//
// Input, read from the front, one operation per byte b (b % 8):
//   0, 1  take the head (when there is one)
//   2     state request
//   3, 4  channel-1 / channel-2 selection; the next byte is the position
//   5, 6  channel-1 / channel-2 split; the next three bytes are its arguments
//   7     any payload: the next byte % 8 is its length, then its bytes
// At most MaxOperations operations per input: longer runs find nothing new and only slow
// the search down (every step compares the whole queue).
#include "fuzzcheck.h"

#include "engine/protocol.h"
#include "lan/datagramqueue.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace {

constexpr int MaxOperations = 128;

class Reader
{
public:
    Reader(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {}
    bool atEnd() const { return m_pos >= m_size; }
    quint8 next() { return atEnd() ? 0 : m_data[m_pos++]; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

int codeOf(const QByteArray &payload) { return payload.size() >= 2 ? static_cast<quint8>(payload.at(1)) : -1; }

void enqueueModel(QList<QByteArray> &model, const QByteArray &payload)
{
    const int code = codeOf(payload);
    QList<QByteArray> kept;
    for (const QByteArray &queued : model) {
        const int queuedCode = codeOf(queued);
        const bool superseded = (code == 1 && queuedCode == 1) || (code == 2 && (queuedCode == 1 || queuedCode == 2));
        if (!superseded)
            kept.append(queued);
    }
    kept.append(payload);
    model = kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader input(data, size);
    DatagramQueue queue;
    QList<QByteArray> model;

    for (int step = 0; step < MaxOperations && !input.atEnd(); ++step) {
        const int op = input.next() % 8;
        QByteArray payload;
        switch (op) {
        case 0:
        case 1:
            if (!queue.isEmpty()) {
                FUZZ_CHECK(!model.isEmpty());
                FUZZ_CHECK(queue.takeFirst() == model.takeFirst());
            }
            break;
        case 2:
            payload = Protocol::lanFrame(Protocol::LanStateRequest);
            break;
        case 3:
        case 4:
            payload = Protocol::lanFrame(static_cast<quint8>(op - 1), input.next());
            break;
        case 5:
        case 6: {
            const quint8 on = input.next();
            const quint8 tx = input.next();
            const quint8 rx = input.next();
            payload = Protocol::lanFrame(static_cast<quint8>(op - 1), on, tx, rx);
            break;
        }
        default: {
            const int length = input.next() % 8;
            for (int i = 0; i < length; ++i)
                payload.append(static_cast<char>(input.next()));
            break;
        }
        }
        if (op >= 2) {
            if (op <= 6) {
                FUZZ_CHECK(payload.size() >= 3);
                FUZZ_CHECK(DatagramQueue::commandCode(payload) == op - 1);
            }
            queue.enqueue(payload);
            enqueueModel(model, payload);
        }
        FUZZ_CHECK(queue.contents() == model);
        FUZZ_CHECK(queue.size() == model.size());
        FUZZ_CHECK(queue.isEmpty() == model.isEmpty());
    }
    // Draining gives the survivors in their order.
    while (!queue.isEmpty())
        FUZZ_CHECK(queue.takeFirst() == model.takeFirst());
    FUZZ_CHECK(model.isEmpty());
    return 0;
}
