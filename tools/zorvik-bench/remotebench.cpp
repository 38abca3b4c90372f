#include "remotebench.h"

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "engine/threadleitura.h"
#include "broker.h"
#include "lan/threadcom.h"
#include "mqtt/mqttbridge.h"
#include "mqtt/mqtttopics.h"
#include "procthreads.h"
#include "remote/remoteserver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWebSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace RemoteBench {

namespace {
constexpr int Clients = 8;
constexpr int WaitMs = 3000;
// Between two commands of either path: an API command then comes every 120 ms or more,
// under the server's 10 commands per second and address.
constexpr int CommandSpacingMs = 60;
// After the last client's message, before the next change of the box: above the 50 ms
// that a client's 20 state messages per second allow, so coalescing never holds one back.
constexpr int ChangeSpacingMs = 80;
// After clients connect or leave, before a CPU window.
constexpr int SettleMs = 1000;
// Channel 2 stays on Ant 6 throughout; channel 1 moves.
constexpr int Channel2Position = 5;

// One clock for every thread here: the steady clock, in microseconds.
qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 currentThreadId() { return qint64(::syscall(SYS_gettid)); }

double ms(qint64 us) { return double(us) / 1000.0; }

// A thread with an event loop and one object living on it, to hand work to.
class Worker
{
public:
    explicit Worker(const QString &name)
    {
        // Qt names the system thread after the object: /proc shows it.
        thread.setObjectName(name);
        context.moveToThread(&thread);
        thread.start();
        run([this] { id.store(currentThreadId()); }, true);
    }
    ~Worker()
    {
        // Whatever was made on the thread is taken down there.
        run([this] { qDeleteAll(context.children()); }, true);
        thread.quit();
        thread.wait();
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void run(std::function<void()> work, bool wait = false)
    {
        QMetaObject::invokeMethod(&context, std::move(work),
                                  wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
    }
    QObject *object() { return &context; }
    qint64 threadId() const { return id.load(); }

private:
    QThread thread;
    QObject context;
    std::atomic<qint64> id{0};
};

// The LAN box: answers each state request (FE 01 FD) with its status text, takes each
// selection (FE 02|03 position FD), timestamped on arrival, and says its new status at once,
// so the panel shows it before the next command. Bound to the configured box address.
class FakeBox
{
public:
    FakeBox()
        : worker(QStringLiteral("BenchBox"))
    {
        worker.run(
            [this] {
                fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_port = 0;
                inet_pton(AF_INET, BenchSupport::boxAddress().toLatin1().constData(), &address.sin_addr);
                socklen_t length = sizeof address;
                const int on = 1;
                if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
                    || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0
                    || ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0)
                    return;
                boundPort.store(ntohs(address.sin_port));
                notifier = new QSocketNotifier(fd, QSocketNotifier::Read, worker.object());
                QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] { read(); });
            },
            true);
    }
    // The socket goes first, on its thread, while what its handler uses is still whole.
    ~FakeBox()
    {
        worker.run(
            [this] {
                delete notifier;
                if (fd >= 0)
                    ::close(fd);
            },
            true);
    }
    FakeBox(const FakeBox &) = delete;
    FakeBox &operator=(const FakeBox &) = delete;

    quint16 port() const { return boundPort.load(); }
    qint64 threadId() const { return worker.threadId(); }
    long long frames() const { return frameCount.load(); }
    qint64 lastFrameUs() const { return lastFrame.load(); }
    long long requests() const { return requestCount.load(); }
    qint64 lastRequestUs() const { return lastRequest.load(); }
    // The time between the last two state requests.
    qint64 requestGapUs() const { return requestGap.load(); }
    // Channel 1 moves to `position` by itself (as if switched at the box), said at once.
    void move(int position)
    {
        worker.run([this, position] {
            antenna[1] = quint8(position);
            // Stamped first: whoever sees the status finds its stamp already there.
            lastMoveSent.store(nowUs());
            tell();
        });
    }
    // When the status after the last move() was sent (0 before the first).
    qint64 lastMoveSentUs() const { return lastMoveSent.load(); }

private:
    // The time the kernel took the datagram in (SO_TIMESTAMPNS, on the real-time clock),
    // moved onto the steady clock; when the thread got to it if there is none. So a busy
    // machine that is slow to wake this thread does not lengthen what is measured.
    static qint64 arrivalUs(msghdr &message)
    {
        const qint64 steadyNow = nowUs();
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
                continue;
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            const qint64 waitedNs = (qint64(now.tv_sec) - qint64(stamp.tv_sec)) * 1000000000
                + (qint64(now.tv_nsec) - qint64(stamp.tv_nsec));
            return steadyNow - std::max<qint64>(waitedNs, 0) / 1000;
        }
        return steadyNow;
    }

    void read()
    {
        for (int i = 0; i < 64; ++i) {
            char data[64];
            alignas(cmsghdr) char control[128];
            sockaddr_in from{};
            iovec part{data, sizeof data};
            msghdr message{};
            message.msg_name = &from;
            message.msg_namelen = sizeof from;
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t size = ::recvmsg(fd, &message, 0);
            if (size < 0)
                return;
            const qint64 arrived = arrivalUs(message);
            const QByteArray b(data, int(size));
            if (b.size() < 3 || quint8(b.at(0)) != 0xFE || quint8(b.at(b.size() - 1)) != 0xFD)
                continue;
            peer = from;
            const quint8 code = quint8(b.at(1));
            if (code == 1 && b.size() == 3) {
                requestGap.store(arrived - lastRequest.load());
                lastRequest.store(arrived);
                requestCount.fetch_add(1);
                tell();
            } else if ((code == 2 || code == 3) && b.size() == 4) {
                antenna[code - 1] = quint8(b.at(2));
                lastFrame.store(arrived);
                frameCount.fetch_add(1);
                tell();
            }
        }
    }

    void tell()
    {
        if (peer.sin_port == 0)
            return;
        // Channel 1, channel 2, no split, split transmit antennas none, not transmitting.
        const QByteArray text =
            QString::asprintf("%X.%X.0.0.F.F.0.0.0.0.FF", unsigned(antenna[1]), unsigned(antenna[2])).toLatin1();
        ::sendto(fd, text.constData(), size_t(text.size()), 0, reinterpret_cast<const sockaddr *>(&peer),
                 sizeof peer);
    }

    Worker worker;
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    sockaddr_in peer{};
    quint8 antenna[3] = {0, 0, Channel2Position};
    std::atomic<quint16> boundPort{0};
    std::atomic<long long> frameCount{0};
    std::atomic<qint64> lastFrame{0};
    std::atomic<long long> requestCount{0};
    std::atomic<qint64> lastRequest{0};
    std::atomic<qint64> requestGap{0};
    std::atomic<qint64> lastMoveSent{0};
};

