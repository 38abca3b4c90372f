// The remote control's server against the station and talmek-sim: the state and every
// command's outcome over HTTP, who may come in (a LAN peer stands on 127.0.0.2), every
// limit, the event stream and the WebSocket.

#include "httpclient.h"
#include "manualclock.h"
#include "remote/remoteaccess.h"
#include "remote/remoteserver.h"
#include "stationbench.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {
const QByteArray ControlToken = "c0ntrol-Token_0123456789abcdef";
const QByteArray ViewToken = "v1ew-Token_0123456789abcdef";
const QHostAddress LanPeer(QStringLiteral("127.0.0.2"));
} // namespace

class tst_RemoteServer : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void stateAndCommands_data() { addLinkRows(); }
    void stateAndCommands();
    void refusals_data();
    void refusals();
    void access_data();
    void access();
    void signIn();
    void page_data();
    void page();
    void wrongTokensBlockTheAddress();
    void requestLimits_data();
    void requestLimits();
    void unfinishedRequestTimesOut();
    void keepAlivePipeliningAndContinue();
    void connectionAndStreamLimits();
    void commandRate();
    void eventStream();
    void settingsCloseWhatTheyNoLongerAllow();
    void webSocket();
    void webSocketCoalescesChanges();
    void slowWebSocketReaderIsDropped();

private:
    // The station against the box on `link`, connected, and the server on a free port.
    bool start(Link link, PanelSettings::Remote::Mode mode = PanelSettings::Remote::Mode::Local,
               const QVariantMap &keys = {});
    quint16 port() const { return server->port(); }

    ManualClock clock;
    std::unique_ptr<StationBench> bench;
    std::unique_ptr<RemoteServer> server;
};

bool tst_RemoteServer::start(Link link, PanelSettings::Remote::Mode mode, const QVariantMap &keys)
{
    bench = std::make_unique<StationBench>();
    if (!bench->startBox(link))
        return false;
    bench->open(keys);
    if (!bench->connectAndWait())
        return false;
    server = std::make_unique<RemoteServer>(*bench->station, clock);
    PanelSettings::Remote settings;
    settings.mode = mode;
    settings.port = 0;
    settings.token = QString::fromLatin1(ControlToken);
    settings.viewToken = QString::fromLatin1(ViewToken);
    return server->apply(settings);
}

void tst_RemoteServer::cleanup()
{
    server.reset();
    bench.reset();
}

