// Who the remote control lets in and how much: tokens, the blocking of an address that
// guesses, the Host and Origin checks against DNS rebinding and cross-site requests, and the
// command rate, each at, under and over its limit, on a clock the test moves.

#include "remote/remoteaccess.h"

#include "manualclock.h"

#include <QtTest>

namespace {

const QByteArray controlToken = "c0ntrol-9f8e7d6c5b4a39281706f5e4d3c2b1a0";
const QByteArray viewToken = "v1ew-0a1b2c3d4e5f60718293a4b5c6d7e8f9";

QString describe(const RemoteAccess::Decision &decision)
{
    switch (decision.level) {
    case RemoteAccess::Level::Control:
        return QStringLiteral("control");
    case RemoteAccess::Level::View:
        return QStringLiteral("view");
    case RemoteAccess::Level::None:
        break;
    }
    if (decision.error == RemoteError::RateLimited)
        return QStringLiteral("429 %1").arg(decision.retryAfterSeconds);
    return QString::number(RemoteErrors::httpStatus(decision.error));
}

// A step of a script: "wait <ms>", or "<what> [<count>] [@address]" where what is right,
// view, wrong, none (admit) or take (a command); the address is 127.0.0.2 unless named.
// Each step but a wait says what came of it: the last decision, or for takes how many of
// them were let through and the last Retry-After.
QStringList run(RemoteAccess &access, ManualClock &clock, const QStringList &steps)
{
    QStringList said;
    for (const QString &step : steps) {
        QStringList words = step.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QHostAddress peer(QStringLiteral("127.0.0.2"));
        if (words.last().startsWith(QLatin1Char('@')))
            peer = QHostAddress(words.takeLast().mid(1));
        const QString what = words.value(0);
        const int count = words.size() > 1 ? words.at(1).toInt() : 1;
        if (what == QLatin1String("wait")) {
            clock.advance(count);
            continue;
        }
        if (what == QLatin1String("take")) {
            int taken = 0;
            int retry = 0;
            for (int i = 0; i < count; ++i)
                taken += access.takeCommand(peer, &retry) ? 1 : 0;
            said << QStringLiteral("%1/%2").arg(taken).arg(count)
                    + (taken < count ? QStringLiteral(" retry %1").arg(retry) : QString());
            continue;
        }
        const QByteArray token = what == QLatin1String("right") ? controlToken
            : what == QLatin1String("view")                     ? viewToken
            : what == QLatin1String("wrong")                    ? QByteArray("guess")
                                                                : QByteArray();
        QString last;
        for (int i = 0; i < count; ++i)
            last = describe(access.admit(peer, token));
        said << last;
    }
    return said;
}

} // namespace

class tst_RemoteAccess : public QObject
{
    Q_OBJECT

private slots:
    void admit_data();
    void admit();
    void emptyTokensAdmitNobody();
    void script_data();
    void script();
    void tablesStayBounded();
    void presentedToken_data();
    void presentedToken();
    void sameToken_data();
    void sameToken();
    void host_data();
    void host();
    void origin_data();
    void origin();
};

void tst_RemoteAccess::admit_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<QString>("decision");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("127.0.0.1 without a token") << "127.0.0.1" << QByteArray() << "control" << true;
    QTest::newRow("::1 without a token") << "::1" << QByteArray() << "control" << true;
    QTest::newRow("::ffff:127.0.0.1 without a token") << "::ffff:127.0.0.1" << QByteArray() << "control" << true;
    QTest::newRow("127.0.0.1 with a wrong token") << "127.0.0.1" << QByteArray("guess") << "control" << true;
    QTest::newRow("127.0.0.2 without a token") << "127.0.0.2" << QByteArray() << "401" << false;
    QTest::newRow("127.255.255.254 without a token") << "127.255.255.254" << QByteArray() << "401" << false;
    QTest::newRow("::ffff:127.0.0.2 without a token") << "::ffff:127.0.0.2" << QByteArray() << "401" << false;
    QTest::newRow("LAN with the control token") << "192.168.1.20" << controlToken << "control" << false;
    QTest::newRow("LAN with the view token") << "192.168.1.20" << viewToken << "view" << false;
    QTest::newRow("IPv6 LAN with the view token") << "fd00::20" << viewToken << "view" << false;
    QTest::newRow("LAN with a wrong token") << "192.168.1.20" << QByteArray("guess") << "401" << false;
    QTest::newRow("the control token cut short") << "192.168.1.20" << controlToken.chopped(1) << "401" << false;
    QTest::newRow("the control token and a byte") << "192.168.1.20" << controlToken + 'x' << "401" << false;
    QTest::newRow("the control token in capitals") << "192.168.1.20" << controlToken.toUpper() << "401" << false;
}

