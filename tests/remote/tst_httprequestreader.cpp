// The remote control's HTTP request reader: what it makes of a connection's bytes, whether
// they arrive whole, a byte at a time or in pieces of any size, at and around every limit.

#include "remote/httprequestreader.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// How the bytes of a row are cut before they are fed.
enum class Cut { Whole, Bytes, Random };

QString describe(const HttpRequest &request)
{
    const QByteArray body =
        request.body.size() <= 16 ? request.body : QByteArray::number(request.body.size()) + " bytes";
    return QString::fromLatin1(request.method + ' ' + request.target + " HTTP/1."
                               + QByteArray::number(request.minorVersion) + " [" + body + ']');
}

// What the reader says of the bytes: each request it completed, then its error or how many
// bytes of an unfinished request it holds. Bytes it does not take are offered again, as a
// server leaves them in its socket; a reader that takes nothing and completes nothing, or
// holds more than it may, ends the list with what went wrong.
QStringList readAll(const QByteArray &input, Cut cut)
{
    HttpRequestReader reader;
    QRandomGenerator random(20261209);
    QStringList said;
    QByteArray offered;
    int at = 0;
    for (int round = 0; round < 100000 && (at < input.size() || !offered.isEmpty()); ++round) {
        if (offered.isEmpty()) {
            const int piece = cut == Cut::Whole ? int(input.size()) : cut == Cut::Bytes ? 1 : random.bounded(1, 300);
            offered = input.mid(at, piece);
            at += int(offered.size());
        }
        const int taken = reader.feed(offered);
        offered.remove(0, taken);
        if (reader.buffered() > 12288)
            return said << QStringLiteral("holds %1 bytes").arg(reader.buffered());
        bool completed = false;
        while (reader.status() == HttpRequestReader::Status::Complete) {
            said << describe(reader.takeRequest());
            completed = true;
        }
        if (reader.status() == HttpRequestReader::Status::Error) {
            if (reader.buffered() != 0 || reader.room() != 0 || reader.feed("GET / HTTP/1.0\r\n\r\n") != 0)
                return said << QStringLiteral("reads on after an error");
            return said << QString::number(reader.errorStatus()) + ' ' + reader.errorCode();
        }
        if (taken == 0 && !completed)
            return said << QStringLiteral("stuck");
    }
    return said << QStringLiteral("need more, %1 held").arg(reader.buffered());
}

// A request whose head (request line, fields and the empty line) is exactly `size` bytes,
// padded in a field of its own.
QByteArray headOfSize(int size, const QByteArray &fields = {})
{
    const QByteArray start = "GET / HTTP/1.1\r\nHost: a\r\n" + fields + "X-Pad: ";
    return start + QByteArray(size - int(start.size()) - 4, 'p') + "\r\n\r\n";
}

// A request whose request line alone (with its CRLF, and the empty line) is `size` bytes.
QByteArray requestLineOfSize(int size) { return "GET /" + QByteArray(size - 18, 'a') + " HTTP/1.0\r\n\r\n"; }

QByteArray withBody(int length)
{
    return "POST /api/v1/select HTTP/1.1\r\nHost: a\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n"
        + QByteArray(length, 'b');
}

QByteArray withFields(int count)
{
    QByteArray fields;
    for (int field = 1; field < count; ++field)
        fields += "X-" + QByteArray::number(field) + ": v\r\n";
    return "GET / HTTP/1.1\r\nHost: a\r\n" + fields + "\r\n";
}

} // namespace

class tst_HttpRequestReader : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void readingStopsAtTheLimit();
    void fields();
    void keepAlive_data();
    void keepAlive();
    void target_data();
    void target();
};