void tst_RemoteServer::stateAndCommands()
{
    QFETCH(Link, link);
    QVERIFY(start(link, PanelSettings::Remote::Mode::Local, {{"K3_1", "Yagi 20m"}}));
    HttpClient client(port());

    const HttpResponse state = client.request("GET", "/api/v1/state");
    QCOMPARE(state.status, 200);
    QCOMPARE(state.header("content-type"), QByteArray("application/json"));
    QCOMPARE(state.header("cache-control"), QByteArray("no-store"));
    QVERIFY(state.header("access-control-allow-origin").isEmpty());
    const QJsonObject json = state.json();
    QCOMPARE(json.value("link").toObject().value("kind").toString(), link == Link::Serial ? "serial" : "lan");
    QCOMPARE(json.value("link").toObject().value("boxAnswering").toBool(), true);
    QCOMPARE(json.value("locked").toBool(), false);
    QCOMPARE(json.value("antennas").toArray().size(), 6);
    QCOMPARE(json.value("antennas").toArray().at(2).toObject().value("name").toString(), "Yagi 20m");
    QCOMPARE(json.value("channels").toArray().size(), 2);
    QVERIFY(json.value("revision").isDouble());

    QSignalSpy done(bench->station.get(), &Station::commandDone);
    const int from = bench->sim->lineCount();
    const HttpResponse select = client.request("PUT", "/api/v1/channels/1/antenna", R"({"antenna": 3})");
    QCOMPARE(select.status, 200);
    QVERIFY(select.json().contains("channels"));
    QTRY_VERIFY_WITH_TIMEOUT(!bench->commandsReceived(from).isEmpty(), 3000);
    // The simulator counts positions from 0.
    QTRY_COMPARE_WITH_TIMEOUT(bench->sim->stateValue("antenna1"), 2, 3000);
    QCOMPARE(done.size(), 1);
    const auto origin = done.at(0).at(0).value<Station::Origin>();
    QCOMPARE(origin.source, Station::Source::Remote);
    QCOMPARE(origin.address, QStringLiteral("127.0.0.1"));
    // The next state the server gives shows what the box now reports.
    QTRY_COMPARE_WITH_TIMEOUT(client.request("GET", "/api/v1/state")
                                  .json()
                                  .value("channels")
                                  .toArray()
                                  .at(0)
                                  .toObject()
                                  .value("antenna")
                                  .toInt(),
                              3, 3000);

    QCOMPARE(client.request("PUT", "/api/v1/channels/2/split", R"({"rx": 5, "tx": 2})").status, 200);
    QTRY_COMPARE_WITH_TIMEOUT(client.request("GET", "/api/v1/state")
                                  .json()
                                  .value("channels")
                                  .toArray()
                                  .at(1)
                                  .toObject()
                                  .value("split")
                                  .toObject()
                                  .value("tx")
                                  .toInt(),
                              2, 3000);
    QCOMPARE(client.request("DELETE", "/api/v1/channels/2/split").status, 200);
    QTRY_VERIFY_WITH_TIMEOUT(client.request("GET", "/api/v1/state")
                                 .json()
                                 .value("channels")
                                 .toArray()
                                 .at(1)
                                 .toObject()
                                 .value("split")
                                 .isNull(),
                             3000);
}

void tst_RemoteServer::refusals_data()
{
    QTest::addColumn<QString>("how"); // what makes the station refuse
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");
    QTest::newRow("receive-only") << "" << QByteArray(R"({"antenna": 4})") << 422 << "receive_only";
    QTest::newRow("transmitting") << "tx" << QByteArray(R"({"antenna": 2})") << 423 << "transmitting";
    QTest::newRow("locked") << "lock" << QByteArray(R"({"antenna": 2})") << 423 << "locked";
    QTest::newRow("link down") << "disconnect" << QByteArray(R"({"antenna": 2})") << 503 << "box_unavailable";
    QTest::newRow("bad body") << "" << QByteArray(R"({"antenna": 7})") << 400 << "bad_request";
}

void tst_RemoteServer::refusals()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, code);
    QVERIFY(start(Link::Lan, PanelSettings::Remote::Mode::Local, {{"RXONLY_4", 1}}));
    Station &station = *bench->station;
    if (how == "tx") {
        QVERIFY(bench->sim->control("tx 1 on"));
        QTRY_VERIFY_WITH_TIMEOUT(station.deviceState().transmitting[1] != 0, 3000);
    } else if (how == "lock") {
        station.setRemoteLocked(true);
    } else if (how == "disconnect") {
        station.disconnectBox();
    }
    HttpClient client(port());
    const int from = bench->sim->lineCount();
    const HttpResponse refused = client.request("PUT", "/api/v1/channels/1/antenna", body);
    QCOMPARE(refused.status, status);
    QCOMPARE(refused.code(), code);
    QVERIFY(!refused.json().value("error").toObject().value("message").toString().isEmpty());
    // Refused is never carried out later: the box hears nothing of it.
    if (how != "disconnect") {
        QVERIFY(bench->waitForReplies(2));
        QCOMPARE(bench->commandsReceived(from), QStringList());
    }
}