void tst_RemoteAccess::admit()
{
    QFETCH(QString, peer);
    QFETCH(QByteArray, token);
    QFETCH(QString, decision);
    QFETCH(bool, loopback);
    ManualClock clock;
    RemoteAccess access(clock);
    access.setTokens(QString::fromLatin1(controlToken), QString::fromLatin1(viewToken));
    QCOMPARE(describe(access.admit(QHostAddress(peer), token)), decision);
    QCOMPARE(RemoteAccess::isLoopbackPeer(QHostAddress(peer)), loopback);
}

void tst_RemoteAccess::emptyTokensAdmitNobody()
{
    ManualClock clock;
    RemoteAccess access(clock);
    access.setTokens(QString(), QString::fromLatin1(viewToken));
    const QHostAddress lan(QStringLiteral("192.168.1.20"));
    QCOMPARE(describe(access.admit(lan, viewToken)), QStringLiteral("view"));
    QCOMPARE(describe(access.admit(lan, QByteArray())), QStringLiteral("401"));
    access.setTokens(QString(), QString());
    QCOMPARE(describe(access.admit(lan, viewToken)), QStringLiteral("401"));
    QCOMPARE(describe(access.admit(QHostAddress(QHostAddress::LocalHost), QByteArray())), QStringLiteral("control"));
}

