#include "remoteserver.h"

#include "httprequestreader.h"
#include "remoteaccess.h"
#include "remotecommand.h"
#include "remoteerror.h"
#include "statejson.h"
#include "station/station.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <functional>
#include <vector>

// Outside any namespace, as Q_INIT_RESOURCE asks.
static void initPageResources() { Q_INIT_RESOURCE(page); }

namespace {

using Level = RemoteAccess::Level;
using Header = QPair<QByteArray, QByteArray>;

// A client's address as people read it: an IPv4 peer of a dual-stack listener arrives as
// "::ffff:192.168.1.20", which is the same client as 192.168.1.20.
QHostAddress plainAddress(const QHostAddress &address)
{
    bool ipv4 = false;
    const quint32 value = address.toIPv4Address(&ipv4);
    return ipv4 ? QHostAddress(value) : address;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Content";
    case 423:
        return "Locked";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

struct Reply
{
    int status = 200;
    QList<Header> headers;
    QByteArray body;
};

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

QJsonObject errorObject(const QByteArray &code, const QString &message)
{
    return {{QStringLiteral("code"), QString::fromLatin1(code)}, {QStringLiteral("message"), message}};
}

Reply jsonReply(int status, const QByteArray &body)
{
    return {
        status,
        {{"Content-Type", "application/json"}, {"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}},
        body};
}

Reply errorReply(RemoteError error, const QString &message = {}, int retryAfterSeconds = 0)
{
    const QByteArray code = QByteArray(RemoteErrors::code(error).data(), RemoteErrors::code(error).size());
    Reply reply = jsonReply(RemoteErrors::httpStatus(error),
                            compact({{QStringLiteral("error"),
                                      errorObject(code, message.isEmpty() ? RemoteErrors::message(error) : message)}}));
    if (error == RemoteError::RateLimited)
        reply.headers << Header{"Retry-After", QByteArray::number(qMax(1, retryAfterSeconds))};
    return reply;
}

QByteArray serialized(const Reply &reply, bool close)
{
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const Header &header : reply.headers)
        bytes += header.first + ": " + header.second + "\r\n";
    if (reply.status != 204)
        bytes += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    if (close)
        bytes += "Connection: close\r\n";
    return bytes + "\r\n" + reply.body;
}

// Whether a comma-separated field names `token` (letter case aside).
bool names(const QByteArray &field, const QByteArray &token)
{
    for (const QByteArray &element : field.split(',')) {
        if (element.trimmed().toLower() == token)
            return true;
    }
    return false;
}

bool isJson(const QByteArray &contentType)
{
    return contentType.split(';').constFirst().trimmed().toLower() == "application/json";
}

QString accessName(Level level) { return level == Level::Control ? QStringLiteral("control") : QStringLiteral("view"); }

// A token fit to be a cookie's value.
bool cookieSafe(const QByteArray &token)
{
    if (token.isEmpty())
        return false;
    for (const char c : token) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
              || c == '.' || c == '~' || c == '+' || c == '/' || c == '='))
            return false;
    }
    return true;
}

// The state messages of a live stream: one at once, then at most one per gap, each the latest
// state, so that a burst of changes ends with the last state sent.
class StatePacer
{
public:
    StatePacer(QObject *context, int gapMs, std::function<void()> sendState)
        : send(std::move(sendState))
    {
        gap.setSingleShot(true);
        gap.setInterval(gapMs);
        QObject::connect(&gap, &QTimer::timeout, context, [this] {
            if (pending) {
                pending = false;
                sendNow();
            }
        });
    }
    void changed()
    {
        if (gap.isActive())
            pending = true;
        else
            sendNow();
    }
    void sendNow()
    {
        gap.start();
        send();
    }

private:
    std::function<void()> send;
    QTimer gap;
    bool pending = false;
};

enum class Route : quint8 { None, Page, State, Session, Events, Socket, Antenna, Split };

struct Target
{
    Route route = Route::None;
    int channel = 0;
    QByteArray page; // the resource's file name
    QList<QByteArray> methods;
};

