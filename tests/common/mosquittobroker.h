#pragma once

// A real MQTT broker for end-to-end tests, and a client that watches it.
//
// MosquittoBroker: Debian's mosquitto as a child process on a free loopback TCP port
// (`mosquitto -p N` serves loopback only; with a password file, a config file that says the
// same with allow_anonymous false). start() waits until it accepts connections; stop() ends
// it; start() again brings it back on the same port, with no retained message kept.
//
// MqttProbe: a libmosquitto client on the test's event loop (polled on a short timer, no
// thread) that records every message it receives with its retain flag, and publishes.
//
// Helpers that can fail return false after a qWarning() that says why.

#include <mosquitto.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class MosquittoBroker
{
public:
    MosquittoBroker() { process.setProcessChannelMode(QProcess::MergedChannels); }
    ~MosquittoBroker() { stop(); }
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    static QString program()
    {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                                             {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
        return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("mosquitto")) : found;
    }

    // Only `user` with `password` may connect from now on (before start()).
    bool requirePassword(const QString &user, const QString &password)
    {
        const QString file = dir.filePath(QStringLiteral("passwords"));
        QFile::remove(file);
        if (!QFile(file).open(QIODevice::WriteOnly))
            return check(false, "no password file");
        const int rc =
            QProcess::execute(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-b"), file, user, password});
        passwordFile = file;
        // The broker started as root reads it as the user it drops to.
        QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther);
        QFile::setPermissions(file, QFile::permissions(file) | QFile::ReadOther);
        return check(rc == 0, "mosquitto_passwd failed");
    }

    // Starts the broker, on the port it had before or on a free one, and waits until it
    // accepts a connection.
    bool start(int timeoutMs = 5000)
    {
        if (program().isEmpty())
            return check(false, "mosquitto is not installed");
        if (brokerPort == 0)
            brokerPort = freePort();
        QStringList arguments;
        if (passwordFile.isEmpty()) {
            arguments << QStringLiteral("-p") << QString::number(brokerPort);
        } else {
            const QString config = dir.filePath(QStringLiteral("mosquitto.conf"));
            QFile file(config);
            if (!file.open(QIODevice::WriteOnly))
                return check(false, "no config file");
            file.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2\n")
                           .arg(brokerPort)
                           .arg(passwordFile)
                           .toUtf8());
            file.close();
            arguments << QStringLiteral("-c") << config;
        }
        process.start(program(), arguments);
        if (!check(process.waitForStarted(timeoutMs), "mosquitto did not start"))
            return false;
        const bool listening = QTest::qWaitFor(
            [this] {
                if (process.state() == QProcess::NotRunning)
                    return true;
                QTcpSocket socket;
                socket.connectToHost(QStringLiteral("127.0.0.1"), brokerPort);
                return socket.waitForConnected(200);
            },
            timeoutMs);
        if (process.state() == QProcess::NotRunning)
            qWarning("mosquitto ended: %s", process.readAll().constData());
        return check(listening && process.state() == QProcess::Running, "mosquitto does not listen");
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    quint16 port() const { return brokerPort; }
    bool isRunning() const { return process.state() == QProcess::Running; }

private:
    static quint16 freePort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        return server.serverPort();
    }
    static bool check(bool ok, const char *why)
    {
        if (!ok)
            qWarning("%s", why);
        return ok;
    }

    QTemporaryDir dir;
    QString passwordFile;
    QProcess process;
    quint16 brokerPort = 0;
};

class MqttProbe
{
public:
    struct Received
    {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
    };

    MqttProbe()
    {
        mosquitto_lib_init();
        client = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(
            client, [](mosquitto *, void *self, int rc) { static_cast<MqttProbe *>(self)->connected = rc == 0; });
        mosquitto_message_callback_set(client, [](mosquitto *, void *self, const mosquitto_message *message) {
            static_cast<MqttProbe *>(self)->received.append(
                {QByteArray(message->topic),
                 QByteArray(static_cast<const char *>(message->payload), message->payloadlen), message->retain});
        });
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (mosquitto_loop(client, 0, 20) != MOSQ_ERR_SUCCESS)
                connected = false;
        });
    }
    ~MqttProbe()
    {
        poll.stop();
        mosquitto_disconnect(client);
        mosquitto_destroy(client);
    }
    MqttProbe(const MqttProbe &) = delete;
    MqttProbe &operator=(const MqttProbe &) = delete;

    // Connects to the broker on `port` and subscribes to `pattern` ("#": everything).
    bool connect(quint16 port, const QByteArray &pattern = "#")
    {
        if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        poll.start();
        if (!QTest::qWaitFor([this] { return connected; }, 3000))
            return false;
        int mid = 0;
        subscribed = -1;
        mosquitto_subscribe_callback_set(client, [](mosquitto *, void *self, int id, int, const int *) {
            static_cast<MqttProbe *>(self)->subscribed = id;
        });
        return mosquitto_subscribe(client, &mid, pattern.constData(), 1) == MOSQ_ERR_SUCCESS
            && QTest::qWaitFor([&] { return subscribed == mid; }, 3000);
    }
    bool publish(const QByteArray &topic, const QByteArray &payload, bool retain = false)
    {
        return mosquitto_publish(client, nullptr, topic.constData(), int(payload.size()), payload.constData(), 1,
                                 retain)
            == MOSQ_ERR_SUCCESS;
    }

    const QList<Received> &messages() const { return received; }
    // The messages on `topic`, from index `from` of messages() on.
    QList<Received> on(const QByteArray &topic, int from = 0) const
    {
        QList<Received> found;
        for (int i = qMax(0, from); i < received.size(); ++i) {
            if (received.at(i).topic == topic)
                found << received.at(i);
        }
        return found;
    }
    // The payload of the latest message on `topic`; null if none came.
    QByteArray last(const QByteArray &topic) const
    {
        for (int i = received.size() - 1; i >= 0; --i) {
            if (received.at(i).topic == topic)
                return received.at(i).payload.isNull() ? QByteArray("") : received.at(i).payload;
        }
        return QByteArray();
    }
    bool waitFor(const QByteArray &topic, const QByteArray &payload, int timeoutMs = 3000) const
    {
        return QTest::qWaitFor([&] { return last(topic) == payload && !last(topic).isNull(); }, timeoutMs);
    }
    bool isConnected() const { return connected; }

private:
    mosquitto *client = nullptr;
    QTimer poll;
    bool connected = false;
    int subscribed = -1;
    QList<Received> received;
};
