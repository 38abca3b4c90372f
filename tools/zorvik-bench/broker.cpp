#include "broker.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

#include <mosquitto.h>

#include <chrono>

namespace Broker {

namespace {
qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A port nothing listens on now: the kernel's choice for a server bound to port 0.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool listening(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}
} // namespace

Process::~Process()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

QString Process::start(int timeoutMs)
{
    QString error;
    // A port found free may be taken before the broker binds it: then another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const quint16 port = freePort();
        if (port == 0)
            return QStringLiteral("no free port on 127.0.0.1");
        process.setProgram(QStringLiteral("mosquitto"));
        process.setArguments({QStringLiteral("-p"), QString::number(port)});
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start();
        if (!process.waitForStarted(timeoutMs))
            return QStringLiteral("mosquitto does not start (%1; Debian package mosquitto)").arg(process.errorString());
        QElapsedTimer waited;
        waited.start();
        while (process.state() == QProcess::Running && waited.elapsed() < timeoutMs) {
            if (listening(port)) {
                listenPort = port;
                return QString();
            }
            process.waitForFinished(50);
        }
        if (process.state() == QProcess::Running) {
            process.kill();
            process.waitForFinished(3000);
            return QStringLiteral("mosquitto did not listen on port %1 within %2 ms").arg(port).arg(timeoutMs);
        }
        error = QStringLiteral("mosquitto -p %1 exited: %2")
                    .arg(port)
                    .arg(QString::fromLocal8Bit(process.readAll()).trimmed().split(QLatin1Char('\n')).last());
    }
    return error;
}

Client::Client()
{
    // Never undone here: the bridge in this process uses the same library.
    mosquitto_lib_init();
    handle = mosquitto_new(nullptr, true, this);
    if (!handle)
        return;
    mosquitto_connect_callback_set(handle, &Client::onConnect);
    mosquitto_subscribe_callback_set(handle, &Client::onSubscribe);
    mosquitto_message_callback_set(handle, &Client::onMessage);
}

Client::~Client()
{
    if (!handle)
        return;
    if (looping) {
        mosquitto_disconnect(handle);
        mosquitto_loop_stop(handle, false);
    }
    mosquitto_destroy(handle);
}

QString Client::start(quint16 port, const QStringList &topics)
{
    if (!handle)
        return QStringLiteral("mosquitto_new failed");
    subscriptions = topics;
    wanted = int(topics.size());
    const int connected = mosquitto_connect(handle, "127.0.0.1", port, 30);
    if (connected != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the client cannot connect: %1").arg(QString::fromUtf8(mosquitto_strerror(connected)));
    const int started = mosquitto_loop_start(handle);
    if (started != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the client's thread does not start: %1")
            .arg(QString::fromUtf8(mosquitto_strerror(started)));
    looping = true;
    return QString();
}

bool Client::publish(const QByteArray &topic, const QByteArray &payload)
{
    return handle
        && mosquitto_publish(handle, nullptr, topic.constData(), payload.size(), payload.constData(), 1, false)
        == MOSQ_ERR_SUCCESS;
}

size_t Client::arrivalCount() const
{
    QMutexLocker lock(&mutex);
    return arrivals.size();
}

std::vector<Client::Arrival> Client::arrivalsFrom(size_t mark) const
{
    QMutexLocker lock(&mutex);
    return mark < arrivals.size() ? std::vector<Arrival>(arrivals.begin() + long(mark), arrivals.end())
                                  : std::vector<Arrival>();
}

void Client::onConnect(mosquitto *handle, void *self, int rc)
{
    if (rc != 0)
        return;
    auto *client = static_cast<Client *>(self);
    // Set before connecting, read only on this thread afterwards.
    for (const QString &topic : client->subscriptions)
        mosquitto_subscribe(handle, nullptr, topic.toUtf8().constData(), 1);
}

void Client::onSubscribe(mosquitto *, void *self, int, int, const int *)
{
    static_cast<Client *>(self)->acknowledged.fetch_add(1);
}

void Client::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    const qint64 arrived = nowUs();
    auto *client = static_cast<Client *>(self);
    Arrival a{QByteArray(message->topic),
              QByteArray(static_cast<const char *>(message->payload), message->payloadlen), arrived};
    QMutexLocker lock(&client->mutex);
    client->arrivals.push_back(std::move(a));
}

} // namespace Broker