// The remote clients, all on one thread of their own: WebSockets and event streams that
// timestamp what arrives, and HTTP commands as curl sends them (one connection each).
class RemoteClients
{
public:
    struct Arrival
    {
        int client;
        int antenna; // channel 1's antenna number in the state message; 0 for none
        qint64 us;
    };
    struct Command
    {
        qint64 startUs = 0;
        qint64 doneUs = 0;
        int status = 0; // the HTTP status; -1 when the connection failed
    };

    explicit RemoteClients(quint16 serverPort)
        : worker(QStringLiteral("BenchClients"))
        , port(serverPort)
    {}
    // Every socket goes first, on its thread, while what their handlers use is still whole.
    ~RemoteClients()
    {
        worker.run([this] { qDeleteAll(worker.object()->children()); }, true);
    }
    RemoteClients(const RemoteClients &) = delete;
    RemoteClients &operator=(const RemoteClients &) = delete;

    qint64 threadId() const { return worker.threadId(); }
    int open() const { return openCount.load(); }
    long long messages() const { return messageCount.load(); }

    void openWebSockets(int n)
    {
        worker.run([this, n] {
            const QUrl url(QStringLiteral("ws://127.0.0.1:%1/api/v1/ws").arg(port));
            for (int i = 0; i < n; ++i) {
                auto *socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, worker.object());
                webSockets.push_back(socket);
                QObject::connect(socket, &QWebSocket::connected, socket, [this] { openCount.fetch_add(1); });
                QObject::connect(socket, &QWebSocket::textMessageReceived, socket,
                                 [this, i](const QString &text) { take(i, text); });
                socket->open(url);
            }
        });
    }

    void openEventStreams(int n)
    {
        worker.run([this, n] {
            for (int i = 0; i < n; ++i) {
                auto *socket = new QTcpSocket(worker.object());
                streams.push_back(socket);
                const QByteArray request = "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                    + "\r\nAccept: text/event-stream\r\n\r\n";
                QObject::connect(socket, &QTcpSocket::connected, socket,
                                 [socket, request] { socket->write(request); });
                auto started = std::make_shared<bool>(false);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, started] {
                    const QByteArray data = socket->readAll();
                    if (!*started && data.startsWith("HTTP/1.1 200")) {
                        *started = true;
                        openCount.fetch_add(1);
                    }
                    messageCount.fetch_add(data.count("event: state"));
                });
                socket->connectToHost(QHostAddress::LocalHost, port);
            }
        });
    }

    // Closes every WebSocket and stream; returns when the thread has done so.
    void closeAll()
    {
        worker.run(
            [this] {
                for (QWebSocket *socket : webSockets) {
                    socket->close();
                    socket->deleteLater();
                }
                for (QTcpSocket *socket : streams) {
                    socket->disconnectFromHost();
                    socket->deleteLater();
                }
                webSockets.clear();
                streams.clear();
                openCount.store(0);
            },
            true);
    }

    // PUT /api/v1/channels/{channel}/antenna {"antenna": n} on a new connection; the
    // outcome is commandAt(index), index being commandCount() before the call.
    void sendCommand(int channel, int antenna)
    {
        worker.run([this, channel, antenna] {
            int index = 0;
            {
                QMutexLocker lock(&mutex);
                index = int(commands.size());
                commands.push_back(Command{});
            }
            const QByteArray body = "{\"antenna\": " + QByteArray::number(antenna) + "}";
            const QByteArray request = "PUT /api/v1/channels/" + QByteArray::number(channel)
                + "/antenna HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\nConnection: close\r\n\r\n" + body;
            auto *socket = new QTcpSocket(worker.object());
            auto received = std::make_shared<QByteArray>();
            const auto finish = [this, index, socket](int status) {
                {
                    QMutexLocker lock(&mutex);
                    Command &c = commands[size_t(index)];
                    if (c.status != 0)
                        return;
                    c.status = status;
                    c.doneUs = nowUs();
                }
                // May report the closing at once: outside the lock.
                socket->disconnectFromHost();
                socket->deleteLater();
            };
            QObject::connect(socket, &QTcpSocket::connected, socket, [socket, request] { socket->write(request); });
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, received, finish] {
                received->append(socket->readAll());
                // The answer is whole when its headers and Content-Length bytes are in.
                const int end = received->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QByteArray head = received->left(end).toLower();
                const int at = head.indexOf("\r\ncontent-length:");
                const int length =
                    at < 0 ? 0 : head.mid(at + 17, head.indexOf("\r\n", at + 2) - at - 17).trimmed().toInt();
                if (received->size() - end - 4 < length)
                    return;
                finish(received->mid(9, 3).toInt());
            });
            QObject::connect(socket, &QAbstractSocket::errorOccurred, socket, [finish] { finish(-1); });
            {
                QMutexLocker lock(&mutex);
                commands[size_t(index)].startUs = nowUs();
            }
            socket->connectToHost(QHostAddress::LocalHost, port);
        });
    }

    int commandCount() const
    {
        QMutexLocker lock(&mutex);
        return int(commands.size());
    }
    Command commandAt(int index) const
    {
        QMutexLocker lock(&mutex);
        return index < int(commands.size()) ? commands[size_t(index)] : Command{};
    }

    size_t arrivalCount() const
    {
        QMutexLocker lock(&mutex);
        return arrivals.size();
    }
    std::vector<Arrival> arrivalsFrom(size_t mark) const
    {
        QMutexLocker lock(&mutex);
        return mark < arrivals.size() ? std::vector<Arrival>(arrivals.begin() + long(mark), arrivals.end())
                                      : std::vector<Arrival>();
    }