void tst_HttpRequestReader::read_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("said");
    const QByteArray get = "GET /api/v1/state HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n";
    QTest::newRow("GET") << get << QStringList{"GET /api/v1/state HTTP/1.1 []", "need more, 0 held"};
    QTest::newRow("HTTP/1.0 without Host")
        << QByteArray("GET / HTTP/1.0\r\n\r\n") << QStringList{"GET / HTTP/1.0 []", "need more, 0 held"};
    QTest::newRow("POST with a body") << QByteArray(
        "POST /api/v1/select HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\nhello")
                                      << QStringList{"POST /api/v1/select HTTP/1.1 [hello]", "need more, 0 held"};
    QTest::newRow("Content-Length 0") << QByteArray("POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n")
                                      << QStringList{"POST / HTTP/1.0 []", "need more, 0 held"};
    QTest::newRow("Content-Length repeated alike")
        << QByteArray("POST / HTTP/1.0\r\nContent-Length: 2\r\ncontent-length: 002\r\n\r\nok")
        << QStringList{"POST / HTTP/1.0 [ok]", "need more, 0 held"};
    QTest::newRow("Content-Length list alike") << QByteArray("POST / HTTP/1.0\r\nContent-Length: 2 , 2\r\n\r\nok")
                                               << QStringList{"POST / HTTP/1.0 [ok]", "need more, 0 held"};
    QTest::newRow("empty lines before the request line")
        << QByteArray("\r\n\r\nGET / HTTP/1.0\r\n\r\n") << QStringList{"GET / HTTP/1.0 []", "need more, 0 held"};
    QTest::newRow("method of any token") << QByteArray("M-SEARCH /x?y=1 HTTP/1.0\r\n\r\n")
                                         << QStringList{"M-SEARCH /x?y=1 HTTP/1.0 []", "need more, 0 held"};
    QTest::newRow("head cut short") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n") << QStringList{"need more, 25 held"};
    QTest::newRow("head's last LF missing") << QByteArray("GET / HTTP/1.0\r\n\r") << QStringList{"need more, 17 held"};
    QTest::newRow("body cut short") << QByteArray("POST / HTTP/1.0\r\nContent-Length: 5\r\n\r\nhel")
                                    << QStringList{"need more, 41 held"};

    // Pipelining: what follows a request is kept for the next one.
    QTest::newRow("three pipelined, the last unfinished")
        << QByteArray("GET /1 HTTP/1.1\r\nHost: a\r\n\r\n"
                      "POST /2 HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc"
                      "GET /3 HTTP/1.1\r\n")
        << QStringList{"GET /1 HTTP/1.1 []", "POST /2 HTTP/1.1 [abc]", "need more, 17 held"};
    QTest::newRow("body followed by a request")
        << QByteArray("POST /1 HTTP/1.0\r\nContent-Length: 2\r\n\r\nxy"
                      "GET /2 HTTP/1.0\r\n\r\n")
        << QStringList{"POST /1 HTTP/1.0 [xy]", "GET /2 HTTP/1.0 []", "need more, 0 held"};
    QTest::newRow("pipelined, the second malformed") << get + "GET / HTTP/1.1\nHost: a\r\n\r\n" + get
                                                     << QStringList{"GET /api/v1/state HTTP/1.1 []", "400 bad_request"};
    QTest::newRow("largest request, then another")
        << headOfSize(8192, "Content-Length: 4096\r\n") + QByteArray(4096, 'b') + get
        << QStringList{"GET / HTTP/1.1 [4096 bytes]", "GET /api/v1/state HTTP/1.1 []", "need more, 0 held"};

    // Limits: at, under and over by one byte.
    QTest::newRow("head 8191 bytes") << headOfSize(8191) << QStringList{"GET / HTTP/1.1 []", "need more, 0 held"};
    QTest::newRow("head 8192 bytes") << headOfSize(8192) << QStringList{"GET / HTTP/1.1 []", "need more, 0 held"};
    QTest::newRow("head 8193 bytes") << headOfSize(8193) << QStringList{"431 headers_too_large"};
    QTest::newRow("head 8193 bytes, the last LF missing")
        << headOfSize(8193).chopped(1) << QStringList{"431 headers_too_large"};
    QTest::newRow("request line 8191 bytes")
        << requestLineOfSize(8191) << QStringList{"GET /" + QString(8173, 'a') + " HTTP/1.0 []", "need more, 0 held"};
    QTest::newRow("request line 8192 bytes")
        << requestLineOfSize(8192) << QStringList{"GET /" + QString(8174, 'a') + " HTTP/1.0 []", "need more, 0 held"};
    QTest::newRow("request line 8193 bytes") << requestLineOfSize(8193) << QStringList{"431 headers_too_large"};
    QTest::newRow("request line without end")
        << "GET /" + QByteArray(20000, 'a') << QStringList{"431 headers_too_large"};
    QTest::newRow("body 4095 bytes") << withBody(4095)
                                     << QStringList{"POST /api/v1/select HTTP/1.1 [4095 bytes]", "need more, 0 held"};
    QTest::newRow("body 4096 bytes") << withBody(4096)
                                     << QStringList{"POST /api/v1/select HTTP/1.1 [4096 bytes]", "need more, 0 held"};
    QTest::newRow("body 4097 bytes") << withBody(4097) << QStringList{"413 too_large"};
    QTest::newRow("413 before the body") << withBody(4097).left(63) << QStringList{"413 too_large"};
    QTest::newRow("Content-Length of 20 digits")
        << QByteArray("POST / HTTP/1.0\r\nContent-Length: 18446744073709551617\r\n\r\n")
        << QStringList{"413 too_large"};
    QTest::newRow("99 fields") << withFields(99) << QStringList{"GET / HTTP/1.1 []", "need more, 0 held"};
    QTest::newRow("100 fields") << withFields(100) << QStringList{"GET / HTTP/1.1 []", "need more, 0 held"};
    QTest::newRow("101 fields") << withFields(101) << QStringList{"431 headers_too_large"};

    // Malformed.
    const QStringList bad{"400 bad_request"};
    QTest::newRow("bare LF ending the request line") << QByteArray("GET / HTTP/1.0\n\r\n") << bad;
    QTest::newRow("bare LF ending a field") << QByteArray("GET / HTTP/1.1\r\nHost: a\n\r\n") << bad;
    QTest::newRow("bare LF ending the head") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n\n") << bad;
    QTest::newRow("lone LF before the request line") << QByteArray("\nGET / HTTP/1.0\r\n\r\n") << bad;
    QTest::newRow("CR inside a field value") << QByteArray("GET / HTTP/1.1\r\nHost: a\rb\r\n\r\n") << bad;
    QTest::newRow("CR ending a field value") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\r\n\r\n") << bad;
    QTest::newRow("NUL in a field value") << QByteArray("GET / HTTP/1.1\r\nHost: a") + '\0' + "b\r\n\r\n" << bad;
    QTest::newRow("DEL in a field value") << QByteArray("GET / HTTP/1.1\r\nHost: a\x7f\r\n\r\n") << bad;
    QTest::newRow("obsolete line folding") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\nX: 1\r\n\t2\r\n\r\n") << bad;
    QTest::newRow("first field folded") << QByteArray("GET / HTTP/1.0\r\n X: 1\r\n\r\n") << bad;
    QTest::newRow("space before the colon") << QByteArray("GET / HTTP/1.1\r\nHost : a\r\n\r\n") << bad;
    QTest::newRow("no field name") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n: b\r\n\r\n") << bad;
    QTest::newRow("no colon") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\nX\r\n\r\n") << bad;
    QTest::newRow("field name not a token") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\nX(y): b\r\n\r\n") << bad;
    QTest::newRow("method not a token") << QByteArray("G/T / HTTP/1.0\r\n\r\n") << bad;
    QTest::newRow("no method") << QByteArray(" / HTTP/1.0\r\n\r\n") << bad;
    QTest::newRow("two spaces") << QByteArray("GET  / HTTP/1.0\r\n\r\n") << bad;
    QTest::newRow("space after the version") << QByteArray("GET / HTTP/1.0 \r\n\r\n") << bad;
    QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << bad;
    QTest::newRow("version in lower case") << QByteArray("GET / http/1.1\r\nHost: a\r\n\r\n") << bad;
    QTest::newRow("version of three digits") << QByteArray("GET / HTTP/1.10\r\nHost: a\r\n\r\n") << bad;
    QTest::newRow("control character in the target") << QByteArray("GET /a\x01 HTTP/1.0\r\n\r\n") << bad;
    QTest::newRow("byte above 0x7F in the target") << QByteArray("GET /\xc3\xa9 HTTP/1.0\r\n\r\n") << bad;
    QTest::newRow("HTTP/1.1 without Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << bad;
    QTest::newRow("two Host fields") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\nHost: a\r\n\r\n") << bad;
    QTest::newRow("Transfer-Encoding and Content-Length")
        << QByteArray("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nabc")
        << bad;
    QTest::newRow("Content-Length not a number") << QByteArray("POST / HTTP/1.0\r\nContent-Length: abc\r\n\r\n") << bad;
    QTest::newRow("Content-Length negative") << QByteArray("POST / HTTP/1.0\r\nContent-Length: -1\r\n\r\n") << bad;
    QTest::newRow("Content-Length signed") << QByteArray("POST / HTTP/1.0\r\nContent-Length: +1\r\n\r\nx") << bad;
    QTest::newRow("Content-Length empty") << QByteArray("POST / HTTP/1.0\r\nContent-Length:\r\n\r\n") << bad;
    QTest::newRow("Content-Length with a fraction")
        << QByteArray("POST / HTTP/1.0\r\nContent-Length: 1.0\r\n\r\nx") << bad;
    QTest::newRow("Content-Length repeated, differing")
        << QByteArray("POST / HTTP/1.0\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nxy") << bad;
    QTest::newRow("Content-Length list, differing")
        << QByteArray("POST / HTTP/1.0\r\nContent-Length: 1, 2\r\n\r\nxy") << bad;
    QTest::newRow("Content-Length list, an empty element")
        << QByteArray("POST / HTTP/1.0\r\nContent-Length: 1,\r\n\r\nx") << bad;

    // Well-formed, but not served.
    QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\n\r\n") << QStringList{"505 version_not_supported"};
    QTest::newRow("HTTP/1.2") << QByteArray("GET / HTTP/1.2\r\nHost: a\r\n\r\n")
                              << QStringList{"505 version_not_supported"};
    QTest::newRow("Transfer-Encoding") << QByteArray("POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n")
                                       << QStringList{"501 not_implemented"};
}

