#pragma once

// A UDP peer of the panel on a loopback address, made of plain POSIX calls so that it works
// outside the test's event loop: one thread may send (a flood, a box answering on its own)
// while another receives. Used to play the box or a stranger on 127.0.0.0/8 only.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

class LoopbackPeer
{
public:
    struct Datagram
    {
        QByteArray payload;
        quint16 fromPort = 0;
        qint64 at = 0; // ms on the peer's clock
    };

    explicit LoopbackPeer(const char *address)
    {
        clock.start();
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (::inet_pton(AF_INET, address, &local.sin_addr) != 1
            || ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        socklen_t length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
        boundPort = ntohs(local.sin_port);
    }
    ~LoopbackPeer()
    {
        stopAnswering();
        if (fd >= 0)
            ::close(fd);
    }
    LoopbackPeer(const LoopbackPeer &) = delete;
    LoopbackPeer &operator=(const LoopbackPeer &) = delete;

    bool isValid() const { return fd >= 0; }
    quint16 port() const { return boundPort; }

    // Thread-safe. True when the kernel took the whole datagram.
    bool sendTo(quint16 port, const QByteArray &payload, const char *address = "127.0.0.1")
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        const ssize_t n = ::sendto(fd, payload.constData(), size_t(payload.size()), 0,
                                   reinterpret_cast<const sockaddr *>(&to), sizeof to);
        return n == payload.size();
    }

    // Every datagram received so far that nobody has taken yet, oldest first. While the
    // peer answers on its own thread that thread reads the socket; otherwise this does.
    QList<Datagram> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!answerer.joinable())
            readWaiting();
        QList<Datagram> out;
        out.swap(received);
        return out;
    }

    // From now on a thread of its own reads everything sent to the peer and answers each
    // state request (FE 01 FD) with `reply`, as the box does.
    void answerStateRequests(const QByteArray &reply)
    {
        stopAnswering();
        stop = false;
        answerer = std::thread([this, reply] {
            while (!stop) {
                pollfd pfd{fd, POLLIN, 0};
                if (::poll(&pfd, 1, 5) <= 0)
                    continue;
                std::lock_guard<std::mutex> lock(mutex);
                const int before = received.size();
                readWaiting();
                for (int i = before; i < received.size(); ++i) {
                    if (received.at(i).payload == QByteArray::fromHex("fe01fd"))
                        sendTo(received.at(i).fromPort, reply);
                }
            }
        });
    }

    void stopAnswering()
    {
        stop = true;
        if (answerer.joinable())
            answerer.join();
    }

private:
    // Caller holds `mutex`.
    void readWaiting()
    {
        char buffer[65536];
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
            if (n < 0)
                return;
            received.append({QByteArray(buffer, int(n)), ntohs(from.sin_port), clock.elapsed()});
        }
    }

    int fd = -1;
    quint16 boundPort = 0;
    QElapsedTimer clock;
    std::mutex mutex;
    QList<Datagram> received;
    std::thread answerer;
    std::atomic<bool> stop{false};
};

// Random datagram payloads as line trouble or a hostile sender would make them: any length
// from 0 to `maxSize`, zero bytes and bytes above 0x7F included.
inline QByteArray randomDatagram(QRandomGenerator &random, int maxSize)
{
    QByteArray bytes(int(random.bounded(maxSize + 1)), '\0');
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}
