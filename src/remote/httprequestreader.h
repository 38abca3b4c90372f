#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QPair>
#include <QtGlobal>

#include <optional>

// The requests of the remote control's HTTP/1.1 server, read from a connection's bytes by a
// strict, bounded reader of our own. The reader knows nothing of sockets or time: the server
// feeds it what arrived and applies its own time limit to a request left unfinished.
//
// What it reads:
// - The request line: a method (a token, letter case kept), one space, a target (visible
//   ASCII, checked further by HttpTarget::parse), one space, and HTTP/1.1 or HTTP/1.0. A
//   well-formed other version (HTTP/2.0, HTTP/1.2) is answered 505; any other form 400.
//   Empty lines before the request line are passed over (they count towards the head's limit).
// - Header fields: a token name immediately followed by ':', and a value of visible ASCII,
//   spaces, tabs and bytes 0x80 to 0xFF; whitespace around the value is dropped. Names are kept
//   in lower case and looked up in any case; a repeated field keeps each of its values.
// - Every line ends in CRLF. A bare LF, a CR inside a line, any other control character, a
//   space before the colon and a continuation line (obsolete line folding: a line starting
//   with a space or tab) are refused with 400: a reader that accepts what another one in
//   front of it reads differently opens the door to request smuggling.
// - HTTP/1.1 asks for exactly one Host field: none or several are refused with 400.
// - The body, by Content-Length alone; a request without it has none. Content-Length must
//   be decimal digits; several of them (fields or a comma list) must say the same number,
//   otherwise 400. Transfer-Encoding is not implemented: alone it is answered 501, together
//   with Content-Length 400 (the two disagree on where the request ends).
//
// Limits, counted from the request's first byte:
// - MaxHeadSize: the request line, the header fields and the empty line that ends them, with
//   their CRLFs. A head that does not end within it is answered 431, also when the request
//   line alone is too long (431 rather than 414, so the answer does not depend on where in
//   the head the limit was reached). More than MaxHeaderFields fields are answered 431 too.
// - MaxBodySize: a larger Content-Length is answered 413 as soon as the head is read,
//   before any of the body arrives.
// The reader holds at most MaxRequestSize bytes: one request of the largest size allowed, or
// a request and the beginning of the ones sent after it. It takes no more than that: what
// feed() does not take stays with the caller, to be fed once takeRequest() has made room.
//
// Errors: an HTTP status to answer with and a code that does not change between versions
// (the JSON error body's code):
//   400 "bad_request", 413 "too_large", 431 "headers_too_large", 501 "not_implemented",
//   505 "version_not_supported".
// After an error the connection's framing is lost: answer and close, the reader takes
// nothing more.
//
// Thread contract: a plain value with no threads of its own; one connection's reader is used
// on one thread at a time.

// A request as read: the target as it came (HttpTarget::parse splits and checks it).
struct HttpRequest
{
    QByteArray method;
    QByteArray target;
    // 0 for HTTP/1.0, 1 for HTTP/1.1.
    int minorVersion = 1;
    // In the order received: names in lower case, values without surrounding whitespace.
    QList<QPair<QByteArray, QByteArray>> fields;
    QByteArray body;

    // Every value of the field, in order; the name in any letter case.
    QList<QByteArray> headers(const QByteArray &name) const;
    // Every value of the field, joined with ", " as a repeated field's values combine; empty
    // when it is absent.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;
    // Whether the connection stays open for the next request: for HTTP/1.1 unless
    // Connection names "close", for HTTP/1.0 only when it names "keep-alive".
    bool keepAlive() const;
};

class HttpRequestReader
{
public:
    static constexpr int MaxHeadSize = 8 * 1024;
    static constexpr int MaxBodySize = 4 * 1024;
    static constexpr int MaxRequestSize = MaxHeadSize + MaxBodySize;
    static constexpr int MaxHeaderFields = 100;

    enum class Status { NeedMore, Complete, Error };

    // Takes as many of the bytes as room() allows and reads on; returns how many it took.
    int feed(const QByteArray &bytes);
    int feed(const char *data, int size);
    // How many bytes feed() would take now: 0 after an error.
    int room() const;

    Status status() const
    {
        return state == State::Complete ? Status::Complete : state == State::Failed ? Status::Error : Status::NeedMore;
    }
    // The complete request; the reader goes on with the bytes it holds after it, which may
    // complete (or break) the next request at once. Only when status() is Complete; an empty
    // request (no method) otherwise.
    HttpRequest takeRequest();

    // The head of a request whose body is still awaited (a server answers "Expect:
    // 100-continue" then); nullptr at any other time.
    const HttpRequest *headAwaitingBody() const { return state == State::Body ? &request : nullptr; }

    // After an error: the status to answer with and the error's code.
    int errorStatus() const { return failure.status; }
    QLatin1String errorCode() const { return QLatin1String(failure.code); }

    // The bytes held: the request being read and any after it. Above 0 while a request is
    // unfinished, which is when the server's time limit applies.
    int buffered() const { return int(pending.size()); }

private:
    enum class State { Head, Body, Complete, Failed };
    struct Failure
    {
        int status = 0;
        const char *code = "";
    };

    void readOn();
    bool readLine(const QByteArray &line);
    bool readRequestLine(const QByteArray &line);
    bool readField(const QByteArray &line);
    void endHead(int end);
    void fail(int status, const char *code);

    QByteArray pending;
    State state = State::Head;
    Failure failure;
    // Head: where the line being read starts and where the search for its end goes on.
    int lineStart = 0;
    int scanFrom = 0;
    bool requestLineRead = false;
    // Body: where it starts in pending and how long it is.
    int bodyStart = 0;
    int bodyLength = 0;
    HttpRequest request;
};

// An origin-form request target ("/path?query"), split and checked. Path and query stay
// percent-encoded (a decoded "%2F" would read as a separator); every escape in them is
// well-formed, so QByteArray::fromPercentEncoding() decodes them as they are.
struct HttpTarget
{
    QByteArray path;
    QByteArray query;
    bool hasQuery = false;

    // Nothing when the target does not start with '/', holds anything but visible ASCII
    // (a control character, NUL, space, DEL or a byte above 0x7F), a '#', a '%' not
    // followed by two hex digits, or an escaped NUL ("%00").
    static std::optional<HttpTarget> parse(const QByteArray &target);
};