void tst_RemoteServer::access_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<QByteArray>>("fields");
    QTest::addColumn<int>("status");

    const QByteArray control = "Authorization: Bearer " + ControlToken;
    const QByteArray view = "Authorization: Bearer " + ViewToken;
    const QByteArray put = R"({"antenna": 2})";
    using F = QList<QByteArray>;
    QTest::newRow("no token") << QByteArray("GET") << QByteArray("/api/v1/state") << QByteArray() << F{} << 401;
    QTest::newRow("view token, state") << QByteArray("GET") << QByteArray("/api/v1/state") << QByteArray() << F{view}
                                       << 200;
    QTest::newRow("view token, command") << QByteArray("PUT") << QByteArray("/api/v1/channels/1/antenna") << put
                                         << F{view} << 403;
    QTest::newRow("control token, command")
        << QByteArray("PUT") << QByteArray("/api/v1/channels/1/antenna") << put << F{control} << 200;
    QTest::newRow("control token as cookie") << QByteArray("PUT") << QByteArray("/api/v1/channels/1/antenna") << put
                                             << F{"Cookie: a=b; zorvik_token=" + ControlToken} << 200;
    QTest::newRow("Host without port") << QByteArray("GET") << QByteArray("/api/v1/state") << QByteArray()
                                       << F{control, "Host: 127.0.0.1"} << 200;
    QTest::newRow("foreign Host") << QByteArray("GET") << QByteArray("/api/v1/state") << QByteArray()
                                  << F{control, "Host: rebound.example:8750"} << 403;
    QTest::newRow("foreign Host, page") << QByteArray("GET") << QByteArray("/") << QByteArray()
                                        << F{"Host: rebound.example"} << 403;
    QTest::newRow("bad Origin") << QByteArray("PUT") << QByteArray("/api/v1/channels/1/antenna") << put
                                << F{control, "Origin: http://evil.example"} << 403;
    QTest::newRow("own Origin") << QByteArray("PUT") << QByteArray("/api/v1/channels/1/antenna") << put
                                << F{control, "Origin: http://127.0.0.1:%port"} << 200;
    QTest::newRow("not JSON") << QByteArray("PUT") << QByteArray("/api/v1/channels/1/antenna") << put
                              << F{control, "Content-Type: text/plain"} << 415;
    QTest::newRow("JSON with charset") << QByteArray("PUT") << QByteArray("/api/v1/channels/1/antenna") << put
                                       << F{control, "Content-Type: application/json; charset=utf-8"} << 200;
    QTest::newRow("unknown path") << QByteArray("GET") << QByteArray("/api/v1/nothing") << QByteArray() << F{control}
                                  << 404;
    QTest::newRow("channel 3") << QByteArray("PUT") << QByteArray("/api/v1/channels/3/antenna") << put << F{control}
                               << 404;
    QTest::newRow("method not allowed") << QByteArray("POST") << QByteArray("/api/v1/state") << QByteArray("{}")
                                        << F{control} << 405;
    QTest::newRow("WebSocket path without upgrade")
        << QByteArray("GET") << QByteArray("/api/v1/ws") << QByteArray() << F{control} << 400;
}

void tst_RemoteServer::access()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(QList<QByteArray>, fields);
    QFETCH(int, status);
    QVERIFY(start(Link::Lan, PanelSettings::Remote::Mode::Network));
    for (QByteArray &field : fields)
        field.replace("%port", QByteArray::number(port()));
    HttpClient client(port(), LanPeer);
    const HttpResponse response = client.request(method, target, body, fields);
    QCOMPARE(response.status, status);
    if (status != 200) {
        QVERIFY2(!response.code().isEmpty(), response.body.constData());
        QCOMPARE(response.header("content-type"), QByteArray("application/json"));
    }
    if (status == 405)
        QCOMPARE(response.header("allow"), QByteArray("GET"));
}

