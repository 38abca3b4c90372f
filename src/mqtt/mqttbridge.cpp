// How libmosquitto is driven: from the station's own event loop, with no thread of its own.
// The bridge's whole work is small (a few messages a second at most) and every command it
// takes must go through the station's door on the station's thread; a network thread would
// only add a queue in each direction and a second owner of the client. So:
// - mosquitto_connect_async() starts a non-blocking connect. For a literal address (the
//   default 127.0.0.1, or any IPv4/IPv6 address) nothing blocks; for a host name the
//   library resolves the name inside that call, which may block for as long as the system's
//   resolver takes (the panel stalls then, once per attempt): give the broker by address
//   where that matters.
// - The client's socket is watched with QSocketNotifier: reading always, writing only while
//   mosquitto_want_write() says something waits to be sent (or the connect is pending).
// - mosquitto_loop_misc() (the keepalive's pings) runs on a 1 s timer.
// - The library's callbacks run inside mosquitto_loop_read()/loop_write() on this thread.
//   They only note what happened; the bridge acts on it from a queued call once the library
//   has returned, so that nothing (a command's station signals, a listener that deletes the
//   bridge on statusChanged) reenters the library or frees it under its own feet.
// - Broker gone, refused or wrong credentials: the socket is closed and a QTimer tries again
//   after 1, 2, 4, ... up to 30 s. An attempt that hears no answer within 10 s counts as
//   unreachable.
// - Leaving a broker (switched off, moved, or the bridge destroyed) is the one wait: the last
//   messages and the disconnect are flushed with mosquitto_loop(), bounded by half a second.

#include "mqttbridge.h"

#include "mqtttopics.h"
#include "remote/remoteerror.h"
#include "station/station.h"

#include <mosquitto.h>

#include <QElapsedTimer>
#include <QHash>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <deque>

namespace {

// libmosquitto's process-wide set-up, once, before the first client.
void initLibrary()
{
    static const int once = [] { return mosquitto_lib_init(); }();
    Q_UNUSED(once)
}

constexpr int KeepaliveSeconds = 30;
constexpr int ConnectPatienceMs = 10000;
constexpr int FlushMs = 500;

QString refusalReason(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("unacceptable protocol version");
    case 2:
        return QStringLiteral("client identifier rejected");
    case 3:
        return QStringLiteral("server unavailable");
    case 4:
        return QStringLiteral("bad user name or password");
    case 5:
        return QStringLiteral("not authorised");
    default:
        return QStringLiteral("code %1").arg(code);
    }
}

// The node in the client id, as in the discovery's: the slug for the base made from the ID,
// else the base with every character but ASCII letters, digits, '-' and '_' as '_'.
QString nodeOf(const QString &base, const QString &id)
{
    const QString slug = MqttTopics::slug(id);
    if (base == QStringLiteral("zorvik/") + slug)
        return slug;
    QString node = base;
    for (QChar &c : node) {
        const ushort u = c.unicode();
        const bool kept =
            (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (!kept)
            c = QLatin1Char('_');
    }
    return node;
}

bool sameConnection(const PanelSettings::Mqtt &a, const PanelSettings::Mqtt &b)
{
    return a.on == b.on && a.host == b.host && a.port == b.port && a.user == b.user && a.password == b.password;
}

} // namespace

class MqttBridge::Private
{
public:
    struct Event
    {
        enum Kind { Connected, Disconnected, Message } kind;
        int code = 0;
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
    };

    Private(MqttBridge &owner, Station &s)
        : q(owner)
        , station(s)
    {
        misc.setInterval(1000);
        QObject::connect(&misc, &QTimer::timeout, &q, [this] {
            if (client)
                mosquitto_loop_misc(client);
            afterLoop();
        });
        retry.setSingleShot(true);
        QObject::connect(&retry, &QTimer::timeout, &q, [this] { connectNow(); });
        patience.setSingleShot(true);
        QObject::connect(&patience, &QTimer::timeout, &q, [this] {
            if (connecting)
                lost(QString());
        });
    }
    ~Private() { close(false); }

    // --- The client ---
    void start();
    void connectNow();
    // Publishes the discovery's removal (when `remove`) and "offline", disconnects and lets
    // the network loop flush it, bounded by FlushMs; then frees the client.
    void close(bool remove);
    void dropNotifiers();
    // After any call into the library: the socket watched as it now is, and the events the
    // callbacks noted taken up once the library has returned.
    void afterLoop();
    void takeEvents();
    void lost(const QString &refusal);

    // --- What is said ---
    void publish(const MqttTopics::Message &message);
    void publishState();
    void publishDiscovery();
    void removeDiscovery();
    // The ID changed the base the settings give: nothing is published under the old one
    // until apply() moves the bridge.
    bool behindSettings() const;
    void carryOut(const QByteArray &topic, const QByteArray &payload, bool retained);
    void setStatus(Status next, const QString &text);