private:
    void take(int client, const QString &text)
    {
        const qint64 arrived = nowUs();
        messageCount.fetch_add(1);
        const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
        if (message.value(QLatin1String("type")).toString() != QLatin1String("state"))
            return;
        const QJsonValue antenna = message.value(QLatin1String("state"))
                                       .toObject()
                                       .value(QLatin1String("channels"))
                                       .toArray()
                                       .at(0)
                                       .toObject()
                                       .value(QLatin1String("antenna"));
        QMutexLocker lock(&mutex);
        arrivals.push_back(Arrival{client, antenna.isDouble() ? antenna.toInt() : 0, arrived});
    }

    Worker worker;
    const quint16 port;
    std::vector<QWebSocket *> webSockets;
    std::vector<QTcpSocket *> streams;
    std::atomic<int> openCount{0};
    std::atomic<long long> messageCount{0};
    mutable QMutex mutex;
    std::vector<Command> commands;
    std::vector<Arrival> arrivals;
};

// The time of the first paint a widget receives after arm().
class PaintStamp : public QObject
{
public:
    void arm() { paintedUs = 0; }
    qint64 painted() const { return paintedUs; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && paintedUs == 0)
            paintedUs = nowUs();
        return false;
    }

private:
    qint64 paintedUs = 0;
};

QString msPair(const Report::Summary &s)
{
    return QStringLiteral("%1 / %2").arg(Report::number(s.median, 2), Report::number(s.p99, 2));
}

struct Bench
{
    FakeBox box;
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> polling;
    std::unique_ptr<RemoteServer> server;
    std::unique_ptr<RemoteClients> clients;
    // The broker path: the broker, the station's bridge to it, and the bench's own client.
    std::unique_ptr<Broker::Process> broker;
    std::unique_ptr<MqttBridge> bridge;
    std::unique_ptr<Broker::Client> mqtt;
    QString base;

    ~Bench()
    {
        // Clients first, then the bridge, the broker, the server, the polling thread and the
        // window; the box last.
        mqtt.reset();
        clients.reset();
        bridge.reset();
        broker.reset();
        server.reset();
        polling.reset();
        window.reset();
    }

    enum class Face { Api, Broker };

    // The panel on LAN against the box, and the face whose path is measured beside the key
    // press: the remote server and its clients, or the broker, the bridge and a client.
    QString start(Face face)
    {
        if (box.port() == 0)
            return QStringLiteral("the box cannot bind %1").arg(BenchSupport::boxAddress());
        const QString ini = dir.filePath(QStringLiteral("settings.ini"));
        if (!dir.isValid() || !BenchSupport::writeSettings(ini, false, QString::number(box.port())))
            return QStringLiteral("cannot write the settings file");
        window = std::make_unique<MainWindow>(ini, QList<SerialPortDescription>{});
        window->show();
        if (!BenchSupport::waitForFirstFrame(window.get(), 5000))
            return QStringLiteral("the window was never exposed");
        qRegisterMetaType<MainWindow *>("MainWindow*");
        polling = std::make_unique<ThreadLeitura>(window.get());
        window->connectToBox();
        if (!BenchSupport::waitUntil([this] { return window->station().linkStatus().boxAnswering; }, 10000))
            return QStringLiteral("the panel never heard the box");
        const QString faceError = face == Face::Api ? startServer() : startBroker();
        if (!faceError.isEmpty())
            return faceError;
        QApplication::setActiveWindow(window.get());
        if (!BenchSupport::waitUntil([this] { return window->isActiveWindow(); }, 5000))
            return QStringLiteral("the window never became active");
        return QString();
    }

    QString startServer()
    {
        server = std::make_unique<RemoteServer>(window->station());
        PanelSettings::Remote remote;
        remote.mode = PanelSettings::Remote::Mode::Local;
        remote.port = 0;
        if (!server->apply(remote))
            return QStringLiteral("the server does not listen: %1").arg(server->errorString());
        clients = std::make_unique<RemoteClients>(server->port());
        return QString();
    }