void tst_RemoteAccess::script_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("said");

    // Wrong tokens: five within a minute block the address for 60 s.
    QTest::newRow("4 wrong, then the right token")
        << QStringList{"wrong 4", "right", "view"} << QStringList{"401", "control", "view"};
    QTest::newRow("the 5th wrong is refused and blocks")
        << QStringList{"wrong 4", "wrong", "right"} << QStringList{"401", "401", "429 60"};
    QTest::newRow("the 6th wrong is rate limited")
        << QStringList{"wrong 5", "wrong", "none"} << QStringList{"401", "429 60", "429 60"};
    QTest::newRow("missing tokens are not wrong")
        << QStringList{"none 20", "wrong 4", "none 20", "right"} << QStringList{"401", "401", "401", "control"};
    QTest::newRow("the right token does not wipe out wrong ones")
        << QStringList{"wrong 4", "right", "view", "wrong", "view"}
        << QStringList{"401", "control", "view", "401", "429 60"};
    QTest::newRow("5 wrong within 59.999 s block")
        << QStringList{"wrong", "wait 59999", "wrong 4", "right"} << QStringList{"401", "401", "429 60"};
    QTest::newRow("a wrong token 60 s old no longer counts")
        << QStringList{"wrong", "wait 60000", "wrong 4", "right", "wrong", "right"}
        << QStringList{"401", "401", "control", "401", "429 60"};
    QTest::newRow("Retry-After counts down, rounded up")
        << QStringList{"wrong 5", "wait 1", "right", "wait 999", "right", "wait 58999", "right", "wait 1", "right"}
        << QStringList{"401", "429 60", "429 59", "429 1", "control"};
    QTest::newRow("blocked for 60 s, not a millisecond more or less")
        << QStringList{"wrong 5", "wait 59999", "right", "wait 1", "right"} << QStringList{"401", "429 1", "control"};
    QTest::newRow("after the block the count starts again")
        << QStringList{"wrong 5", "wait 60000", "wrong 4", "right", "wrong", "right"}
        << QStringList{"401", "401", "control", "401", "429 60"};
    QTest::newRow("each address counts for itself")
        << QStringList{"wrong 5", "right @127.0.0.3", "wrong 4 @192.168.1.20", "right @192.168.1.20", "right"}
        << QStringList{"401", "control", "401", "control", "429 60"};
    QTest::newRow("the IPv4-mapped form is the same address")
        << QStringList{"wrong 3", "wrong 2 @::ffff:127.0.0.2", "right"} << QStringList{"401", "401", "429 60"};
    QTest::newRow("loopback peers are never blocked")
        << QStringList{"wrong 10 @127.0.0.1", "wrong 10 @::1"} << QStringList{"control", "control"};

    // Commands: 10 a second per address, a burst of 20.
    QTest::newRow("a burst of 20") << QStringList{"take 20", "take"} << QStringList{"20/20", "0/1 retry 1"};
    QTest::newRow("21 at once") << QStringList{"take 21"} << QStringList{"20/21 retry 1"};
    QTest::newRow("one back after 100 ms") << QStringList{"take 20", "wait 99", "take", "wait 1", "take", "take"}
                                           << QStringList{"20/20", "0/1 retry 1", "1/1", "0/1 retry 1"};
    QTest::newRow("ten back in a second")
        << QStringList{"take 20", "wait 1000", "take 11"} << QStringList{"20/20", "10/11 retry 1"};
    QTest::newRow("refilled in pieces of 10 ms")
        << QStringList{"take 20", "wait 10", "wait 10", "wait 10", "wait 10", "wait 10", "wait 10",
                       "wait 10", "wait 10", "wait 10", "take",    "wait 10", "take",    "take"}
        << QStringList{"20/20", "0/1 retry 1", "1/1", "0/1 retry 1"};
    QTest::newRow("the refill stops at 20")
        << QStringList{"take 5", "wait 60000", "take 21"} << QStringList{"5/5", "20/21 retry 1"};
    QTest::newRow("each address has its own")
        << QStringList{"take 21", "take 20 @127.0.0.3", "take @::ffff:127.0.0.2", "take 20 @127.0.0.1"}
        << QStringList{"20/21 retry 1", "20/20", "0/1 retry 1", "20/20"};
    // 10 a second for as long as it goes on, once the burst is spent.
    QStringList steady{"take 20"};
    for (int i = 0; i < 30; ++i)
        steady << QStringLiteral("wait 100") << QStringLiteral("take");
    steady << QStringLiteral("take");
    QStringList steadySaid{"20/20"};
    for (int i = 0; i < 30; ++i)
        steadySaid << QStringLiteral("1/1");
    steadySaid << QStringLiteral("0/1 retry 1");
    QTest::newRow("10 a second without end") << steady << steadySaid;
}

void tst_RemoteAccess::script()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, said);
    ManualClock clock;
    RemoteAccess access(clock);
    access.setTokens(QString::fromLatin1(controlToken), QString::fromLatin1(viewToken));
    QCOMPARE(run(access, clock, steps), said);
}

void tst_RemoteAccess::tablesStayBounded()
{
    ManualClock clock;
    RemoteAccess access(clock);
    access.setTokens(QString::fromLatin1(controlToken), QString::fromLatin1(viewToken));
    const QHostAddress blocked(QStringLiteral("192.168.1.20"));
    for (int i = 0; i < RemoteAccess::WrongTokensAllowed; ++i)
        access.admit(blocked, "guess");
    access.takeCommand(blocked);
    // Fewer newcomers than the tables hold leave the blocked address blocked...
    for (quint32 i = 1; i < quint32(RemoteAccess::MaxAddresses); ++i) {
        const QHostAddress peer(0x0a000000U + i);
        QCOMPARE(describe(access.admit(peer, "guess")), QStringLiteral("401"));
        QVERIFY(access.takeCommand(peer));
    }
    QCOMPARE(access.trackedAddresses(), 2 * RemoteAccess::MaxAddresses);
    QCOMPARE(describe(access.admit(blocked, controlToken)), QStringLiteral("429 60"));
    // ...and a flood of addresses, new ones every time, takes no more room than that.
    for (quint32 i = 0; i < 20000; ++i) {
        const QHostAddress peer(0x0b000000U + i);
        access.admit(peer, "guess");
        access.takeCommand(peer);
        if (i % 1000 == 0)
            clock.advance(1);
    }
    QCOMPARE(access.trackedAddresses(), 2 * RemoteAccess::MaxAddresses);
    // A minute on, everything has run out: an address that guesses again is blocked again,
    // and no table has grown.
    clock.advance(RemoteAccess::BlockMs);
    for (int i = 0; i < 5; ++i)
        access.admit(blocked, "guess");
    QCOMPARE(describe(access.admit(blocked, controlToken)), QStringLiteral("429 60"));
    QVERIFY(access.trackedAddresses() <= 2 * RemoteAccess::MaxAddresses);
}