    // (No user data: the client is being closed, and nothing more is wanted of it.)
    static void onConnect(mosquitto *, void *self, int code)
    {
        if (self)
            static_cast<Private *>(self)->note({Event::Connected, code, {}, {}, false});
    }
    static void onDisconnect(mosquitto *, void *self, int code)
    {
        if (self)
            static_cast<Private *>(self)->note({Event::Disconnected, code, {}, {}, false});
    }
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message)
    {
        if (self)
            static_cast<Private *>(self)->note(
                {Event::Message, 0, QByteArray(message->topic),
                 QByteArray(static_cast<const char *>(message->payload), message->payloadlen), message->retain});
    }
    static void onPublish(mosquitto *, void *self, int mid)
    {
        if (self)
            static_cast<Private *>(self)->unacknowledged.remove(mid);
    }
    void note(Event event)
    {
        // While closing, only the publishes' acknowledgements count.
        if (closing)
            return;
        events.push_back(std::move(event));
        if (!takeQueued) {
            takeQueued = true;
            QMetaObject::invokeMethod(
                &q, [this] { takeEvents(); }, Qt::QueuedConnection);
        }
    }

    MqttBridge &q;
    Station &station;
    PanelSettings::Mqtt settings;
    QString base;
    QString node;
    mosquitto *client = nullptr;
    QSocketNotifier *reader = nullptr;
    QSocketNotifier *writer = nullptr;
    int watched = -1;
    QTimer misc;
    QTimer retry;
    QTimer patience;
    int firstDelayMs = 1000;
    int maxDelayMs = 30000;
    int nextDelayMs = 1000;
    Status status = Status::Off;
    QString statusText = QStringLiteral("MQTT off");
    // An attempt is under way (connect_async called, no answer yet).
    bool connecting = false;
    // Its TCP connect has not finished: the socket turning writable says it has (or failed).
    // Only until then is writing watched for without anything to write, which would spin.
    bool socketPending = false;
    // The broker refused the attempt: its disconnect keeps the refusal's text.
    bool refused = false;
    std::deque<Event> events;
    bool closing = false;
    // The messages published while closing that the broker has not acknowledged yet.
    QSet<int> unacknowledged;
    bool takeQueued = false;
    // What was last published on each state topic, and the discovery as last published.
    QHash<QByteArray, QByteArray> published;
    QList<MqttTopics::Message> discovered;
    // What removes the entities as published, kept from then: the ID they were named after
    // may have changed since.
    QList<MqttTopics::Message> removal;
};