    QString startBroker()
    {
        broker = std::make_unique<Broker::Process>();
        const QString brokerError = broker->start(WaitMs);
        if (!brokerError.isEmpty())
            return brokerError;
        bridge = std::make_unique<MqttBridge>(window->station());
        PanelSettings::Mqtt settings;
        settings.on = true;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker->port();
        bridge->apply(settings);
        if (!BenchSupport::waitUntil([this] { return bridge->status() == MqttBridge::Status::Connected; }, 10000))
            return QStringLiteral("the bridge did not connect to the broker on port %1").arg(broker->port());
        base = bridge->base();
        mqtt = std::make_unique<Broker::Client>();
        const QString clientError = mqtt->start(
            broker->port(), {base + QStringLiteral("/channel/1/antenna"), base + QStringLiteral("/state"),
                             base + QStringLiteral("/result")});
        if (!clientError.isEmpty())
            return clientError;
        // Subscribed, and the station's retained antenna handed over: the bridge has said
        // its state.
        if (!BenchSupport::waitUntil(
                [this] {
                    if (!mqtt->subscribed())
                        return false;
                    for (const Broker::Client::Arrival &a : mqtt->arrivalsFrom(0))
                        if (a.topic.endsWith("/channel/1/antenna"))
                            return true;
                    return false;
                },
                10000))
            return QStringLiteral("the client never had %1/channel/1/antenna from the broker").arg(base);
        return QString();
    }

    int antenna1() const { return window->deviceState().antenna[1]; }
};

// The status a command's answer on <base>/result carries (0 when it is not one).
int resultStatus(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object().value(QLatin1String("status")).toInt();
}

