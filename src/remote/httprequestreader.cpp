#include "httprequestreader.h"

#include <cstring>

namespace {

// A token's characters: the method and field names.
bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c));
}

bool isToken(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return false;
    for (const char c : bytes) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

bool isVisible(char c) { return c > 0x20 && c < 0x7f; }

// A field value's characters: visible ASCII, space, tab and the bytes above 0x7F (char may
// be signed: those are compared unsigned).
bool isValueChar(char c)
{
    const uchar u = uchar(c);
    return u == '\t' || (u >= 0x20 && u != 0x7f);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Without the spaces and tabs around it (QByteArray::trimmed() would drop a CR or an LF too).
QByteArray withoutWhitespace(const QByteArray &bytes)
{
    int from = 0;
    int to = int(bytes.size());
    while (from < to && (bytes[from] == ' ' || bytes[from] == '\t'))
        ++from;
    while (to > from && (bytes[to - 1] == ' ' || bytes[to - 1] == '\t'))
        --to;
    return bytes.mid(from, to - from);
}

// The comma-separated elements of every value, each without its whitespace.
QList<QByteArray> elements(const QList<QByteArray> &values)
{
    QList<QByteArray> found;
    for (const QByteArray &value : values) {
        for (const QByteArray &element : value.split(','))
            found << withoutWhitespace(element);
    }
    return found;
}

} // namespace

QList<QByteArray> HttpRequest::headers(const QByteArray &name) const
{
    const QByteArray lower = name.toLower();
    QList<QByteArray> values;
    for (const auto &field : fields) {
        if (field.first == lower)
            values << field.second;
    }
    return values;
}

QByteArray HttpRequest::header(const QByteArray &name) const { return headers(name).join(", "); }

bool HttpRequest::hasHeader(const QByteArray &name) const { return !headers(name).isEmpty(); }

bool HttpRequest::keepAlive() const
{
    const QByteArray wanted = minorVersion == 0 ? QByteArrayLiteral("keep-alive") : QByteArrayLiteral("close");
    bool named = false;
    for (const QByteArray &option : elements(headers("connection")))
        named = named || option.toLower() == wanted;
    return minorVersion == 0 ? named : !named;
}

int HttpRequestReader::feed(const QByteArray &bytes) { return feed(bytes.constData(), int(bytes.size())); }

int HttpRequestReader::feed(const char *data, int size)
{
    const int taken = qBound(0, size, room());
    if (taken == 0)
        return 0;
    pending.append(data, taken);
    if (state == State::Head || state == State::Body)
        readOn();
    return taken;
}

int HttpRequestReader::room() const { return state == State::Failed ? 0 : MaxRequestSize - int(pending.size()); }

HttpRequest HttpRequestReader::takeRequest()
{
    if (state != State::Complete)
        return {};
    HttpRequest taken = std::move(request);
    pending.remove(0, bodyStart + bodyLength);
    request = HttpRequest();
    state = State::Head;
    lineStart = 0;
    scanFrom = 0;
    requestLineRead = false;
    bodyStart = 0;
    bodyLength = 0;
    readOn();
    return taken;
}

// Reads the head line by line as far as the bytes held allow, then the body. Every decision
// rests on the bytes before it, so the outcome does not depend on how the bytes were cut.
void HttpRequestReader::readOn()
{
    while (state == State::Head) {
        const int end = int(pending.indexOf('\n', scanFrom));
        if (end < 0 || end >= MaxHeadSize) {
            // A line that ends past the limit is refused before it is read.
            if (pending.size() >= MaxHeadSize)
                fail(431, "headers_too_large");
            else
                scanFrom = int(pending.size());
            return;
        }
        if (end == lineStart || pending[end - 1] != '\r') {
            fail(400, "bad_request");
            return;
        }
        const QByteArray line = pending.mid(lineStart, end - 1 - lineStart);
        lineStart = end + 1;
        scanFrom = end + 1;
        if (line.isEmpty() && requestLineRead)
            endHead(end + 1);
        else if (!readLine(line))
            return;
    }
    if (state == State::Body && pending.size() - bodyStart >= bodyLength) {
        request.body = pending.mid(bodyStart, bodyLength);
        state = State::Complete;
    }
}

bool HttpRequestReader::readLine(const QByteArray &line)
{
    if (!requestLineRead)
        return line.isEmpty() || readRequestLine(line);
    // Obsolete line folding: the line would continue the field before it.
    if (line.startsWith(' ') || line.startsWith('\t')) {
        fail(400, "bad_request");
        return false;
    }
    return readField(line);
}

bool HttpRequestReader::readRequestLine(const QByteArray &line)
{
    const int methodEnd = int(line.indexOf(' '));
    const int targetEnd = methodEnd < 0 ? -1 : int(line.indexOf(' ', methodEnd + 1));
    if (targetEnd < 0) {
        fail(400, "bad_request");
        return false;
    }
    const QByteArray method = line.left(methodEnd);
    const QByteArray target = line.mid(methodEnd + 1, targetEnd - methodEnd - 1);
    const QByteArray version = line.mid(targetEnd + 1);
    bool targetVisible = !target.isEmpty();
    for (const char c : target)
        targetVisible = targetVisible && isVisible(c);
    if (!isToken(method) || !targetVisible) {
        fail(400, "bad_request");
        return false;
    }
    if (version == "HTTP/1.1" || version == "HTTP/1.0") {
        request.method = method;
        request.target = target;
        request.minorVersion = version.back() - '0';
        requestLineRead = true;
        return true;
    }
    if (version.size() == 8 && version.startsWith("HTTP/") && isDigit(version[5]) && version[6] == '.'
        && isDigit(version[7]))
        fail(505, "version_not_supported");
    else
        fail(400, "bad_request");
    return false;
}

bool HttpRequestReader::readField(const QByteArray &line)
{
    const int colon = int(line.indexOf(':'));
    const QByteArray name = line.left(colon);
    const QByteArray value = withoutWhitespace(line.mid(colon + 1));
    bool valid = colon > 0 && isToken(name);
    for (const char c : value)
        valid = valid && isValueChar(c);
    if (!valid) {
        fail(400, "bad_request");
        return false;
    }
    if (request.fields.size() == MaxHeaderFields) {
        fail(431, "headers_too_large");
        return false;
    }
    request.fields.append({name.toLower(), value});
    return true;
}

// The head ends at `end`: what its fields say of the body.
void HttpRequestReader::endHead(int end)
{
    if (request.minorVersion == 1 && request.headers("host").size() != 1) {
        fail(400, "bad_request");
        return;
    }
    const QList<QByteArray> lengths = elements(request.headers("content-length"));
    if (request.hasHeader("transfer-encoding")) {
        if (lengths.isEmpty())
            fail(501, "not_implemented");
        else
            fail(400, "bad_request");
        return;
    }
    // Every length the same number, compared without leading zeros so that no digit string
    // overflows; one of more than five digits is past any limit.
    QByteArray length;
    for (const QByteArray &element : lengths) {
        bool digits = !element.isEmpty();
        for (const char c : element)
            digits = digits && isDigit(c);
        int zeros = 0;
        while (zeros < element.size() - 1 && element[zeros] == '0')
            ++zeros;
        const QByteArray number = element.mid(zeros);
        if (!digits || (!length.isEmpty() && number != length)) {
            fail(400, "bad_request");
            return;
        }
        length = number;
    }
    if (length.size() > 5 || length.toInt() > MaxBodySize) {
        fail(413, "too_large");
        return;
    }
    bodyStart = end;
    bodyLength = length.toInt();
    state = State::Body;
}

void HttpRequestReader::fail(int status, const char *code)
{
    state = State::Failed;
    failure = {status, code};
    pending.clear();
    request = HttpRequest();
}

std::optional<HttpTarget> HttpTarget::parse(const QByteArray &target)
{
    if (!target.startsWith('/'))
        return std::nullopt;
    for (int at = 0; at < target.size(); ++at) {
        const char c = target[at];
        if (!isVisible(c) || c == '#')
            return std::nullopt;
        if (c == '%') {
            if (at + 2 >= target.size() || !isHexDigit(target[at + 1]) || !isHexDigit(target[at + 2])
                || (target[at + 1] == '0' && target[at + 2] == '0'))
                return std::nullopt;
            at += 2;
        }
    }
    HttpTarget split;
    const int question = int(target.indexOf('?'));
    split.hasQuery = question >= 0;
    split.path = split.hasQuery ? target.left(question) : target;
    split.query = split.hasQuery ? target.mid(question + 1) : QByteArray();
    return split;
}
