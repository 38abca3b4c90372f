// The remote control's HTTP request reader on arbitrary bytes. The first byte sets how the
// rest is cut into pieces as a connection might deliver them; what the reader makes of the
// bytes must not depend on the cut. It never holds more than its limit, takes nothing after
// an error, answers only with its documented statuses and codes, and a complete request's
// body is as long as its Content-Length says, its head within the limits.
#include "fuzzcheck.h"

#include "remote/httprequestreader.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace {

struct Outcome
{
    QList<QByteArray> requests;
    HttpRequestReader::Status status = HttpRequestReader::Status::NeedMore;
    int errorStatus = 0;
    QByteArray errorCode;
    int buffered = 0;
};

// One line per request, with everything the reader read of it.
QByteArray describe(const HttpRequest &request)
{
    QByteArray said = request.method + ' ' + request.target + ' ' + QByteArray::number(request.minorVersion);
    for (const auto &field : request.fields)
        said += '|' + field.first + ':' + field.second;
    return said + '|' + request.body;
}

void checkRequest(const HttpRequest &request)
{
    FUZZ_CHECK(!request.method.isEmpty() && !request.target.isEmpty());
    FUZZ_CHECK(request.minorVersion == 0 || request.minorVersion == 1);
    FUZZ_CHECK(request.fields.size() <= HttpRequestReader::MaxHeaderFields);
    int head = int(request.method.size() + request.target.size());
    for (const auto &field : request.fields) {
        FUZZ_CHECK(!field.first.isEmpty() && field.first == field.first.toLower());
        FUZZ_CHECK(!field.second.contains('\r') && !field.second.contains('\n') && !field.second.contains('\0'));
        head += int(field.first.size() + field.second.size());
    }
    FUZZ_CHECK(head <= HttpRequestReader::MaxHeadSize);
    FUZZ_CHECK(request.body.size() <= HttpRequestReader::MaxBodySize);
    // The body is as long as the (first) Content-Length says, none without one.
    const QByteArray length = request.header("content-length").split(',').first().trimmed();
    FUZZ_CHECK(request.body.size() == (length.isEmpty() ? 0 : length.toInt()));
    FUZZ_CHECK(!request.hasHeader("transfer-encoding"));
    FUZZ_CHECK(request.minorVersion == 0 || request.headers("host").size() == 1);
    // A target that passes is split without losing a byte.
    if (const std::optional<HttpTarget> target = HttpTarget::parse(request.target)) {
        FUZZ_CHECK(target->path.startsWith('/') && !target->path.contains('?'));
        FUZZ_CHECK(target->path + (target->hasQuery ? '?' + target->query : QByteArray()) == request.target);
    }
}

Outcome read(const QByteArray &input, int piece)
{
    HttpRequestReader reader;
    Outcome outcome;
    QByteArray offered;
    int at = 0;
    while (at < input.size() || !offered.isEmpty()) {
        if (offered.isEmpty()) {
            offered = input.mid(at, piece);
            at += int(offered.size());
        }
        const int room = reader.room();
        const int taken = reader.feed(offered);
        FUZZ_CHECK(taken == qMin(room, int(offered.size())));
        offered.remove(0, taken);
        FUZZ_CHECK(reader.buffered() <= HttpRequestReader::MaxRequestSize);
        bool completed = false;
        while (reader.status() == HttpRequestReader::Status::Complete) {
            const HttpRequest request = reader.takeRequest();
            checkRequest(request);
            outcome.requests << describe(request);
            completed = true;
        }
        if (reader.status() == HttpRequestReader::Status::Error)
            break;
        FUZZ_CHECK(reader.room() + reader.buffered() == HttpRequestReader::MaxRequestSize);
        // A reader that holds all it may always decides: it never waits on a full buffer.
        FUZZ_CHECK(taken > 0 || completed);
    }
    outcome.status = reader.status();
    outcome.buffered = reader.buffered();
    if (outcome.status == HttpRequestReader::Status::Error) {
        outcome.errorStatus = reader.errorStatus();
        outcome.errorCode = QByteArray(reader.errorCode().data(), reader.errorCode().size());
        const QByteArray expected = outcome.errorStatus == 400 ? "bad_request"
            : outcome.errorStatus == 413                       ? "too_large"
            : outcome.errorStatus == 431                       ? "headers_too_large"
            : outcome.errorStatus == 501                       ? "not_implemented"
            : outcome.errorStatus == 505                       ? "version_not_supported"
                                                               : "";
        FUZZ_CHECK(!expected.isEmpty() && outcome.errorCode == expected);
        FUZZ_CHECK(reader.buffered() == 0 && reader.room() == 0 && reader.feed(input) == 0);
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int piece = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, int(size) - 1);
    const Outcome cut = read(input, piece);
    const Outcome whole = read(input, qMax(1, int(input.size())));
    FUZZ_CHECK(cut.requests == whole.requests);
    FUZZ_CHECK(cut.status == whole.status);
    FUZZ_CHECK(cut.errorStatus == whole.errorStatus && cut.errorCode == whole.errorCode);
    FUZZ_CHECK(cut.buffered == whole.buffered);
    return 0;
}