// 1. A command through the API, or on the broker, and from a key press, each to its frame
// at the box.
QList<Report::Row> commands(Bench &bench, const Options &options, Bench::Face face)
{
    const bool broker = face == Bench::Face::Broker;
    const QByteArray commandTopic = (bench.base + QStringLiteral("/channel/1/antenna/set")).toUtf8();
    const QByteArray resultTopic = (bench.base + QStringLiteral("/result")).toUtf8();
    // The path beside the key press: the API or the broker.
    QVector<double> other, key, otherDoor, keyDoor;
    // The same without the commands held behind a state request or given unspaced.
    QVector<double> otherClear, keyClear;
    int lost = 0, refused = 0, unspaced = 0;
    // When the station's door took the latest command, on the GUI thread.
    qint64 doorUs = 0;
    const QMetaObject::Connection door = QObject::connect(
        &bench.window->station(), &Station::commandDone, bench.window.get(),
        [&doorUs](const Station::Origin &, int, const Station::Result &) { doorUs = nowUs(); });
    // Commands whose frame came after a state request the box had after the command was
    // given: held for the spacing behind it, by path (key press, the other).
    int held[2] = {0, 0};
    QString refusedStatuses;
    const ThreadCOM *lan = bench.window->lanLink();
    // The LAN worker sends no two datagrams closer than its spacing (90 ms): a command
    // given just after a state request waits up to that long, whichever path it came by.
    // The panel asks for the state on every other tick of its polling thread, 160 ms
    // apart, unless a command held the request back. Each command is given 92 to 130 ms
    // after a state request that came on its tick (160 ms after the one before), with
    // nothing queued: the spacing is over and the next request 30 ms or more away, so
    // that what is timed is the path itself.
    const qint64 spacingUs = ThreadCOM::SpacingMs * 1000;
    const auto spacingOver = [&] {
        const qint64 since = nowUs() - bench.box.lastRequestUs();
        const qint64 gap = bench.box.requestGapUs();
        return since >= spacingUs + 2000 && since <= spacingUs + 40000 && gap >= 150000 && gap <= 170000
            && bench.box.lastFrameUs() < bench.box.lastRequestUs() && lan->pendingDatagrams() == 0;
    };
    for (int i = 0; i < 2 * options.commands; ++i) {
        const bool throughOther = i % 2 == 1;
        const bool spaced = BenchSupport::waitUntil(spacingOver, WaitMs);
        if (!spaced)
            ++unspaced;
        // Channel 1 between Ant 1 and Ant 2: every command changes something.
        const int next = bench.antenna1() == 0 ? 1 : 0;
        const long long framesBefore = bench.box.frames();
        const int index = broker ? 0 : bench.clients->commandCount();
        const size_t resultMark = broker ? bench.mqtt->arrivalCount() : 0;
        qint64 startUs = 0;
        doorUs = 0;
        if (throughOther && broker) {
            startUs = nowUs();
            if (!bench.mqtt->publish(commandTopic, QByteArray::number(next + 1)))
                startUs = 0;
        } else if (throughOther) {
            bench.clients->sendCommand(1, next + 1);
        } else {
            startUs = nowUs();
            QTest::keyClick(bench.window.get(), Qt::Key(Qt::Key_1 + next));
        }
        const bool arrived = BenchSupport::waitUntil([&] { return bench.box.frames() > framesBefore; }, WaitMs);
        if (throughOther && broker) {
            // Its answer on <base>/result must say 200.
            int status = 0;
            BenchSupport::waitUntil(
                [&] {
                    for (const Broker::Client::Arrival &a : bench.mqtt->arrivalsFrom(resultMark))
                        if (a.topic == resultTopic) {
                            status = resultStatus(a.payload);
                            return true;
                        }
                    return false;
                },
                WaitMs);
            if (status != 200) {
                ++refused;
                if (!refusedStatuses.contains(QString::number(status)))
                    refusedStatuses += QStringLiteral(" %1").arg(status);
            }
        } else if (throughOther) {
            BenchSupport::waitUntil([&] { return bench.clients->commandAt(index).status != 0; }, WaitMs);
            const RemoteClients::Command c = bench.clients->commandAt(index);
            startUs = c.startUs;
            if (c.status != 200) {
                ++refused;
                if (!refusedStatuses.contains(QString::number(c.status)))
                    refusedStatuses += QStringLiteral(" %1").arg(c.status);
            }
        }
        if (!arrived || startUs == 0) {
            ++lost;
        } else {
            const qint64 framed = bench.box.lastFrameUs();
            const qint64 request = bench.box.lastRequestUs();
            const bool heldBack = request > startUs && request < framed;
            if (heldBack)
                ++held[throughOther ? 1 : 0];
            (throughOther ? other : key) << ms(framed - startUs);
            if (spaced && !heldBack)
                (throughOther ? otherClear : keyClear) << ms(framed - startUs);
            if (doorUs != 0)
                (throughOther ? otherDoor : keyDoor) << ms(doorUs - startUs);
        }
        // The box says its new state at once; the next command starts from it.
        BenchSupport::waitUntil([&] { return bench.antenna1() == next; }, WaitMs);
        BenchSupport::runEventLoop(CommandSpacingMs);
    }
    QObject::disconnect(door);
    const Report::Summary a = Report::summarize(other);
    const Report::Summary k = Report::summarize(key);
    const QString otherName = broker ? QStringLiteral("broker") : QStringLiteral("API");
    Report::print(QStringLiteral("### A command to its frame at the box"));
    Report::print();
    Report::print(QStringLiteral(
        "| Path | commands | median ms | p95 ms | p99 ms | max ms | held behind a state request "
        "| to commandDone: median / p99 ms |"));
    Report::print(QStringLiteral("|---|---:|---:|---:|---:|---:|---:|---:|"));
    const std::tuple<QString, Report::Summary, int, Report::Summary> paths[] = {
        {QStringLiteral("key press on the panel"), k, held[0], Report::summarize(keyDoor)},
        {broker ? QStringLiteral("publish on %1 (QoS 1)").arg(QString::fromUtf8(commandTopic))
                : QStringLiteral("PUT through the API (new connection)"),
         a, held[1], Report::summarize(otherDoor)},
    };
    for (const auto &[name, s, heldBack, toDoor] : paths) {
        Report::print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |")
                          .arg(name)
                          .arg(s.count)
                          .arg(Report::number(s.median, 2), Report::number(s.p95, 2), Report::number(s.p99, 2),
                               Report::number(s.max, 2))
                          .arg(heldBack)
                          .arg(msPair(toDoor)));
    }
    const double added = a.p99 - k.p99;
    Report::print(QStringLiteral("%1 p99 - key press p99: %2 ms; %3 commands given without waiting out the LAN "
                                 "spacing; %4 without a frame at the box, %5 %6 commands not answered 200%7")
                      .arg(otherName.at(0).toUpper() + otherName.mid(1))
                      .arg(Report::number(added, 2))
                      .arg(unspaced)
                      .arg(lost)
                      .arg(refused)
                      .arg(otherName)
                      .arg(refusedStatuses.isEmpty() ? QString() : QStringLiteral(" (status%1)").arg(refusedStatuses)));
    const Report::Summary aClear = Report::summarize(otherClear);
    const Report::Summary kClear = Report::summarize(keyClear);
    Report::print(QStringLiteral("Without the commands held behind a state request or given unspaced (%1 key presses, "
                                 "%2 %3 commands left): p99 %4 ms (key press), %5 ms (%3), difference %6 ms.")
                      .arg(kClear.count)
                      .arg(aClear.count)
                      .arg(otherName)
                      .arg(Report::number(kClear.p99, 2), Report::number(aClear.p99, 2),
                           Report::number(aClear.p99 - kClear.p99, 2)));
    Report::print();
    const bool complete = lost == 0 && refused == 0 && a.count > 0 && k.count > 0;
    const QString prefix = broker ? QStringLiteral("Broker") : QStringLiteral("Remote");
    const double goalMs = broker ? 10.0 : 5.0;
    return {
        Report::Row{prefix + QStringLiteral(": key press to its frame"), msPair(k), QStringLiteral("ms median / p99"),
                    QString(), Report::Verdict::Info},
        Report::Row{prefix + (broker ? QStringLiteral(": command on the broker to its frame")
                                     : QStringLiteral(": API command to its frame")),
                    msPair(a), QStringLiteral("ms median / p99"), QString(), Report::Verdict::Info},
        Report::Row{prefix
                        + (broker ? QStringLiteral(": command on the broker p99 - key press p99")
                                  : QStringLiteral(": API p99 - key press p99")),
                    complete ? Report::number(added, 2) : QStringLiteral("%1 lost, %2 refused").arg(lost).arg(refused),
                    QStringLiteral("ms"), QStringLiteral("≤ %1").arg(goalMs),
                    Report::verdictOf(complete && added <= goalMs)},
        Report::Row{prefix + QStringLiteral(": the same, commands neither held nor unspaced"),
                    Report::number(aClear.p99 - kClear.p99, 2), QStringLiteral("ms"), QString(),
                    Report::Verdict::Info},
    };
}

// Waits until `n` clients are open and each has had its first state message (or, for
// event streams, until they are open).
bool waitForClients(Bench &bench, int n, bool webSockets)
{
    return BenchSupport::waitUntil(
        [&] {
            if (bench.clients->open() < n)
                return false;
            if (!webSockets)
                return true;
            std::set<int> heard;
            for (const RemoteClients::Arrival &a : bench.clients->arrivalsFrom(0))
                heard.insert(a.client);
            return int(heard.size()) >= n;
        },
        5000);
}