Target routeOf(const QByteArray &path)
{
    if (path == "/")
        return {Route::Page, 0, "index.html", {"GET"}};
    if (path == "/page.css" || path == "/page.js")
        return {Route::Page, 0, path.mid(1), {"GET"}};
    if (path == "/api/v1/state")
        return {Route::State, 0, {}, {"GET"}};
    if (path == "/api/v1/session")
        return {Route::Session, 0, {}, {"GET", "POST", "DELETE"}};
    if (path == "/api/v1/events")
        return {Route::Events, 0, {}, {"GET"}};
    if (path == "/api/v1/ws")
        return {Route::Socket, 0, {}, {"GET"}};
    const QList<QByteArray> parts = path.split('/');
    // "", "api", "v1", "channels", n, "antenna"|"split"
    if (parts.size() == 6 && path.startsWith("/api/v1/channels/") && (parts[4] == "1" || parts[4] == "2")) {
        if (parts[5] == "antenna")
            return {Route::Antenna, parts[4].toInt(), {}, {"PUT"}};
        if (parts[5] == "split")
            return {Route::Split, parts[4].toInt(), {}, {"PUT", "DELETE"}};
    }
    return {};
}

QByteArray pageType(const QByteArray &name)
{
    if (name.endsWith(".css"))
        return "text/css; charset=utf-8";
    if (name.endsWith(".js"))
        return "text/javascript; charset=utf-8";
    return "text/html; charset=utf-8";
}

} // namespace

// ------------------------------------------------------------------------------------------

class RemoteServer::Private
{
public:
    class Connection;
    class SocketStream;
    struct Handover
    {
        QPointer<QTcpSocket> socket;
        QHostAddress peer;
        QByteArray token;
        Level level = Level::None;
    };

    Private(RemoteServer &server, Station &theStation, const MonotonicClock &clock)
        : q(server)
        , station(theStation)
        , access(clock)
    {}

    void accept(QTcpServer *listener);
    void refuseBusy(QTcpSocket *socket);
    void closeAll();
    void socketConnected();
    void stateChanged();
    // What a stream's token is worth now, without counting a wrong one.
    Level levelOf(const QHostAddress &peer, const QByteArray &token) const;
    void recheckStreams();
    int streams() const;
    int total() const { return int(connections.size() + sockets.size() + handovers.size()); }
    QByteArray stateBody() const { return StateJson::compact(station); }
    // A command through the station's door: None when it went to the box.
    RemoteError carryOut(const RemoteCommand &command, const QHostAddress &peer, QString *message);
    void forget(Connection *connection);
    void forget(SocketStream *stream);

    RemoteServer &q;
    Station &station;
    RemoteAccess access;
    PanelSettings::Remote settings;
    std::vector<std::unique_ptr<QTcpServer>> listeners;
    QWebSocketServer *webSockets = nullptr;
    QList<Connection *> connections;
    QList<SocketStream *> sockets;
    QHash<QString, Handover> handovers; // by the peer's "address port"
    QString errorText;
    int requestLimitMs = RemoteServer::RequestTimeLimitMs;
    int keepAliveMs = RemoteServer::KeepAliveCommentMs;
};

// One TCP connection while it speaks HTTP, and afterwards when it became an event stream.
class RemoteServer::Private::Connection : public QObject
{
public:
    Connection(Private &owner, QTcpSocket *tcp)
        : QObject(&owner.q)
        , d(owner)
        , socket(tcp)
        , peer(plainAddress(tcp->peerAddress()))
        , local(plainAddress(tcp->localAddress()))
    {
        socket->setParent(this);
        // What the socket holds unread is bounded: a client that sends faster than it is
        // answered waits for its answers.
        socket->setReadBufferSize(2 * HttpRequestReader::MaxRequestSize);
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, this, &Connection::timedOut);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readOn);
        connect(socket, &QTcpSocket::bytesWritten, this, &Connection::written);
        connect(socket, &QTcpSocket::disconnected, this, &Connection::gone);
        limit.start(d.requestLimitMs);
        readOn();
    }

    bool isEventStream() const { return pacer != nullptr; }
    QHostAddress peerAddress() const { return peer; }
    void stateChanged()
    {
        if (pacer)
            pacer->changed();
    }
    // Ends the connection at once (a stream no longer allowed, the server stopping).
    void drop()
    {
        d.forget(this);
        socket->abort();
        deleteLater();
    }

    Level level = Level::None;
    QByteArray token;

