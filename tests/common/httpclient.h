#pragma once

// Clients of the remote control's server for tests, on the test's own event loop (the server
// runs on it too, so nothing here blocks it): raw HTTP/1.1 over a QTcpSocket, bound to a
// loopback address of the test's choice (127.0.0.2 stands for a LAN peer), and a WebSocket
// that keeps every message it receives. Every wait is bounded.

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>
#include <QWebSocket>

#include <optional>

struct HttpResponse
{
    int status = 0;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    QByteArray body;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &field : headers) {
            if (field.first == name.toLower())
                return field.second;
        }
        return {};
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    // The error body's code ("" when there is none).
    QString code() const
    {
        return json().value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toString();
    }
};

class HttpClient
{
public:
    // A client of the server on `port` at `server`, sending from `from` (any when null).
    explicit HttpClient(quint16 port, const QHostAddress &from = {},
                        const QHostAddress &server = QHostAddress(QHostAddress::LocalHost))
        : serverPort(port)
        , source(from)
        , serverAddress(server)
    {}

    bool connectToServer(int timeoutMs = 3000)
    {
        if (!source.isNull() && !socket.bind(source))
            return false;
        // The connected signal, not the state: a server that refuses at once may have closed
        // the connection again before the state is looked at.
        QSignalSpy connected(&socket, &QTcpSocket::connected);
        socket.connectToHost(serverAddress, serverPort);
        return connected.size() > 0 || connected.wait(timeoutMs);
    }

    // The Host field the requests carry.
    QByteArray host() const { return serverAddress.toString().toLatin1() + ':' + QByteArray::number(serverPort); }

    // A request as bytes: Host given, a body with its length and Content-Type: application/json.
    QByteArray compose(const QByteArray &method, const QByteArray &target, const QByteArray &body = {},
                       const QList<QByteArray> &fields = {}) const
    {
        QByteArray request = method + ' ' + target + " HTTP/1.1\r\n";
        bool hasHost = false;
        bool hasType = false;
        for (const QByteArray &field : fields) {
            hasHost = hasHost || field.toLower().startsWith("host:");
            hasType = hasType || field.toLower().startsWith("content-type:");
            request += field + "\r\n";
        }
        if (!hasHost)
            request += "Host: " + host() + "\r\n";
        if (!body.isEmpty()) {
            if (!hasType)
                request += "Content-Type: application/json\r\n";
            request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        }
        return request + "\r\n" + body;
    }

    void send(const QByteArray &bytes) { socket.write(bytes); }

    // The next response, once whole; nothing when none came in time.
    std::optional<HttpResponse> read(int timeoutMs = 3000)
    {
        std::optional<HttpResponse> response;
        (void)QTest::qWaitFor(
            [&] {
                buffer += socket.readAll();
                response = takeResponse();
                return response.has_value();
            },
            timeoutMs);
        return response;
    }

    // Connects when needed, sends one request and reads its response (status 0 when none).
    HttpResponse request(const QByteArray &method, const QByteArray &target, const QByteArray &body = {},
                         const QList<QByteArray> &fields = {})
    {
        if (socket.state() != QAbstractSocket::ConnectedState && !connectToServer())
            return {};
        send(compose(method, target, body, fields));
        return read().value_or(HttpResponse{});
    }

    bool waitClosed(int timeoutMs = 3000)
    {
        return QTest::qWaitFor(
            [this] {
                buffer += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            timeoutMs);
    }

    QTcpSocket socket;
    QByteArray buffer; // received and not yet taken as a response

private:
    // A response ends by its Content-Length; 1xx, 204 and a head without it (an event
    // stream) have no body here.
    std::optional<HttpResponse> takeResponse()
    {
        const int end = int(buffer.indexOf("\r\n\r\n"));
        if (end < 0)
            return std::nullopt;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        HttpResponse response;
        const QList<QByteArray> statusLine = lines.constFirst().trimmed().split(' ');
        if (statusLine.size() < 2)
            return std::nullopt;
        response.status = statusLine.at(1).toInt();
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = int(lines.at(i).indexOf(':'));
            if (colon > 0)
                response.headers << qMakePair(lines.at(i).left(colon).trimmed().toLower(),
                                              lines.at(i).mid(colon + 1).trimmed());
        }
        const int length = response.header("content-length").toInt();
        if (buffer.size() < end + 4 + length)
            return std::nullopt;
        response.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
        return response;
    }

    quint16 serverPort;
    QHostAddress source;
    QHostAddress serverAddress;
};

// A WebSocket client that keeps every text message as JSON.
class WsClient
{
public:
    explicit WsClient(const QString &origin = {})
        : ws(origin)
    {
        QObject::connect(&ws, &QWebSocket::textMessageReceived, &ws,
                         [this](const QString &text) { messages << QJsonDocument::fromJson(text.toUtf8()).object(); });
        QObject::connect(&ws, &QWebSocket::disconnected, &ws, [this] { closeCode = ws.closeCode(); });
        QObject::connect(&ws, &QWebSocket::stateChanged, &ws, [this](QAbstractSocket::SocketState state) {
            if (state == QAbstractSocket::UnconnectedState)
                ended = true;
        });
        QObject::connect(&ws, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), &ws,
                         [this] { ended = true; });
        QObject::connect(&ws, &QWebSocket::textMessageReceived, &ws, [this] { arrivedMs << clock.elapsed(); });
        clock.start();
    }

    bool open(quint16 port, const QList<QPair<QByteArray, QByteArray>> &fields = {}, int timeoutMs = 3000)
    {
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/ws").arg(port)));
        for (const auto &field : fields)
            request.setRawHeader(field.first, field.second);
        ended = false;
        ws.open(request);
        // Opened, or refused (the socket went back to unconnected).
        (void)QTest::qWaitFor([this] { return ended || ws.state() == QAbstractSocket::ConnectedState; }, timeoutMs);
        return ws.state() == QAbstractSocket::ConnectedState;
    }

    // Waits until `count` messages have come; false when they did not in time.
    bool waitForMessages(int count, int timeoutMs = 3000)
    {
        return QTest::qWaitFor([&] { return messages.size() >= count; }, timeoutMs);
    }
    // The first message from `from` on whose "type" is `type` (waits for it).
    std::optional<QJsonObject> waitForType(const QString &type, int from = 0, int timeoutMs = 3000)
    {
        std::optional<QJsonObject> found;
        (void)QTest::qWaitFor(
            [&] {
                for (int i = from; i < messages.size(); ++i) {
                    if (messages.at(i).value(QStringLiteral("type")).toString() == type) {
                        found = messages.at(i);
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }

    // Before the socket, so that they outlive its last signals.
    QList<QJsonObject> messages;
    QList<qint64> arrivedMs; // when each message came, since the client was made
    QElapsedTimer clock;
    int closeCode = -1;
    bool ended = false;
    QWebSocket ws;
};