bool closeClients(Bench &bench)
{
    bench.clients->closeAll();
    return BenchSupport::waitUntil([&] { return bench.server->streamCount() == 0; }, 5000);
}

// 2. The box moves channel 1; the panel repaints the button; the 8 clients get the state.
QList<Report::Row> stateMessages(Bench &bench, const Options &options)
{
    // Ant 3 and Ant 4 of channel 1 by turns: away from where the commands left it.
    PaintStamp stamps[2];
    QAbstractButton *buttons[2] = {};
    for (int i = 0; i < 2; ++i) {
        buttons[i] = bench.window->findChild<QAbstractButton *>(QStringLiteral("botaoTecla%1C1").arg(3 + i));
        if (!buttons[i])
            return {Report::Row{QStringLiteral("Remote: state message at 8 clients"),
                                QStringLiteral("panel buttons not found"), QString(), QString(),
                                Report::Verdict::Missed}};
        buttons[i]->installEventFilter(&stamps[i]);
    }
    QVector<double> lastAfterRepaint, firstAfterRepaint, repaintAfterBox;
    int missing = 0;
    for (int k = 0; k < options.changes; ++k) {
        const int which = k % 2;
        const int position = 2 + which;
        const qint64 changeStart = nowUs();
        stamps[which].arm();
        const size_t mark = bench.clients->arrivalCount();
        qint64 last = 0, first = 0;
        const auto allArrived = [&] {
            std::set<int> heard;
            last = 0;
            first = 0;
            for (const RemoteClients::Arrival &a : bench.clients->arrivalsFrom(mark)) {
                if (a.antenna != position + 1 || heard.count(a.client))
                    continue;
                heard.insert(a.client);
                last = std::max(last, a.us);
                first = first == 0 ? a.us : std::min(first, a.us);
            }
            return int(heard.size()) == Clients && stamps[which].painted() != 0;
        };
        bench.box.move(position);
        if (!BenchSupport::waitUntil(allArrived, WaitMs)) {
            ++missing;
        } else {
            const qint64 painted = stamps[which].painted();
            lastAfterRepaint << ms(last - painted);
            firstAfterRepaint << ms(first - painted);
            repaintAfterBox << ms(painted - changeStart);
        }
        // Counted from the last message, not from the change: a change that came late must
        // not bring the next one within the pacing of the clients' messages.
        BenchSupport::runEventLoop(ChangeSpacingMs);
    }
    for (int i = 0; i < 2; ++i)
        buttons[i]->removeEventFilter(&stamps[i]);

    const Report::Summary last = Report::summarize(lastAfterRepaint);
    const Report::Summary first = Report::summarize(firstAfterRepaint);
    const Report::Summary repaint = Report::summarize(repaintAfterBox);
    Report::print(QStringLiteral("### The box's change to the state message at %1 WebSocket clients").arg(Clients));
    Report::print();
    Report::print(QStringLiteral("| Interval | changes | median ms | p95 ms | p99 ms | max ms |"));
    Report::print(QStringLiteral("|---|---:|---:|---:|---:|---:|"));
    const std::pair<QString, Report::Summary> lines[] = {
        {QStringLiteral("box's status sent -> button's paint"), repaint},
        {QStringLiteral("button's paint -> first client's message"), first},
        {QStringLiteral("button's paint -> last client's message"), last},
    };
    for (const auto &[name, s] : lines) {
        Report::print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                          .arg(name)
                          .arg(s.count)
                          .arg(Report::number(s.median, 2), Report::number(s.p95, 2), Report::number(s.p99, 2),
                               Report::number(s.max, 2)));
    }
    Report::print(QStringLiteral("%1 of %2 changes did not reach every client (or the paint) within %3 s.")
                      .arg(missing)
                      .arg(options.changes)
                      .arg(WaitMs / 1000));
    Report::print();
    const bool complete = missing == 0 && last.count > 0;
    return {Report::Row{QStringLiteral("Remote: state message at %1 clients, last client - panel repaint").arg(Clients),
                        complete ? msPair(last) : QStringLiteral("%1 changes missing").arg(missing),
                        QStringLiteral("ms median / p99"), QStringLiteral("p99 ≤ 10"),
                        Report::verdictOf(complete && last.p99 <= 10.0)}};
}

// Channel 1's antenna number in a state JSON (0 for none or not one).
int stateAntenna(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload)
        .object()
        .value(QLatin1String("channels"))
        .toArray()
        .at(0)
        .toObject()
        .value(QLatin1String("antenna"))
        .toInt();
}