private:
    enum class Outcome { Next, Stop };

    void readOn();
    void written();
    void timedOut();
    void gone();
    Outcome handle(HttpRequest &request, int length);
    Outcome answer(const Reply &reply, bool close);
    void closeAfterAnswer();
    Outcome becomeEventStream(const HttpRequest &request, int length);
    Outcome handOver(const HttpRequest &request);
    void sendEvent(const QByteArray &event);

    Private &d;
    QTcpSocket *socket;
    QHostAddress peer;
    QHostAddress local;
    HttpRequestReader reader;
    // Bytes peeked from the socket and fed to the reader, not yet read from the socket: a
    // WebSocket upgrade leaves its request in the socket for QWebSocketServer to read.
    qint64 fed = 0;
    bool continued = false;
    bool closing = false;
    QTimer limit;
    QTimer keepAlive;
    std::unique_ptr<StatePacer> pacer;
};

// A WebSocket client.
class RemoteServer::Private::SocketStream : public QObject
{
public:
    SocketStream(Private &owner, QWebSocket *webSocket, const Handover &handover)
        : QObject(&owner.q)
        , level(handover.level)
        , token(handover.token)
        , d(owner)
        , ws(webSocket)
        , peer(handover.peer)
        , pacer(this, RemoteServer::StateMessageGapMs, [this] { sendState(); })
    {
        ws->setParent(this);
        // QWebSocket does not own the socket it was upgraded from: it goes with it.
        if (handover.socket)
            handover.socket->setParent(ws);
        // Room for the reader to say that a command is too large, and no more.
        ws->setMaxAllowedIncomingMessageSize(4 * RemoteCommandReader::MaxSocketCommandSize);
        connect(ws, &QWebSocket::textMessageReceived, this, &SocketStream::command);
        connect(ws, &QWebSocket::binaryMessageReceived, this,
                [this] { ws->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported); });
        connect(ws, &QWebSocket::disconnected, this, [this] {
            d.forget(this);
            deleteLater();
        });
        send({{QStringLiteral("type"), QStringLiteral("hello")}, {QStringLiteral("access"), accessName(level)}});
        pacer.sendNow();
    }

    void stateChanged() { pacer.changed(); }
    QHostAddress peerAddress() const { return peer; }
    void drop()
    {
        d.forget(this);
        ws->abort();
        deleteLater();
    }

    Level level;
    QByteArray token;

private:
    void sendState()
    {
        send({{QStringLiteral("type"), QStringLiteral("state")}, {QStringLiteral("state"), StateJson::of(d.station)}});
    }
    void send(const QJsonObject &message)
    {
        ws->sendTextMessage(QString::fromUtf8(compact(message)));
        if (ws->bytesToWrite() > RemoteServer::MaxUnreadBytes)
            drop();
    }
    void command(const QString &text);
    void result(const QJsonValue &id, RemoteError error, const QString &message = {});

    Private &d;
    QWebSocket *ws;
    QHostAddress peer;
    StatePacer pacer;
};

// --- Connection ------------------------------------------------------------------------------