void tst_RemoteServer::signIn()
{
    QVERIFY(start(Link::Lan, PanelSettings::Remote::Mode::Network));
    HttpClient client(port(), LanPeer);
    QCOMPARE(client.request("POST", "/api/v1/session", R"({"token": "wrong"})").status, 401);
    const HttpResponse signedIn = client.request("POST", "/api/v1/session", R"({"token": ")" + ViewToken + R"("})");
    QCOMPARE(signedIn.status, 204);
    const QByteArray cookie = signedIn.header("set-cookie");
    QVERIFY2(cookie.startsWith("zorvik_token=" + ViewToken + ";"), cookie.constData());
    QVERIFY(cookie.contains("HttpOnly"));
    QVERIFY(cookie.contains("SameSite=Strict"));
    const HttpResponse session = client.request("GET", "/api/v1/session", {}, {"Cookie: zorvik_token=" + ViewToken});
    QCOMPARE(session.json().value("access").toString(), "view");
    QVERIFY(client.request("DELETE", "/api/v1/session").header("set-cookie").contains("Max-Age=0"));
}

void tst_RemoteServer::page_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("type");
    QTest::newRow("index") << QByteArray("/") << QByteArray("text/html; charset=utf-8");
    QTest::newRow("style") << QByteArray("/page.css") << QByteArray("text/css; charset=utf-8");
    QTest::newRow("script") << QByteArray("/page.js") << QByteArray("text/javascript; charset=utf-8");
}

void tst_RemoteServer::page()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, type);
    QVERIFY(start(Link::Lan, PanelSettings::Remote::Mode::Network));
    // Without a token, from afar: the page's files hold no data.
    HttpClient client(port(), LanPeer);
    const HttpResponse file = client.request("GET", target);
    QCOMPARE(file.status, 200);
    QCOMPARE(file.header("content-type"), type);
    QVERIFY(!file.body.isEmpty());
    QCOMPARE(file.header("content-security-policy"),
             QByteArray("default-src 'self'; connect-src 'self'; frame-ancestors 'none'"));
    QCOMPARE(file.header("x-content-type-options"), QByteArray("nosniff"));
    QCOMPARE(file.header("cache-control"), QByteArray("no-store"));
    QCOMPARE(client.request("GET", "/index.html").status, 404);
}

void tst_RemoteServer::wrongTokensBlockTheAddress()
{
    QVERIFY(start(Link::Lan, PanelSettings::Remote::Mode::Network));
    HttpClient client(port(), LanPeer);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(client.request("GET", "/api/v1/state", {}, {"Authorization: Bearer wrong"}).status, 401);
    const HttpResponse blocked = client.request("GET", "/api/v1/state", {}, {"Authorization: Bearer " + ControlToken});
    QCOMPARE(blocked.status, 429);
    QCOMPARE(blocked.code(), "rate_limited");
    QVERIFY(blocked.header("retry-after").toInt() > 0);
    // Another address is not blocked; the block ends after a minute.
    HttpClient other(port(), QHostAddress(QStringLiteral("127.0.0.3")));
    QCOMPARE(other.request("GET", "/api/v1/state", {}, {"Authorization: Bearer " + ControlToken}).status, 200);
    clock.advance(61'000);
    QCOMPARE(client.request("GET", "/api/v1/state", {}, {"Authorization: Bearer " + ControlToken}).status, 200);
}

void tst_RemoteServer::requestLimits_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");
    const QByteArray host = "Host: 127.0.0.1\r\n";
    const QByteArray filler = "X-Filler: " + QByteArray(8 * 1024, 'x') + "\r\n";
    QTest::newRow("head over 8 KiB") << "GET /api/v1/state HTTP/1.1\r\n" + host + filler + "\r\n"
                                     << 431 << "headers_too_large";
    QTest::newRow("body over 4 KiB") << "PUT /api/v1/channels/1/antenna HTTP/1.1\r\n" + host
            + "Content-Type: application/json\r\nContent-Length: 4097\r\n\r\n"
                                     << 413 << "too_large";
    QTest::newRow("bare LF") << "GET /api/v1/state HTTP/1.1\n" + host + "\r\n" << 400 << "bad_request";
    QTest::newRow("HTTP/2.0") << "GET /api/v1/state HTTP/2.0\r\n" + host + "\r\n" << 505 << "version_not_supported";
    QTest::newRow("chunked") << "PUT /api/v1/channels/1/antenna HTTP/1.1\r\n" + host
            + "Transfer-Encoding: chunked\r\n\r\n"
                             << 501 << "not_implemented";
}