// 2. The box moves channel 1; the bridge says so on the broker; the client has it.
QList<Report::Row> brokerStateMessages(Bench &bench, const Options &options)
{
    const QStringList texts = MqttTopics::optionTexts(bench.window->station());
    const QByteArray antennaTopic = (bench.base + QStringLiteral("/channel/1/antenna")).toUtf8();
    const QByteArray stateTopic = (bench.base + QStringLiteral("/state")).toUtf8();
    QVector<double> toAntenna, toState;
    int missing = 0;
    for (int k = 0; k < options.changes; ++k) {
        // Ant 3 and Ant 4 of channel 1 by turns: away from where the commands left it.
        const int position = 2 + k % 2;
        const QByteArray text = texts.value(position).toUtf8();
        const size_t mark = bench.mqtt->arrivalCount();
        const qint64 sentBefore = bench.box.lastMoveSentUs();
        qint64 antennaUs = 0, stateUs = 0;
        const auto bothArrived = [&] {
            for (const Broker::Client::Arrival &a : bench.mqtt->arrivalsFrom(mark)) {
                if (antennaUs == 0 && a.topic == antennaTopic && a.payload == text)
                    antennaUs = a.us;
                else if (stateUs == 0 && a.topic == stateTopic && stateAntenna(a.payload) == position + 1)
                    stateUs = a.us;
            }
            return antennaUs != 0 && stateUs != 0 && bench.box.lastMoveSentUs() != sentBefore;
        };
        bench.box.move(position);
        if (!BenchSupport::waitUntil(bothArrived, WaitMs)) {
            ++missing;
        } else {
            const qint64 sent = bench.box.lastMoveSentUs();
            toAntenna << ms(antennaUs - sent);
            toState << ms(stateUs - sent);
        }
        // The panel has it too before the next change.
        BenchSupport::waitUntil([&] { return bench.antenna1() == position; }, WaitMs);
        BenchSupport::runEventLoop(ChangeSpacingMs);
    }
    const Report::Summary antenna = Report::summarize(toAntenna);
    const Report::Summary state = Report::summarize(toState);
    Report::print(QStringLiteral("### The box's change to the state message on the broker"));
    Report::print();
    Report::print(QStringLiteral("| Interval | changes | median ms | p95 ms | p99 ms | max ms |"));
    Report::print(QStringLiteral("|---|---:|---:|---:|---:|---:|"));
    const std::pair<QString, Report::Summary> lines[] = {
        {QStringLiteral("box's status sent -> %1 at the client").arg(QString::fromUtf8(antennaTopic)), antenna},
        {QStringLiteral("box's status sent -> %1 at the client").arg(QString::fromUtf8(stateTopic)), state},
    };
    for (const auto &[name, s] : lines) {
        Report::print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                          .arg(name)
                          .arg(s.count)
                          .arg(Report::number(s.median, 2), Report::number(s.p95, 2), Report::number(s.p99, 2),
                               Report::number(s.max, 2)));
    }
    Report::print(QStringLiteral("%1 of %2 changes did not reach the client on both topics within %3 s.")
                      .arg(missing)
                      .arg(options.changes)
                      .arg(WaitMs / 1000));
    Report::print();
    const bool complete = missing == 0 && antenna.count > 0;
    return {
        Report::Row{QStringLiteral("Broker: box's status to channel/1/antenna at the client"),
                    complete ? msPair(antenna) : QStringLiteral("%1 changes missing").arg(missing),
                    QStringLiteral("ms median / p99"), QString(),
                    complete ? Report::Verdict::Info : Report::Verdict::Missed},
        Report::Row{QStringLiteral("Broker: box's status to state at the client"),
                    complete ? msPair(state) : QStringLiteral("%1 changes missing").arg(missing),
                    QStringLiteral("ms median / p99"), QString(),
                    complete ? Report::Verdict::Info : Report::Verdict::Missed},
    };
}

struct Window
{
    double cpuMsPerS = -1;
    double requestsPerS = 0;
    double messagesPerS = 0;
    QString threads;
};

// The CPU of every thread of this process but the clients' and the box's over one window.
Window cpuWindow(Bench &bench, int seconds)
{
    const qint64 pid = QCoreApplication::applicationPid();
    const std::set<qint64> excluded = {bench.clients->threadId(), bench.box.threadId()};
    const QMap<qint64, ProcThreads::Use> before = ProcThreads::snapshot(pid);
    const long long requestsBefore = bench.box.requests();
    const long long messagesBefore = bench.clients->messages();
    const qint64 start = BenchSupport::monotonicNs();
    BenchSupport::runEventLoop(seconds * 1000);
    const double elapsed = double(BenchSupport::monotonicNs() - start) / 1e9;
    const QMap<qint64, ProcThreads::Use> after = ProcThreads::snapshot(pid);
    Window w;
    if (after.isEmpty() || elapsed <= 0)
        return w;
    qint64 total = 0;
    QMap<QString, qint64> byName;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (excluded.count(it.key()))
            continue;
        const qint64 used = it.value().cpuNs - before.value(it.key()).cpuNs;
        total += used;
        byName[it.value().name] += used;
    }
    w.cpuMsPerS = double(total) / 1e6 / elapsed;
    w.requestsPerS = double(bench.box.requests() - requestsBefore) / elapsed;
    w.messagesPerS = double(bench.clients->messages() - messagesBefore) / elapsed;
    QStringList parts;
    for (auto it = byName.cbegin(); it != byName.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.key(), Report::number(double(it.value()) / 1e6 / elapsed, 2));
    w.threads = parts.join(QStringLiteral(", "));
    return w;
}

QString ratioText(double part, double whole) { return whole > 0 ? Report::number(part / whole, 3) : QStringLiteral("-"); }
} // namespace