void tst_HttpRequestReader::read()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, said);
    QCOMPARE(readAll(input, Cut::Whole), said);
    QCOMPARE(readAll(input, Cut::Bytes), said);
    QCOMPARE(readAll(input, Cut::Random), said);
}

// Bytes past what the reader may hold stay with the caller; after an error it takes none.
void tst_HttpRequestReader::readingStopsAtTheLimit()
{
    HttpRequestReader reader;
    const QByteArray small = "GET / HTTP/1.0\r\n\r\n";
    QCOMPARE(reader.feed(small + QByteArray(20000, 'x')), 12288);
    QCOMPARE(reader.status(), HttpRequestReader::Status::Complete);
    QCOMPARE(reader.buffered(), 12288);
    QCOMPARE(reader.room(), 0);
    QCOMPARE(reader.feed("x"), 0);

    QCOMPARE(reader.takeRequest().target, QByteArray("/"));
    QCOMPARE(reader.status(), HttpRequestReader::Status::Error);
    QCOMPARE(reader.errorStatus(), 431);
    QCOMPARE(reader.buffered(), 0);
    QCOMPARE(reader.feed(small), 0);
    QCOMPARE(reader.takeRequest().method, QByteArray());
}

void tst_HttpRequestReader::fields()
{
    HttpRequestReader reader;
    reader.feed("GET / HTTP/1.1\r\nHost: a\r\nSet-Cookie: one\r\nX-Empty:\r\n"
                "X-Spaced: \t  inner  space \t\r\nset-cookie:two\r\nX-Latin: caf\xe9\r\n\r\n");
    QCOMPARE(reader.status(), HttpRequestReader::Status::Complete);
    const HttpRequest request = reader.takeRequest();
    QCOMPARE(request.headers("SET-COOKIE"), (QList<QByteArray>{"one", "two"}));
    QCOMPARE(request.header("Set-Cookie"), QByteArray("one, two"));
    QCOMPARE(request.header("x-spaced"), QByteArray("inner  space"));
    QCOMPARE(request.header("X-Latin"), QByteArray("caf\xe9"));
    QVERIFY(request.hasHeader("x-empty"));
    QCOMPARE(request.header("X-Empty"), QByteArray());
    QVERIFY(!request.hasHeader("X-Absent"));
    QCOMPARE(request.fields.size(), 6);
    QCOMPARE(request.fields.at(1).first, QByteArray("set-cookie"));
}

