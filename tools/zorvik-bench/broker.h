#pragma once

#include <QByteArray>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// The message broker the broker-path measurement runs against, and the benchmark's own
// client of it.
namespace Broker {

// Debian's `mosquitto -p <port>` on a free port: with no configuration file it listens on
// loopback only. Stopped (and waited for) when destroyed.
class Process
{
public:
    Process() = default;
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // Starts the broker and waits until it takes connections; the empty string on
    // success, otherwise what went wrong.
    QString start(int timeoutMs);
    quint16 port() const { return listenPort; }

private:
    QProcess process;
    quint16 listenPort = 0;
};

// A libmosquitto client driven by the library's own network thread (mosquitto_loop_start):
// it publishes commands when asked and stamps every message it receives on the steady
// clock, on that thread, as the message is handed over.
class Client
{
public:
    struct Arrival
    {
        QByteArray topic;
        QByteArray payload;
        qint64 us;
    };

    Client();
    // Disconnects and stops the network thread before anything it uses goes.
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // Connects to 127.0.0.1:port and subscribes (QoS 1) to `topics` once connected; the
    // empty string on success, otherwise what went wrong.
    QString start(quint16 port, const QStringList &topics);
    // True once the broker acknowledged every subscription.
    bool subscribed() const { return acknowledged.load() >= wanted; }
    // Publishes `payload` on `topic` with QoS 1, not retained; false if the library refused.
    bool publish(const QByteArray &topic, const QByteArray &payload);

    size_t arrivalCount() const;
    std::vector<Arrival> arrivalsFrom(size_t mark) const;

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *granted);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    mosquitto *handle = nullptr;
    bool looping = false;
    QStringList subscriptions;
    int wanted = 0;
    std::atomic<int> acknowledged{0};
    mutable QMutex mutex;
    std::vector<Arrival> arrivals;
};

} // namespace Broker