QList<Report::Row> run(const Options &options)
{
    using Report::print;
    print(QStringLiteral("## Remote control on the shown panel"));
    print();
    print(QStringLiteral("One process: the panel (MainWindow, its station, the polling thread) on LAN against a box "
                         "of the benchmark's own on %1 (its own thread), the remote server on 127.0.0.1 on the "
                         "station's thread, and the clients on a thread of their own. Times on the steady clock.")
              .arg(BenchSupport::boxAddress()));
    print();
    QList<Report::Row> rows;
    Bench bench;
    const QString error = bench.start(Bench::Face::Api);
    if (!error.isEmpty()) {
        print(QStringLiteral("Not measured: %1.").arg(error));
        rows << Report::Row{QStringLiteral("Remote control"), QStringLiteral("failed"), QString(), QString(),
                            Report::Verdict::Missed};
        return rows;
    }

    rows << commands(bench, options, Bench::Face::Api);

    // 3 (with 2 inside): CPU with no client, 8 WebSockets, 8 event streams, then none again.
    enum class Kind { None, WebSockets, EventStreams };
    struct Condition
    {
        Kind kind;
        QString name;
        Window window;
    };
    QVector<Condition> conditions = {
        {Kind::None, QStringLiteral("no client"), {}},
        {Kind::WebSockets, QStringLiteral("%1 idle WebSocket clients").arg(Clients), {}},
        {Kind::EventStreams, QStringLiteral("%1 idle event streams").arg(Clients), {}},
        {Kind::None, QStringLiteral("no client, again"), {}},
    };
    bool clientsFailed = false;
    for (Condition &c : conditions) {
        if (c.kind == Kind::WebSockets)
            bench.clients->openWebSockets(Clients);
        else if (c.kind == Kind::EventStreams)
            bench.clients->openEventStreams(Clients);
        if (c.kind != Kind::None && !waitForClients(bench, Clients, c.kind == Kind::WebSockets)) {
            print(QStringLiteral("%1: only %2 of %3 connected (the server has %4 streams)")
                      .arg(c.name)
                      .arg(bench.clients->open())
                      .arg(Clients)
                      .arg(bench.server->streamCount()));
            clientsFailed = true;
            closeClients(bench);
            continue;
        }
        BenchSupport::runEventLoop(SettleMs);
        c.window = cpuWindow(bench, options.seconds);
        // With the WebSockets still open: the state messages, after the idle window.
        if (c.kind == Kind::WebSockets)
            rows << stateMessages(bench, options);
        if (c.kind != Kind::None && !closeClients(bench))
            print(QStringLiteral("%1: the server still counts %2 streams after the clients left")
                      .arg(c.name)
                      .arg(bench.server->streamCount()));
    }

    print(QStringLiteral("### Polling CPU of the panel's threads, %1 s per window").arg(options.seconds));
    print();
    print(QStringLiteral("All threads of this process but the clients' and the box's (/proc/self/task/*/schedstat). "
                         "The two windows without a client show what the machine alone moves a figure."));
    print();
    print(QStringLiteral("| Clients | CPU ms/s | state requests/s | messages to the clients/s | per thread ms/s |"));
    print(QStringLiteral("|---|---:|---:|---:|---|"));
    for (const Condition &c : conditions) {
        print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                  .arg(c.name, c.window.cpuMsPerS < 0 ? QStringLiteral("-") : Report::number(c.window.cpuMsPerS, 2),
                       Report::number(c.window.requestsPerS, 1), Report::number(c.window.messagesPerS, 1),
                       c.window.threads));
    }
    const double none = (conditions[0].window.cpuMsPerS + conditions[3].window.cpuMsPerS) / 2;
    print(QStringLiteral("no client, again ÷ no client: %1")
              .arg(ratioText(conditions[3].window.cpuMsPerS, conditions[0].window.cpuMsPerS)));
    print();
    const bool noneMeasured = conditions[0].window.cpuMsPerS > 0 && conditions[3].window.cpuMsPerS > 0;
    for (int i : {1, 2}) {
        const Window &w = conditions[i].window;
        const bool measured = noneMeasured && w.cpuMsPerS >= 0;
        rows << Report::Row{QStringLiteral("Remote: polling CPU, %1 ÷ none").arg(conditions[i].name),
                            measured ? ratioText(w.cpuMsPerS, none) : QStringLiteral("not measured"),
                            QStringLiteral("x"), QStringLiteral("≤ 1.05"),
                            Report::verdictOf(measured && w.cpuMsPerS / none <= 1.05)};
    }
    if (clientsFailed && !rows.isEmpty())
        rows << Report::Row{QStringLiteral("Remote: clients connected"), QStringLiteral("no"), QString(), QString(),
                            Report::Verdict::Missed};
    return rows;
}

QList<Report::Row> runMqtt(const Options &options)
{
    using Report::print;
    print(QStringLiteral("## The broker path on the shown panel"));
    print();
    print(QStringLiteral("One process: the panel (MainWindow, its station, the polling thread) on LAN against a box "
                         "of the benchmark's own on %1 (its own thread), the station's MQTT bridge on the station's "
                         "thread, a mosquitto broker of its own on a free port of 127.0.0.1, and a client of the "
                         "broker on libmosquitto's network thread. Times on the steady clock.")
              .arg(BenchSupport::boxAddress()));
    print();
    Bench bench;
    const QString error = bench.start(Bench::Face::Broker);
    if (!error.isEmpty()) {
        print(QStringLiteral("Not measured: %1.").arg(error));
        return {Report::Row{QStringLiteral("Broker path"), QStringLiteral("not measured"), QString(), QString(),
                            Report::Verdict::Missed}};
    }
    print(QStringLiteral("Broker on 127.0.0.1:%1, topics under %2.").arg(bench.broker->port()).arg(bench.base));
    print();
    QList<Report::Row> rows = commands(bench, options, Bench::Face::Broker);
    rows << brokerStateMessages(bench, options);
    return rows;
}

} // namespace RemoteBench