void tst_RemoteAccess::presentedToken_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<QByteArray>("cookie");
    QTest::addColumn<QByteArray>("token");
    QTest::newRow("bearer") << QByteArray("Bearer abc") << QByteArray() << QByteArray("abc");
    QTest::newRow("bearer in lower case") << QByteArray("bearer abc") << QByteArray() << QByteArray("abc");
    QTest::newRow("bearer in capitals, spaces") << QByteArray("BEARER   abc ") << QByteArray() << QByteArray("abc");
    QTest::newRow("bearer before the cookie")
        << QByteArray("Bearer abc") << QByteArray("zorvik_token=xyz") << QByteArray("abc");
    QTest::newRow("another scheme") << QByteArray("Basic YTpi") << QByteArray() << QByteArray();
    QTest::newRow("another scheme, then the cookie")
        << QByteArray("Basic YTpi") << QByteArray("zorvik_token=xyz") << QByteArray("xyz");
    QTest::newRow("bearer without a token") << QByteArray("Bearer") << QByteArray() << QByteArray();
    QTest::newRow("bearer without a space") << QByteArray("Bearerabc") << QByteArray() << QByteArray();
    QTest::newRow("empty bearer, then the cookie")
        << QByteArray("Bearer ") << QByteArray("zorvik_token=xyz") << QByteArray("xyz");
    QTest::newRow("cookie alone") << QByteArray() << QByteArray("zorvik_token=xyz") << QByteArray("xyz");
    QTest::newRow("cookie among others") << QByteArray() << QByteArray("a=b; zorvik_token=xyz; c=d")
                                         << QByteArray("xyz");
    QTest::newRow("cookie without spaces") << QByteArray() << QByteArray("a=b;zorvik_token=xyz") << QByteArray("xyz");
    QTest::newRow("two Cookie fields joined")
        << QByteArray() << QByteArray("a=b, zorvik_token=xyz") << QByteArray("xyz");
    QTest::newRow("cookie value quoted") << QByteArray() << QByteArray("zorvik_token=\"xyz\"") << QByteArray("xyz");
    QTest::newRow("cookie value empty") << QByteArray() << QByteArray("zorvik_token=; a=b") << QByteArray();
    QTest::newRow("a longer cookie name") << QByteArray() << QByteArray("zorvik_tokens=xyz") << QByteArray();
    QTest::newRow("a cookie name ending alike") << QByteArray() << QByteArray("my_zorvik_token=xyz") << QByteArray();
    QTest::newRow("cookie name in capitals") << QByteArray() << QByteArray("ZORVIK_TOKEN=xyz") << QByteArray();
    QTest::newRow("the name as a value") << QByteArray() << QByteArray("a=zorvik_token") << QByteArray();
    QTest::newRow("nothing") << QByteArray() << QByteArray() << QByteArray();
}

void tst_RemoteAccess::presentedToken()
{
    QFETCH(QByteArray, authorization);
    QFETCH(QByteArray, cookie);
    QFETCH(QByteArray, token);
    QCOMPARE(RemoteAccess::presentedToken(authorization, cookie), token);
}

void tst_RemoteAccess::sameToken_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("alike") << controlToken << controlToken << true;
    QTest::newRow("both empty") << QByteArray() << QByteArray() << true;
    QTest::newRow("one empty") << QByteArray() << controlToken << false;
    QTest::newRow("first byte differs") << "x" + controlToken.mid(1) << controlToken << false;
    QTest::newRow("last byte differs") << controlToken.chopped(1) + 'x' << controlToken << false;
    QTest::newRow("a prefix") << controlToken.left(10) << controlToken << false;
    QTest::newRow("longer") << controlToken << controlToken + '\0' << false;
    QTest::newRow("high bit") << QByteArray("a\x80") << QByteArray("a\x00", 2) << false;
}