void MqttBridge::Private::start()
{
    initLibrary();
    base = MqttTopics::base(settings.base, station.settings().id);
    node = nodeOf(base, station.settings().id);
    const QByteArray clientId = QStringLiteral("zorvik-%1-%2")
                                    .arg(node)
                                    .arg(QRandomGenerator::global()->bounded(0x1000000), 6, 16, QLatin1Char('0'))
                                    .toUtf8();
    client = mosquitto_new(clientId.constData(), true, this);
    if (!client) {
        setStatus(Status::Unreachable,
                  QStringLiteral("MQTT: cannot reach %1:%2").arg(settings.host).arg(settings.port));
        return;
    }
    mosquitto_connect_callback_set(client, &Private::onConnect);
    mosquitto_disconnect_callback_set(client, &Private::onDisconnect);
    mosquitto_message_callback_set(client, &Private::onMessage);
    mosquitto_publish_callback_set(client, &Private::onPublish);
    const QByteArray willTopic = (base + QStringLiteral("/status")).toUtf8();
    mosquitto_will_set(client, willTopic.constData(), 7, "offline", 1, true);
    if (!settings.user.isEmpty())
        mosquitto_username_pw_set(client, settings.user.toUtf8().constData(),
                                  settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    nextDelayMs = firstDelayMs;
    // The first attempt is told; a retry leaves the last failure's text standing.
    setStatus(Status::Connecting, QStringLiteral("MQTT: connecting to %1:%2").arg(settings.host).arg(settings.port));
    connectNow();
}

void MqttBridge::Private::connectNow()
{
    if (!client)
        return;
    dropNotifiers();
    refused = false;
    connecting = true;
    socketPending = true;
    published.clear();
    const int rc = mosquitto_connect_async(client, settings.host.toUtf8().constData(), settings.port, KeepaliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(QString());
        return;
    }
    patience.start(ConnectPatienceMs);
    misc.start();
    afterLoop();
}

void MqttBridge::Private::dropNotifiers()
{
    // A notifier may be the one whose signal is running: it goes later, disabled now so that
    // a new socket on the same descriptor can be watched at once.
    for (QSocketNotifier *notifier : {reader, writer}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    reader = writer = nullptr;
    watched = -1;
}

void MqttBridge::Private::afterLoop()
{
    const int socket = client ? mosquitto_socket(client) : -1;
    if (socket != watched)
        dropNotifiers();
    if (socket >= 0 && !reader) {
        watched = socket;
        reader = new QSocketNotifier(socket, QSocketNotifier::Read, &q);
        QObject::connect(reader, &QSocketNotifier::activated, &q, [this] {
            if (client)
                mosquitto_loop_read(client, 1);
            afterLoop();
        });
        writer = new QSocketNotifier(socket, QSocketNotifier::Write, &q);
        QObject::connect(writer, &QSocketNotifier::activated, &q, [this] {
            socketPending = false;
            if (client)
                mosquitto_loop_write(client, 1);
            afterLoop();
        });
    }
    if (writer)
        writer->setEnabled(socketPending || mosquitto_want_write(client));
}

void MqttBridge::Private::takeEvents()
{
    takeQueued = false;
    while (!events.empty()) {
        const Event event = std::move(events.front());
        events.pop_front();
        switch (event.kind) {
        case Event::Connected:
            // An answer to an attempt already given up on is not taken.
            if (retry.isActive())
                break;
            connecting = false;
            if (event.code != 0) {
                // The socket closes right after; its disconnect keeps this text.
                refused = true;
                setStatus(Status::Refused,
                          QStringLiteral("MQTT: the broker refused the connection: %1").arg(refusalReason(event.code)));
                break;
            }
            patience.stop();
            nextDelayMs = firstDelayMs;
            setStatus(Status::Connected,
                      QStringLiteral("MQTT: connected to %1:%2 as %3").arg(settings.host).arg(settings.port).arg(base));
            publish({(base + QStringLiteral("/status")).toUtf8(), "online", true, 1});
            publishState();
            discovered.clear();
            if (settings.discovery)
                publishDiscovery();
            for (const QString &topic : MqttTopics::commandTopics(base))
                mosquitto_subscribe(client, nullptr, topic.toUtf8().constData(), 1);
            mosquitto_subscribe(client, nullptr, "homeassistant/status", 1);
            break;
        case Event::Disconnected:
            // (Once per attempt: a disconnect noticed after giving up on it changes nothing.)
            if (!retry.isActive())
                lost(refused ? statusText : QString());
            break;
        case Event::Message:
            if (status != Status::Connected)
                break;
            if (event.topic == "homeassistant/status") {
                if (event.payload == "online" && settings.discovery) {
                    discovered.clear();
                    publishDiscovery();
                }
                break;
            }
            carryOut(event.topic, event.payload, event.retain);
            break;
        }
        if (!client)
            break;
    }
    afterLoop();
}

void MqttBridge::Private::lost(const QString &refusal)
{
    connecting = false;
    patience.stop();
    misc.stop();
    if (client)
        mosquitto_disconnect(client);
    dropNotifiers();
    const int delay = nextDelayMs;
    nextDelayMs = qMin(nextDelayMs * 2, maxDelayMs);
    retry.start(delay);
    if (!refusal.isEmpty()) {
        setStatus(Status::Refused, refusal);
        return;
    }
    const int seconds = (delay + 999) / 1000;
    setStatus(Status::Unreachable,
              QStringLiteral("MQTT: cannot reach %1:%2; trying again in %3 s")
                  .arg(settings.host)
                  .arg(settings.port)
                  .arg(seconds));
}

void MqttBridge::Private::close(bool remove)
{
    retry.stop();
    patience.stop();
    misc.stop();
    if (!client)
        return;
    if (status == Status::Connected) {
        // Each message is waited for until the broker has it (its PUBACK read), then the
        // disconnect: a socket closed with the broker's answers unread is reset, and the
        // broker may drop what it had not read yet.
        closing = true;
        if (remove)
            removeDiscovery();
        publish({(base + QStringLiteral("/status")).toUtf8(), "offline", true, 1});
        QElapsedTimer flushing;
        flushing.start();
        while (!unacknowledged.isEmpty() && mosquitto_socket(client) >= 0 && flushing.elapsed() < FlushMs)
            mosquitto_loop(client, 20, 1);
        mosquitto_disconnect(client);
        while (mosquitto_socket(client) >= 0 && flushing.elapsed() < FlushMs)
            mosquitto_loop(client, 20, 1);
        closing = false;
        unacknowledged.clear();
    }
    dropNotifiers();
    // No callback may reach this Private any more.
    mosquitto_user_data_set(client, nullptr);
    mosquitto_destroy(client);
    client = nullptr;
    connecting = false;
    events.clear();
    discovered.clear();
    removal.clear();
    published.clear();
}

void MqttBridge::Private::removeDiscovery()
{
    for (const MqttTopics::Message &message : removal)
        publish(message);
    removal.clear();
    discovered.clear();
}

bool MqttBridge::Private::behindSettings() const
{
    return MqttTopics::base(settings.base, station.settings().id) != base;
}

void MqttBridge::Private::publish(const MqttTopics::Message &message)
{
    if (!client)
        return;
    int mid = 0;
    const int rc = mosquitto_publish(client, &mid, message.topic.constData(), int(message.payload.size()),
                                     message.payload.constData(), message.qos, message.retain);
    if (closing && rc == MOSQ_ERR_SUCCESS && message.qos > 0)
        unacknowledged.insert(mid);
}

void MqttBridge::Private::publishState()
{
    if (status != Status::Connected || behindSettings())
        return;
    for (const MqttTopics::Message &message : MqttTopics::stateMessages(station, base)) {
        const auto last = published.constFind(message.topic);
        if (last != published.constEnd() && *last == message.payload)
            continue;
        published.insert(message.topic, message.payload);
        publish(message);
    }
    afterLoop();
}

void MqttBridge::Private::publishDiscovery()
{
    if (status != Status::Connected || !settings.discovery)
        return;
    const QList<MqttTopics::Message> now = MqttTopics::discovery(station, base, QStringLiteral(ZORVIK_VERSION));
    bool same = now.size() == discovered.size();
    for (int i = 0; same && i < now.size(); ++i)
        same = now.at(i).topic == discovered.at(i).topic && now.at(i).payload == discovered.at(i).payload;
    if (same)
        return;
    discovered = now;
    removal = MqttTopics::discoveryRemoval(station, base);
    for (const MqttTopics::Message &message : now)
        publish(message);
    afterLoop();
}

void MqttBridge::Private::carryOut(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    if (retained) {
        // A command left on the broker from before: never carried out, and cleared so that it
        // is not handed over again. (The empty message itself comes back with no retain flag
        // and an empty payload: a bad request on result, and nothing switched.)
        if (!payload.isEmpty())
            publish({topic, QByteArray(), true, 1});
        return;
    }
    if (payload.isEmpty())
        return;
    const RemoteCommandReading reading = MqttTopics::command(base, topic, payload, MqttTopics::optionTexts(station));
    RemoteError error = reading.error;
    QString message = reading.message;
    if (reading.command) {
        const RemoteCommand &command = *reading.command;
        const Station::Origin origin{Station::Source::Mqtt,
                                     QStringLiteral("%1:%2").arg(settings.host).arg(settings.port)};
        message.clear();
        error = ::carryOut(station, command, origin, &message);
    }
    publish(MqttTopics::result(base, topic, error, message));
}

void MqttBridge::Private::setStatus(Status next, const QString &text)
{
    if (next == status && text == statusText)
        return;
    status = next;
    statusText = text;
    // Told from the event loop, so that a listener may even delete the bridge.
    QMetaObject::invokeMethod(
        &q, [this, next, text] { emit q.statusChanged(next, text); }, Qt::QueuedConnection);
}

// --- MqttBridge ------------------------------------------------------------------------------

MqttBridge::MqttBridge(Station &station, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(*this, station))
{
    const auto changed = [this] { d->publishState(); };
    connect(&station, &Station::stateChanged, this, changed);
    connect(&station, &Station::linkChanged, this, changed);
    connect(&station, &Station::alarmChanged, this, changed);
    connect(&station, &Station::bandChanged, this, changed);
    connect(&station, &Station::remoteLockChanged, this, changed);
    connect(&station, &Station::settingsChanged, this, [this] {
        if (d->behindSettings())
            return;
        d->publishState();
        // The antennas' names and receive-only marks are the select's options.
        d->publishDiscovery();
    });
}

MqttBridge::~MqttBridge() { d->close(false); }

void MqttBridge::apply(const PanelSettings::Mqtt &settings)
{
    const QString id = d->station.settings().id;
    const QString nextBase = MqttTopics::base(settings.base, id);
    const bool running = d->client != nullptr;
    if (running && sameConnection(settings, d->settings) && nextBase == d->base) {
        const bool discoveryOff = d->settings.discovery && !settings.discovery;
        if (discoveryOff)
            d->removeDiscovery();
        d->settings = settings;
        d->publishDiscovery();
        d->afterLoop();
        return;
    }
    if (running)
        d->close(!settings.on || !settings.discovery || nextBase != d->base);
    d->settings = settings;
    d->base = nextBase;
    if (!settings.on) {
        d->setStatus(Status::Off, QStringLiteral("MQTT off"));
        return;
    }
    d->start();
}

MqttBridge::Status MqttBridge::status() const { return d->status; }

QString MqttBridge::base() const { return d->base; }

void MqttBridge::setBackOff(int firstMs, int maxMs)
{
    d->firstDelayMs = qMax(1, firstMs);
    d->maxDelayMs = qMax(d->firstDelayMs, maxMs);
    d->nextDelayMs = d->firstDelayMs;
}