void RemoteServer::Private::Connection::readOn()
{
    if (closing || isEventStream()) {
        socket->readAll(); // nothing more is read from it
        return;
    }
    // Answers not yet taken by the client hold back the requests after them.
    if (socket->bytesToWrite() > RemoteServer::MaxUnreadBytes)
        return;
    for (;;) {
        const qint64 available = socket->bytesAvailable();
        if (available > fed && reader.room() > 0) {
            const QByteArray bytes = socket->peek(available);
            const int before = reader.buffered();
            fed += reader.feed(bytes.constData() + fed, int(bytes.size() - fed));
            if (before == 0 && reader.buffered() > 0)
                limit.start(d.requestLimitMs); // a new request began
        }
        if (reader.status() == HttpRequestReader::Status::Error) {
            const RemoteError error = RemoteErrors::fromCode(reader.errorCode());
            Reply reply = error != RemoteError::None
                ? errorReply(error)
                : jsonReply(reader.errorStatus(),
                            compact({{QStringLiteral("error"),
                                      errorObject(QByteArray(reader.errorCode().data(), reader.errorCode().size()),
                                                  QStringLiteral("The request could not be read."))}}));
            reply.status = reader.errorStatus();
            answer(reply, true);
            return;
        }
        if (reader.status() == HttpRequestReader::Status::NeedMore) {
            if (const HttpRequest *head = reader.headAwaitingBody();
                head && !continued && head->minorVersion == 1 && names(head->header("expect"), "100-continue")) {
                continued = true;
                socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            }
            return;
        }
        const int before = reader.buffered();
        HttpRequest request = reader.takeRequest();
        const int length = before - reader.buffered();
        continued = false;
        if (reader.buffered() > 0)
            limit.start(d.requestLimitMs);
        if (handle(request, length) == Outcome::Stop)
            return;
        if (socket->bytesToWrite() > RemoteServer::MaxUnreadBytes)
            return;
    }
}

void RemoteServer::Private::Connection::written()
{
    if (closing && socket->bytesToWrite() == 0) {
        socket->disconnectFromHost();
        return;
    }
    if (!isEventStream() && !closing && socket->bytesToWrite() <= RemoteServer::MaxUnreadBytes
        && socket->bytesAvailable() > 0)
        readOn();
}

void RemoteServer::Private::Connection::timedOut()
{
    if (closing) {
        // A client that takes not even its last answer.
        socket->abort();
        return;
    }
    if (reader.buffered() > 0) {
        Reply reply = jsonReply(
            408,
            compact({{QStringLiteral("error"),
                      errorObject("request_timeout", QStringLiteral("The request was not finished in time."))}}));
        answer(reply, true);
    } else {
        // An idle connection is closed without a word.
        closing = true;
        d.forget(this);
        limit.start(d.requestLimitMs);
        socket->disconnectFromHost();
    }
}

void RemoteServer::Private::Connection::gone()
{
    d.forget(this);
    deleteLater();
}

RemoteServer::Private::Connection::Outcome RemoteServer::Private::Connection::answer(const Reply &reply, bool close)
{
    socket->write(serialized(reply, close));
    if (close) {
        closeAfterAnswer();
        return Outcome::Stop;
    }
    if (reader.buffered() == 0)
        limit.start(d.requestLimitMs);
    return Outcome::Next;
}

// Closes once the answer is out. What the client still sends is read and dropped meanwhile:
// closing a socket with unread bytes resets the connection, and the client could lose the
// answer with it.
void RemoteServer::Private::Connection::closeAfterAnswer()
{
    closing = true;
    d.forget(this);
    socket->readAll();
    limit.start(d.requestLimitMs);
    if (socket->bytesToWrite() == 0)
        socket->disconnectFromHost();
}