void tst_RemoteAccess::sameToken()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, same);
    QCOMPARE(RemoteAccess::sameToken(a, b), same);
    QCOMPARE(RemoteAccess::sameToken(b, a), same);
}

void tst_RemoteAccess::host_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QString>("local");
    QTest::addColumn<bool>("allowed");
    const QString lo = QStringLiteral("127.0.0.1");
    const QString lan = QStringLiteral("192.168.1.20");
    QTest::newRow("localhost") << QByteArray("localhost") << lo << true;
    QTest::newRow("localhost:8750") << QByteArray("localhost:8750") << lo << true;
    QTest::newRow("LocalHost:8750") << QByteArray("LocalHost:8750") << lo << true;
    QTest::newRow("127.0.0.1") << QByteArray("127.0.0.1") << lo << true;
    QTest::newRow("127.0.0.1:8750") << QByteArray("127.0.0.1:8750") << lo << true;
    QTest::newRow("127.1, as IPv4 may be written") << QByteArray("127.1:8750") << lo << true;
    QTest::newRow("0x7f.0.0.1, as IPv4 may be written") << QByteArray("0x7f.0.0.1") << lo << true;
    QTest::newRow("a different port") << QByteArray("127.0.0.1:9000") << lo << true;
    QTest::newRow("port 65535") << QByteArray("localhost:65535") << lo << true;
    QTest::newRow("[::1]") << QByteArray("[::1]") << lo << true;
    QTest::newRow("[::1]:8750") << QByteArray("[::1]:8750") << QStringLiteral("::1") << true;
    QTest::newRow("[0:0:0:0:0:0:0:1]:8750") << QByteArray("[0:0:0:0:0:0:0:1]:8750") << lo << true;
    QTest::newRow("[::ffff:127.0.0.1]:8750") << QByteArray("[::ffff:127.0.0.1]:8750") << lo << true;
    QTest::newRow("127.0.0.1 from the network") << QByteArray("127.0.0.1:8750") << lan << true;
    QTest::newRow("the LAN address") << QByteArray("192.168.1.20:8750") << lan << true;
    QTest::newRow("the LAN address, arrived IPv4-mapped")
        << QByteArray("192.168.1.20:8750") << QStringLiteral("::ffff:192.168.1.20") << true;
    QTest::newRow("the LAN address IPv4-mapped") << QByteArray("[::ffff:192.168.1.20]") << lan << true;
    QTest::newRow("an IPv6 LAN address") << QByteArray("[fd00::20]:8750") << QStringLiteral("fd00::20") << true;
    QTest::newRow("an IPv6 LAN address in capitals") << QByteArray("[FD00::20]") << QStringLiteral("fd00::20") << true;
    QTest::newRow("127.0.0.2 where it arrived") << QByteArray("127.0.0.2:8750") << QStringLiteral("127.0.0.2") << true;

    QTest::newRow("missing") << QByteArray() << lo << false;
    QTest::newRow("evil.example") << QByteArray("evil.example") << lo << false;
    QTest::newRow("evil.example:8750") << QByteArray("evil.example:8750") << lo << false;
    QTest::newRow("127.0.0.1.evil.example") << QByteArray("127.0.0.1.evil.example") << lo << false;
    QTest::newRow("localhost.evil.example") << QByteArray("localhost.evil.example:8750") << lo << false;
    QTest::newRow("localhost.") << QByteArray("localhost.") << lo << false;
    QTest::newRow("user@localhost") << QByteArray("user@localhost") << lo << false;
    QTest::newRow("localhost@evil.example") << QByteArray("localhost@evil.example") << lo << false;
    QTest::newRow("another LAN address") << QByteArray("192.168.1.21:8750") << lan << false;
    QTest::newRow("the LAN address, arrived on loopback") << QByteArray("192.168.1.20:8750") << lo << false;
    QTest::newRow("127.0.0.2 arrived on 127.0.0.1") << QByteArray("127.0.0.2:8750") << lo << false;
    QTest::newRow("0.0.0.0") << QByteArray("0.0.0.0:8750") << lo << false;
    QTest::newRow("0.0.0.0, arrived on no address") << QByteArray("0.0.0.0:8750") << QStringLiteral("0.0.0.0") << false;
    QTest::newRow("[::], arrived on no address") << QByteArray("[::]:8750") << QStringLiteral("::") << false;
    QTest::newRow("::1 without brackets") << QByteArray("::1") << lo << false;
    QTest::newRow("IPv4 in brackets") << QByteArray("[127.0.0.1]:8750") << lo << false;
    QTest::newRow("no closing bracket") << QByteArray("[::1") << lo << false;
    QTest::newRow("text after the bracket") << QByteArray("[::1]x") << lo << false;
    QTest::newRow("a zone in the brackets") << QByteArray("[fe80::1%25eth0]:8750") << lo << false;
    QTest::newRow("colon without a port") << QByteArray("localhost:") << lo << false;
    QTest::newRow("bracket, colon without a port") << QByteArray("[::1]:") << lo << false;
    QTest::newRow("port not a number") << QByteArray("localhost:http") << lo << false;
    QTest::newRow("port 65536") << QByteArray("localhost:65536") << lo << false;
    QTest::newRow("port of 6 digits") << QByteArray("127.0.0.1:008750") << lo << false;
    QTest::newRow("two ports") << QByteArray("localhost:8750:8750") << lo << false;
    QTest::newRow("port with a sign") << QByteArray("localhost:+8750") << lo << false;
    QTest::newRow("a space inside") << QByteArray("127.0.0.1 :8750") << lo << false;
    QTest::newRow("empty name with a port") << QByteArray(":8750") << lo << false;
}