void tst_RemoteServer::requestLimits()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QString, code);
    QVERIFY(start(Link::Lan));
    HttpClient client(port());
    QVERIFY(client.connectToServer());
    client.send(request);
    const std::optional<HttpResponse> response = client.read();
    QVERIFY(response);
    QCOMPARE(response->status, status);
    QCOMPARE(response->code(), code);
    QCOMPARE(response->header("connection"), QByteArray("close"));
    QVERIFY(client.waitClosed());
    QTRY_COMPARE_WITH_TIMEOUT(server->connectionCount(), 0, 3000);
}

void tst_RemoteServer::unfinishedRequestTimesOut()
{
    QVERIFY(start(Link::Lan));
    server->setTimeLimits(300, 15'000);
    HttpClient client(port());
    QVERIFY(client.connectToServer());
    client.send("GET /api/v1/state HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    const std::optional<HttpResponse> response = client.read(3000);
    QVERIFY(response);
    QCOMPARE(response->status, 408);
    QVERIFY(client.waitClosed());
    // A connection that sends nothing at all is closed without a word.
    HttpClient idle(port());
    QVERIFY(idle.connectToServer());
    QVERIFY(idle.waitClosed());
    QVERIFY(idle.buffer.isEmpty());
}

void tst_RemoteServer::keepAlivePipeliningAndContinue()
{
    QVERIFY(start(Link::Lan));
    HttpClient client(port());
    QVERIFY(client.connectToServer());
    // Three requests in one write: answered in order, on one connection.
    client.send(client.compose("GET", "/api/v1/state") + client.compose("GET", "/api/v1/nothing")
                + client.compose("GET", "/api/v1/session"));
    QCOMPARE(client.read().value_or(HttpResponse{}).status, 200);
    QCOMPARE(client.read().value_or(HttpResponse{}).status, 404);
    QCOMPARE(client.read().value_or(HttpResponse{}).json().value("access").toString(), "control");

    // "Expect: 100-continue": the go-ahead comes before the body is sent.
    client.send("PUT /api/v1/channels/1/antenna HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                "Expect: 100-continue\r\nContent-Length: 14\r\n\r\n");
    QCOMPARE(client.read().value_or(HttpResponse{}).status, 100);
    client.send(R"({"antenna": 2})");
    QCOMPARE(client.read().value_or(HttpResponse{}).status, 200);
    QCOMPARE(client.socket.state(), QAbstractSocket::ConnectedState);

    // Connection: close, and HTTP/1.0, are answered, then closed.
    client.send(client.compose("GET", "/api/v1/state", {}, {"Connection: close"}));
    QCOMPARE(client.read().value_or(HttpResponse{}).status, 200);
    QVERIFY(client.waitClosed());
    HttpClient old(port());
    QVERIFY(old.connectToServer());
    old.send("GET /api/v1/state HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QCOMPARE(old.read().value_or(HttpResponse{}).status, 200);
    QVERIFY(old.waitClosed());
}

void tst_RemoteServer::connectionAndStreamLimits()
{
    QVERIFY(start(Link::Lan));
    std::vector<std::unique_ptr<HttpClient>> clients;
    // 8 event streams, then the 9th stream is refused while plain requests still are served.
    for (int i = 0; i < RemoteServer::MaxStreams; ++i) {
        clients.push_back(std::make_unique<HttpClient>(port()));
        QVERIFY(clients.back()->connectToServer());
        clients.back()->send(clients.back()->compose("GET", "/api/v1/events"));
        QVERIFY(clients.back()->read());
    }
    QTRY_COMPARE_WITH_TIMEOUT(server->streamCount(), RemoteServer::MaxStreams, 3000);
    HttpClient ninth(port());
    const HttpResponse busy = ninth.request("GET", "/api/v1/events");
    QCOMPARE(busy.status, 503);
    QCOMPARE(busy.code(), "busy");
    WsClient socket;
    QVERIFY(!socket.open(port()));

    // Up to 16 connections in all; the 17th is told the server is busy, and closed.
    while (int(clients.size()) < RemoteServer::MaxConnections) {
        clients.push_back(std::make_unique<HttpClient>(port()));
        QVERIFY(clients.back()->connectToServer());
    }
    QTRY_COMPARE_WITH_TIMEOUT(server->connectionCount(), RemoteServer::MaxConnections, 3000);
    HttpClient extra(port());
    QVERIFY(extra.connectToServer());
    const std::optional<HttpResponse> refused = extra.read();
    QVERIFY(refused);
    QCOMPARE(refused->status, 503);
    QCOMPARE(refused->code(), "busy");
    QVERIFY(extra.waitClosed());
    // One goes, and a new one is let in.
    clients.pop_back();
    QTRY_COMPARE_WITH_TIMEOUT(server->connectionCount(), RemoteServer::MaxConnections - 1, 3000);
    HttpClient next(port());
    QCOMPARE(next.request("GET", "/api/v1/state").status, 200);
}

void tst_RemoteServer::commandRate()
{
    QVERIFY(start(Link::Lan));
    HttpClient client(port());
    QVERIFY(client.connectToServer());
    // 21 commands in one write: the burst allows 20 (the clock stands still).
    QByteArray burst;
    for (int i = 0; i < RemoteAccess::CommandBurst + 1; ++i)
        burst += client.compose("PUT", "/api/v1/channels/1/antenna",
                                QByteArray(R"({"antenna": )") + char('1' + i % 6) + '}');
    client.send(burst);
    for (int i = 0; i < RemoteAccess::CommandBurst; ++i)
        QCOMPARE(client.read().value_or(HttpResponse{}).status, 200);
    const HttpResponse limited = client.read().value_or(HttpResponse{});
    QCOMPARE(limited.status, 429);
    QCOMPARE(limited.code(), "rate_limited");
    QVERIFY(limited.header("retry-after").toInt() >= 1);
    clock.advance(1000);
    QCOMPARE(client.request("PUT", "/api/v1/channels/1/antenna", R"({"antenna": 2})").status, 200);
}

void tst_RemoteServer::eventStream()
{
    QVERIFY(start(Link::Lan));
    server->setTimeLimits(RemoteServer::RequestTimeLimitMs, 200);
    HttpClient client(port());
    QVERIFY(client.connectToServer());
    client.send(client.compose("GET", "/api/v1/events"));
    const std::optional<HttpResponse> head = client.read();
    QVERIFY(head);
    QCOMPARE(head->status, 200);
    QCOMPARE(head->header("content-type"), QByteArray("text/event-stream"));
    const auto events = [&client] {
        client.buffer += client.socket.readAll();
        return client.buffer;
    };
    QTRY_VERIFY_WITH_TIMEOUT(events().contains("\n\n"), 3000);
    QVERIFY(client.buffer.startsWith("event: state\ndata: {"));
    QVERIFY(client.buffer.contains(R"("locked":false)"));
    bench->station->setRemoteLocked(true);
    QTRY_VERIFY_WITH_TIMEOUT(events().contains(R"("locked":true)"), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(events().contains("\n: keep-alive\n\n"), 3000);
}

void tst_RemoteServer::settingsCloseWhatTheyNoLongerAllow()
{
    QVERIFY(start(Link::Lan, PanelSettings::Remote::Mode::Network));
    const quint16 taken = port();
    HttpClient viewer(port(), LanPeer);
    QVERIFY(viewer.connectToServer());
    viewer.send(viewer.compose("GET", "/api/v1/events", {}, {"Authorization: Bearer " + ViewToken}));
    QCOMPARE(viewer.read().value_or(HttpResponse{}).status, 200);
    HttpClient controller(port(), LanPeer);
    QVERIFY(controller.connectToServer());
    controller.send(controller.compose("GET", "/api/v1/events", {}, {"Authorization: Bearer " + ControlToken}));
    QCOMPARE(controller.read().value_or(HttpResponse{}).status, 200);
    QTRY_COMPARE_WITH_TIMEOUT(server->streamCount(), 2, 3000);

    // A view token made new: its stream ends, the control token's stays; the port is kept.
    PanelSettings::Remote settings;
    settings.mode = PanelSettings::Remote::Mode::Network;
    settings.port = taken;
    settings.token = QString::fromLatin1(ControlToken);
    settings.viewToken = QStringLiteral("new-view-token");
    QVERIFY(server->apply(settings));
    QVERIFY(viewer.waitClosed());
    QCOMPARE(server->streamCount(), 1);
    QCOMPARE(controller.socket.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(server->port(), taken);

    // Off: nothing listens, every connection is closed.
    QSignalSpy listening(server.get(), &RemoteServer::listeningChanged);
    settings.mode = PanelSettings::Remote::Mode::Off;
    QVERIFY(server->apply(settings));
    QVERIFY(controller.waitClosed());
    QCOMPARE(server->isListening(), false);
    QCOMPARE(server->connectionCount(), 0);
    QCOMPARE(server->pageAddress(), QString());
    QCOMPARE(listening.size(), 1);
}

void tst_RemoteServer::webSocket()
{
    QVERIFY(start(Link::Lan));
    WsClient client;
    QVERIFY(client.open(port()));
    QVERIFY(client.waitForMessages(2));
    QCOMPARE(client.messages.at(0).value("type").toString(), "hello");
    QCOMPARE(client.messages.at(0).value("access").toString(), "control");
    QCOMPARE(client.messages.at(1).value("type").toString(), "state");
    QVERIFY(client.messages.at(1).value("state").toObject().contains("channels"));
    QCOMPARE(server->streamCount(), 1);

    const int from = bench->sim->lineCount();
    client.ws.sendTextMessage(R"({"id": 7, "op": "select", "channel": 1, "antenna": 4})");
    std::optional<QJsonObject> answer = client.waitForType("result");
    QVERIFY(answer);
    QCOMPARE(answer->value("id").toInt(), 7);
    QCOMPARE(answer->value("status").toInt(), 200);
    QTRY_COMPARE_WITH_TIMEOUT(bench->sim->stateValue("antenna1"), 3, 3000);
    QVERIFY(!bench->commandsReceived(from).isEmpty());

    // A message that is no command is answered by its id; the socket stays.
    int count = int(client.messages.size());
    client.ws.sendTextMessage(R"({"id": "x", "op": "jump"})");
    answer = client.waitForType("result", count);
    QVERIFY(answer);
    QCOMPARE(answer->value("id").toString(), "x");
    QCOMPARE(answer->value("status").toInt(), 400);
    QCOMPARE(answer->value("error").toObject().value("code").toString(), "bad_request");
    count = int(client.messages.size());
    client.ws.sendTextMessage(QStringLiteral(R"({"id": 8, "op": "state", "pad": "%1"})").arg(QString(2000, 'x')));
    answer = client.waitForType("result", count);
    QVERIFY(answer);
    QCOMPARE(answer->value("status").toInt(), 413);
    QCOMPARE(answer->value("error").toObject().value("code").toString(), "too_large");
    count = int(client.messages.size());
    bench->station->setRemoteLocked(true);
    client.ws.sendTextMessage(R"({"id": 9, "op": "select", "channel": 1, "antenna": 2})");
    answer = client.waitForType("result", count);
    QVERIFY(answer);
    QCOMPARE(answer->value("status").toInt(), 423);
    QCOMPARE(answer->value("error").toObject().value("code").toString(), "locked");

    // A binary message closes the socket with 1003.
    client.ws.sendBinaryMessage("\x01\x02");
    QTRY_COMPARE_WITH_TIMEOUT(client.closeCode, int(QWebSocketProtocol::CloseCodeDatatypeNotSupported), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(server->streamCount(), 0, 3000);

    // A foreign Origin is refused before the upgrade.
    WsClient foreign(QStringLiteral("http://evil.example"));
    QVERIFY(!foreign.open(port()));
    QCOMPARE(server->streamCount(), 0);
}

void tst_RemoteServer::webSocketCoalescesChanges()
{
    QVERIFY(start(Link::Lan));
    WsClient client;
    QVERIFY(client.open(port()));
    QVERIFY(client.waitForMessages(2));
    // 100 changes in a row: at most one message at once and one when the gap has passed,
    // and the last one shows how the changes ended.
    const int before = int(client.messages.size());
    const qint64 burstStartMs = client.clock.elapsed();
    for (int i = 0; i < 100; ++i)
        bench->station->setRemoteLocked(i % 2 == 0);
    QTRY_VERIFY_WITH_TIMEOUT(client.messages.size() > before
                                 && !client.messages.constLast().value("state").toObject().value("locked").toBool(),
                             3000);
    // One change more: what the burst left comes before it.
    bench->station->setRemoteLocked(true);
    QTRY_VERIFY_WITH_TIMEOUT(client.messages.constLast().value("state").toObject().value("locked").toBool(), 3000);
    const int burst = int(client.messages.size()) - before - 1;
    QVERIFY2(burst >= 1 && burst <= 2, qPrintable(QString::number(burst)));
    QVERIFY(!client.messages.at(client.messages.size() - 2).value("state").toObject().value("locked").toBool());
    // The second message after the burst began was sent a gap after the first, which was sent
    // after the burst began (less the timers' leeway). Arrival times only add the client's own
    // delay, which cannot hide a message sent too soon; two arriving together can be the
    // client's doing, so they are not compared with each other.
    const qint64 second = client.arrivedMs.at(before + 1) - burstStartMs;
    QVERIFY2(second >= RemoteServer::StateMessageGapMs * 3 / 4, qPrintable(QStringLiteral("%1 ms").arg(second)));
}

void tst_RemoteServer::slowWebSocketReaderIsDropped()
{
    QVERIFY(start(Link::Lan));
    // A WebSocket client that never reads: the handshake by hand, then many state requests.
    HttpClient raw(port());
    QVERIFY(raw.connectToServer());
    raw.socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    raw.send(raw.compose("GET", "/api/v1/ws", {},
                         {"Upgrade: websocket", "Connection: Upgrade",
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version: 13"}));
    const std::optional<HttpResponse> upgraded = raw.read();
    QVERIFY(upgraded);
    QCOMPARE(upgraded->status, 101);
    QTRY_COMPARE_WITH_TIMEOUT(server->streamCount(), 1, 3000);
    // Masked text frames (a zero mask leaves the text as it is).
    const QByteArray text = R"({"op": "state"})";
    const QByteArray frame = QByteArray("\x81") + char(0x80 | text.size()) + QByteArray(4, '\0') + text;
    // The client's own socket takes no more than this off the line.
    raw.socket.setReadBufferSize(1024);
    for (int round = 0; round < 20 && server->streamCount() > 0; ++round) {
        raw.send(frame.repeated(200));
        (void)QTest::qWaitFor([&] { return raw.socket.bytesToWrite() == 0 || server->streamCount() == 0; }, 1000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(server->streamCount(), 0, 5000);
}

QTEST_GUILESS_MAIN(tst_RemoteServer)
#include "tst_remoteserver.moc"