RemoteServer::Private::Connection::Outcome RemoteServer::Private::Connection::handle(HttpRequest &request, int length)
{
    const Target target = [&] {
        const std::optional<HttpTarget> parsed = HttpTarget::parse(request.target);
        return parsed ? routeOf(parsed->path) : Target{};
    }();
    const bool upgrade = target.route == Route::Socket;
    // A refused upgrade closes too: its client has no use for the connection.
    const bool close = request.minorVersion == 0 || !request.keepAlive() || upgrade;
    // The WebSocket's request stays in the socket for QWebSocketServer; every other request
    // is read off it now.
    if (!upgrade) {
        socket->skip(length);
        fed -= length;
    }
    auto refuse = [&](RemoteError error, const QString &message = {}, int retryAfter = 0) {
        if (upgrade) {
            socket->skip(length);
            fed -= length;
        }
        return answer(errorReply(error, message, retryAfter), close);
    };

    if (!HttpTarget::parse(request.target))
        return refuse(RemoteError::BadRequest);
    if (!RemoteAccess::hostAllowed(request.header("host"), local))
        return refuse(RemoteError::Forbidden, QStringLiteral("This address is not served here."));
    if (target.route == Route::None)
        return refuse(RemoteError::NotFound);
    if (!target.methods.contains(request.method)) {
        Reply reply = errorReply(RemoteError::MethodNotAllowed);
        reply.headers << Header{"Allow", target.methods.join(", ")};
        if (upgrade) {
            socket->skip(length);
            fed -= length;
        }
        return answer(reply, close);
    }
    const QByteArray &method = request.method;
    const bool write = method == "PUT" || method == "POST" || method == "DELETE";
    if ((write || upgrade) && !RemoteAccess::originAllowed(request.header("origin"), request.header("host")))
        return refuse(RemoteError::Forbidden, QStringLiteral("Requests from other pages are refused."));
    if ((method == "PUT" || method == "POST" || !request.body.isEmpty()) && !isJson(request.header("content-type")))
        return refuse(RemoteError::NotJson);

    if (target.route == Route::Page) {
        // The page's files hold no data: anyone who names this computer may have them.
        QFile file(QStringLiteral(":/remote/page/") + QString::fromLatin1(target.page));
        if (!file.open(QIODevice::ReadOnly))
            return refuse(RemoteError::NotFound);
        return answer({200,
                       {{"Content-Type", pageType(target.page)},
                        {"Content-Security-Policy", "default-src 'self'; connect-src 'self'; frame-ancestors 'none'"},
                        {"X-Content-Type-Options", "nosniff"},
                        {"Cache-Control", "no-store"}},
                       file.readAll()},
                      close);
    }

    if (target.route == Route::Session && method == "POST") {
        const QJsonValue value = QJsonDocument::fromJson(request.body).object().value(QStringLiteral("token"));
        const QByteArray presented = value.toString().toUtf8();
        if (!value.isString() || !cookieSafe(presented))
            return refuse(RemoteError::BadRequest, QStringLiteral("A token is expected."));
        const RemoteAccess::Decision decision = d.access.admit(peer, presented);
        if (decision.level == Level::None)
            return refuse(decision.error, {}, decision.retryAfterSeconds);
        return answer(
            {204,
             {{"Set-Cookie",
               QByteArray(RemoteAccess::CookieName) + '=' + presented + "; Path=/; HttpOnly; SameSite=Strict"},
              {"Cache-Control", "no-store"}},
             {}},
            close);
    }
    if (target.route == Route::Session && method == "DELETE") {
        return answer(
            {204,
             {{"Set-Cookie", QByteArray(RemoteAccess::CookieName) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict"},
              {"Cache-Control", "no-store"}},
             {}},
            close);
    }

    const QByteArray presented =
        RemoteAccess::presentedToken(request.header("authorization"), request.header("cookie"));
    const RemoteAccess::Decision decision = d.access.admit(peer, presented);
    if (decision.level == Level::None)
        return refuse(decision.error, {}, decision.retryAfterSeconds);

    switch (target.route) {
    case Route::State:
        return answer(jsonReply(200, d.stateBody()), close);
    case Route::Session:
        return answer(jsonReply(200, compact({{QStringLiteral("access"), accessName(decision.level)}})), close);
    case Route::Events:
        level = decision.level;
        token = presented;
        return becomeEventStream(request, length);
    case Route::Socket:
        if (!names(request.header("upgrade"), "websocket") || !names(request.header("connection"), "upgrade")
            || !request.body.isEmpty())
            return refuse(RemoteError::BadRequest, QStringLiteral("A WebSocket upgrade is expected."));
        if (d.streams() >= RemoteServer::MaxStreams)
            return refuse(RemoteError::ServiceUnavailable);
        level = decision.level;
        token = presented;
        return handOver(request);
    case Route::Antenna:
    case Route::Split: {
        if (decision.level != Level::Control)
            return refuse(RemoteError::Forbidden, QStringLiteral("The view token cannot switch."));
        RemoteCommandReading reading;
        if (target.route == Route::Antenna) {
            reading = RemoteCommandReader::antennaBody(target.channel, request.body);
        } else if (method == "DELETE") {
            RemoteCommand off;
            off.op = RemoteCommand::Op::SplitOff;
            off.channel = target.channel;
            reading.command = off;
        } else {
            reading = RemoteCommandReader::splitBody(target.channel, request.body);
        }
        if (!reading.command)
            return refuse(reading.error == RemoteError::None ? RemoteError::BadRequest : reading.error,
                          reading.message);
        int retryAfter = 0;
        if (!d.access.takeCommand(peer, &retryAfter))
            return refuse(RemoteError::RateLimited, {}, retryAfter);
        QString message;
        const RemoteError error = d.carryOut(*reading.command, peer, &message);
        if (error != RemoteError::None)
            return refuse(error, message);
        return answer(jsonReply(200, d.stateBody()), close);
    }
    case Route::None:
    case Route::Page:
        break;
    }
    return refuse(RemoteError::NotFound);
}

RemoteServer::Private::Connection::Outcome RemoteServer::Private::Connection::becomeEventStream(const HttpRequest &,
                                                                                                int)
{
    if (d.streams() >= RemoteServer::MaxStreams)
        return answer(errorReply(RemoteError::ServiceUnavailable), true);
    limit.stop();
    // The stream ends when the connection does: no length, and nothing read after it.
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                  "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n");
    pacer = std::make_unique<StatePacer>(this, RemoteServer::StateMessageGapMs,
                                         [this] { sendEvent("event: state\ndata: " + d.stateBody() + "\n\n"); });
    connect(&keepAlive, &QTimer::timeout, this, [this] { sendEvent(": keep-alive\n\n"); });
    keepAlive.start(d.keepAliveMs);
    socket->readAll();
    pacer->sendNow();
    return Outcome::Stop;
}