void tst_RemoteAccess::host()
{
    QFETCH(QByteArray, host);
    QFETCH(QString, local);
    QFETCH(bool, allowed);
    QCOMPARE(RemoteAccess::hostAllowed(host, QHostAddress(local)), allowed);
}

void tst_RemoteAccess::origin_data()
{
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("allowed");
    const QByteArray host = "127.0.0.1:8750";
    QTest::newRow("none") << QByteArray() << host << true;
    QTest::newRow("the page's own") << QByteArray("http://127.0.0.1:8750") << host << true;
    QTest::newRow("in another letter case")
        << QByteArray("HTTP://LocalHost:8750") << QByteArray("localhost:8750") << true;
    QTest::newRow("IPv6") << QByteArray("http://[::1]:8750") << QByteArray("[::1]:8750") << true;
    QTest::newRow("Host without a port") << QByteArray("http://localhost") << QByteArray("localhost") << true;
    QTest::newRow("null") << QByteArray("null") << host << false;
    QTest::newRow("https") << QByteArray("https://127.0.0.1:8750") << host << false;
    QTest::newRow("another port") << QByteArray("http://127.0.0.1:8751") << host << false;
    QTest::newRow("without the port") << QByteArray("http://127.0.0.1") << host << false;
    QTest::newRow("the same computer by another name") << QByteArray("http://localhost:8750") << host << false;
    QTest::newRow("with a path") << QByteArray("http://127.0.0.1:8750/") << host << false;
    QTest::newRow("a foreign page") << QByteArray("http://evil.example") << host << false;
    QTest::newRow("a foreign page named alike") << QByteArray("http://127.0.0.1:8750.evil.example") << host << false;
    QTest::newRow("no Host") << QByteArray("http://") << QByteArray() << false;
    QTest::newRow("the Host alone") << QByteArray("127.0.0.1:8750") << host << false;
}

void tst_RemoteAccess::origin()
{
    QFETCH(QByteArray, origin);
    QFETCH(QByteArray, host);
    QFETCH(bool, allowed);
    QCOMPARE(RemoteAccess::originAllowed(origin, host), allowed);
}

QTEST_GUILESS_MAIN(tst_RemoteAccess)
#include "tst_remoteaccess.moc"