void tst_HttpRequestReader::keepAlive_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("keepAlive");
    QTest::newRow("1.1") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n\r\n") << true;
    QTest::newRow("1.1 close") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\nConnection: Close\r\n\r\n") << false;
    QTest::newRow("1.1 close in a list") << QByteArray(
        "GET / HTTP/1.1\r\nHost: a\r\nConnection: upgrade\r\nConnection: x, close\r\n\r\n")
                                         << false;
    QTest::newRow("1.1 closed, not close")
        << QByteArray("GET / HTTP/1.1\r\nHost: a\r\nConnection: closed\r\n\r\n") << true;
    QTest::newRow("1.0") << QByteArray("GET / HTTP/1.0\r\n\r\n") << false;
    QTest::newRow("1.0 keep-alive") << QByteArray("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n") << true;
}

void tst_HttpRequestReader::keepAlive()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, keepAlive);
    HttpRequestReader reader;
    reader.feed(head);
    QCOMPARE(reader.status(), HttpRequestReader::Status::Complete);
    QCOMPARE(reader.takeRequest().keepAlive(), keepAlive);
}

void tst_HttpRequestReader::target_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("hasQuery");
    QTest::addColumn<QByteArray>("query");
    QTest::newRow("root") << QByteArray("/") << true << QByteArray("/") << false << QByteArray();
    QTest::newRow("path and query") << QByteArray("/api/v1/state?since=3&x") << true << QByteArray("/api/v1/state")
                                    << true << QByteArray("since=3&x");
    QTest::newRow("empty query") << QByteArray("/a?") << true << QByteArray("/a") << true << QByteArray();
    QTest::newRow("question mark in the query")
        << QByteArray("/a?b?c") << true << QByteArray("/a") << true << QByteArray("b?c");
    QTest::newRow("escapes stay encoded")
        << QByteArray("/a%2Fb?q=%20%e9") << true << QByteArray("/a%2Fb") << true << QByteArray("q=%20%e9");
    QTest::newRow("empty segments") << QByteArray("//a//") << true << QByteArray("//a//") << false << QByteArray();
    const QByteArray none;
    QTest::newRow("empty") << QByteArray() << false << none << false << none;
    QTest::newRow("asterisk") << QByteArray("*") << false << none << false << none;
    QTest::newRow("absolute form") << QByteArray("http://a/b") << false << none << false << none;
    QTest::newRow("query alone") << QByteArray("?a") << false << none << false << none;
    QTest::newRow("NUL") << QByteArray("/a\0b", 4) << false << none << false << none;
    QTest::newRow("control character") << QByteArray("/a\x1f") << false << none << false << none;
    QTest::newRow("DEL") << QByteArray("/a\x7f") << false << none << false << none;
    QTest::newRow("space") << QByteArray("/a b") << false << none << false << none;
    QTest::newRow("byte above 0x7F") << QByteArray("/caf\xe9") << false << none << false << none;
    QTest::newRow("fragment") << QByteArray("/a#b") << false << none << false << none;
    QTest::newRow("lone percent") << QByteArray("/a%") << false << none << false << none;
    QTest::newRow("percent and one digit") << QByteArray("/a%2") << false << none << false << none;
    QTest::newRow("percent and not hex") << QByteArray("/a%zz") << false << none << false << none;
    QTest::newRow("percent, hex, not hex") << QByteArray("/a%2g") << false << none << false << none;
    QTest::newRow("broken escape in the query") << QByteArray("/a?q=%4") << false << none << false << none;
    QTest::newRow("escaped NUL") << QByteArray("/a%00b") << false << none << false << none;
}

void tst_HttpRequestReader::target()
{
    QFETCH(QByteArray, target);
    QFETCH(bool, valid);
    QFETCH(QByteArray, path);
    QFETCH(bool, hasQuery);
    QFETCH(QByteArray, query);
    const std::optional<HttpTarget> split = HttpTarget::parse(target);
    QCOMPARE(split.has_value(), valid);
    if (!split)
        return;
    QCOMPARE(split->path, path);
    QCOMPARE(split->hasQuery, hasQuery);
    QCOMPARE(split->query, query);
}

QTEST_GUILESS_MAIN(tst_HttpRequestReader)
#include "tst_httprequestreader.moc"