void RemoteServer::Private::Connection::sendEvent(const QByteArray &event)
{
    socket->write(event);
    if (socket->bytesToWrite() > RemoteServer::MaxUnreadBytes)
        drop();
}

// QWebSocketServer::handleConnection() reads the handshake from the socket itself (in Qt 5.15
// and 6 it peeks until the head's empty line, then skips the head): the request must still
// be unread. Requests are therefore only peeked while they are read here, and read off the
// socket once answered; the upgrade's own request is left in place. Our readyRead handlers
// go first, since handleConnection() emits readyRead itself when bytes are waiting.
RemoteServer::Private::Connection::Outcome RemoteServer::Private::Connection::handOver(const HttpRequest &)
{
    d.forget(this);
    limit.stop();
    socket->disconnect(this);
    Handover handover{socket, peer, token, level};
    const QString key = peer.toString() + QLatin1Char(' ') + QString::number(socket->peerPort());
    d.handovers.insert(key, handover);
    // Until the WebSocket exists the socket belongs to the WebSocket server, which deletes it
    // when the handshake fails.
    socket->setParent(d.webSockets);
    connect(socket, &QObject::destroyed, &d.q, [owner = &d, key] { owner->handovers.remove(key); });
    d.webSockets->handleConnection(socket);
    deleteLater();
    return Outcome::Stop;
}

// --- SocketStream ----------------------------------------------------------------------------

void RemoteServer::Private::SocketStream::result(const QJsonValue &id, RemoteError error, const QString &message)
{
    QJsonObject answer{{QStringLiteral("type"), QStringLiteral("result")}, {QStringLiteral("id"), id}};
    if (error == RemoteError::None) {
        answer.insert(QStringLiteral("status"), 200);
        answer.insert(QStringLiteral("state"), StateJson::of(d.station));
    } else {
        answer.insert(QStringLiteral("status"), RemoteErrors::httpStatus(error));
        const QLatin1String code = RemoteErrors::code(error);
        answer.insert(QStringLiteral("error"),
                      errorObject(QByteArray(code.data(), code.size()),
                                  message.isEmpty() ? RemoteErrors::message(error) : message));
    }
    send(answer);
}

void RemoteServer::Private::SocketStream::command(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const RemoteCommandReading reading = RemoteCommandReader::socketMessage(bytes);
    if (!reading.command) {
        result(reading.id, reading.error == RemoteError::None ? RemoteError::BadRequest : reading.error,
               reading.message);
        return;
    }
    const RemoteCommand &command = *reading.command;
    if (command.op == RemoteCommand::Op::State) {
        result(command.id, RemoteError::None);
        return;
    }
    if (level != Level::Control) {
        result(command.id, RemoteError::Forbidden, QStringLiteral("The view token cannot switch."));
        return;
    }
    int retryAfter = 0;
    if (!d.access.takeCommand(peer, &retryAfter)) {
        result(command.id, RemoteError::RateLimited);
        return;
    }
    QString message;
    const RemoteError error = d.carryOut(command, peer, &message);
    result(command.id, error, message);
}

// --- Private ---------------------------------------------------------------------------------

void RemoteServer::Private::accept(QTcpServer *listener)
{
    while (QTcpSocket *socket = listener->nextPendingConnection()) {
        if (total() >= RemoteServer::MaxConnections)
            refuseBusy(socket);
        else
            connections << new Connection(*this, socket);
    }
}

void RemoteServer::Private::refuseBusy(QTcpSocket *socket)
{
    socket->setParent(&q);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(requestLimitMs, socket, [socket] { socket->abort(); });
    socket->write(serialized(errorReply(RemoteError::ServiceUnavailable), true));
    socket->disconnectFromHost();
}

void RemoteServer::Private::closeAll()
{
    for (Connection *connection : QList<Connection *>(connections))
        connection->drop();
    for (SocketStream *stream : QList<SocketStream *>(sockets))
        stream->drop();
    for (const Handover &handover : QHash<QString, Handover>(handovers)) {
        if (handover.socket)
            handover.socket->abort();
    }
    handovers.clear();
}

void RemoteServer::Private::stateChanged()
{
    for (Connection *connection : QList<Connection *>(connections))
        connection->stateChanged();
    for (SocketStream *stream : QList<SocketStream *>(sockets))
        stream->stateChanged();
}

Level RemoteServer::Private::levelOf(const QHostAddress &peer, const QByteArray &token) const
{
    if (RemoteAccess::isLoopbackPeer(peer))
        return Level::Control;
    if (!settings.token.isEmpty() && RemoteAccess::sameToken(token, settings.token.toUtf8()))
        return Level::Control;
    if (!settings.viewToken.isEmpty() && RemoteAccess::sameToken(token, settings.viewToken.toUtf8()))
        return Level::View;
    return Level::None;
}

void RemoteServer::Private::recheckStreams()
{
    for (Connection *connection : QList<Connection *>(connections)) {
        if (connection->isEventStream() && levelOf(connection->peerAddress(), connection->token) < connection->level)
            connection->drop();
    }
    for (SocketStream *stream : QList<SocketStream *>(sockets)) {
        if (levelOf(stream->peerAddress(), stream->token) < stream->level)
            stream->drop();
    }
}

int RemoteServer::Private::streams() const
{
    int n = int(sockets.size() + handovers.size());
    for (const Connection *connection : connections)
        n += connection->isEventStream();
    return n;
}

RemoteError RemoteServer::Private::carryOut(const RemoteCommand &command, const QHostAddress &peer, QString *message)
{
    return ::carryOut(station, command, {Station::Source::Remote, plainAddress(peer).toString()}, message);
}

void RemoteServer::Private::forget(Connection *connection) { connections.removeAll(connection); }

void RemoteServer::Private::forget(SocketStream *stream) { sockets.removeAll(stream); }

// --- RemoteServer ----------------------------------------------------------------------------

RemoteServer::RemoteServer(Station &station, QObject *parent)
    : RemoteServer(station, steadyClock(), parent)
{}

RemoteServer::RemoteServer(Station &station, const MonotonicClock &clock, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(*this, station, clock))
{
    initPageResources();
    d->webSockets = new QWebSocketServer(QStringLiteral("Zorvik"), QWebSocketServer::NonSecureMode, this);
    connect(d->webSockets, &QWebSocketServer::newConnection, this, [this] {
        while (d->webSockets->hasPendingConnections()) {
            QWebSocket *ws = d->webSockets->nextPendingConnection();
            const QString key =
                plainAddress(ws->peerAddress()).toString() + QLatin1Char(' ') + QString::number(ws->peerPort());
            const auto found = d->handovers.constFind(key);
            if (found == d->handovers.constEnd()) {
                ws->abort();
                ws->deleteLater();
                continue;
            }
            const Private::Handover handover = *found;
            d->handovers.erase(found);
            d->sockets << new Private::SocketStream(*d, ws, handover);
        }
    });
    const auto changed = [this] { d->stateChanged(); };
    connect(&station, &Station::stateChanged, this, changed);
    connect(&station, &Station::linkChanged, this, changed);
    connect(&station, &Station::alarmChanged, this, changed);
    connect(&station, &Station::settingsChanged, this, changed);
    connect(&station, &Station::bandChanged, this, changed);
    connect(&station, &Station::remoteLockChanged, this, changed);
}

RemoteServer::~RemoteServer() { stop(); }

bool RemoteServer::apply(const PanelSettings::Remote &settings)
{
    using Mode = PanelSettings::Remote::Mode;
    const bool same = isListening() && settings.mode == d->settings.mode && settings.address == d->settings.address
        && (settings.port == 0 || settings.port == port());
    d->access.setTokens(settings.token, settings.viewToken);
    if (settings.mode == Mode::Off) {
        stop();
        d->settings = settings;
        return true;
    }
    if (same) {
        d->settings = settings;
        d->recheckStreams();
        return true;
    }
    const bool was = isListening();
    d->closeAll();
    d->listeners.clear();
    d->settings = settings;
    d->errorText.clear();
    const auto listen = [this](const QHostAddress &address, quint16 port) {
        auto listener = std::make_unique<QTcpServer>();
        if (!listener->listen(address, port)) {
            d->errorText = listener->errorString();
            return false;
        }
        QTcpServer *raw = listener.get();
        connect(raw, &QTcpServer::newConnection, this, [this, raw] { d->accept(raw); });
        d->listeners.push_back(std::move(listener));
        return true;
    };
    bool ok = false;
    if (settings.mode == Mode::Local) {
        ok = listen(QHostAddress::LocalHost, settings.port);
        // ::1 may be missing (IPv6 off): 127.0.0.1 alone serves then.
        if (ok)
            listen(QHostAddress::LocalHostIPv6, d->listeners.front()->serverPort());
        d->errorText.clear();
    } else {
        const QHostAddress address =
            settings.address.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(settings.address);
        if (address.isNull())
            d->errorText = tr("\"%1\" is no address").arg(settings.address);
        else
            ok = listen(address, settings.port);
    }
    if (!ok)
        d->listeners.clear();
    if (ok != was)
        emit listeningChanged(ok);
    return ok;
}

void RemoteServer::stop()
{
    const bool was = isListening();
    d->closeAll();
    d->listeners.clear();
    d->settings.mode = PanelSettings::Remote::Mode::Off;
    if (was)
        emit listeningChanged(false);
}

bool RemoteServer::isListening() const { return !d->listeners.empty(); }

quint16 RemoteServer::port() const { return d->listeners.empty() ? 0 : d->listeners.front()->serverPort(); }

QString RemoteServer::errorString() const { return d->errorText; }

QString RemoteServer::pageAddress() const
{
    if (!isListening())
        return {};
    QHostAddress address(QHostAddress::LocalHost);
    if (d->settings.mode == PanelSettings::Remote::Mode::Network) {
        if (!d->settings.address.isEmpty()) {
            address = QHostAddress(d->settings.address);
        } else {
            for (const QHostAddress &candidate : QNetworkInterface::allAddresses()) {
                if (candidate.protocol() == QAbstractSocket::IPv4Protocol && !candidate.isLoopback()) {
                    address = candidate;
                    break;
                }
            }
        }
    }
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
        : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port());
}

int RemoteServer::connectionCount() const { return d->total(); }

int RemoteServer::streamCount() const { return d->streams(); }

void RemoteServer::setTimeLimits(int requestMs, int keepAliveCommentMs)
{
    d->requestLimitMs = requestMs;
    d->keepAliveMs = keepAliveCommentMs;
}
