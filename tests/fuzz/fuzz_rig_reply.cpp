// The rigctld reply reader and line parser on arbitrary bytes, and the rigctld address
// parser on the same bytes as text.
//
// The first byte sets how the rest is cut into pieces as the socket might deliver it; the
// lines must not depend on the cut. The expected reading of each line is built with plain
// character tests, not with the parser's own walk.
#include "fuzzcheck.h"

#include "rig/rigreply.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

QList<QByteArray> readLines(const QByteArray &input, int piece)
{
    RigReply::LineReader reader;
    QList<QByteArray> lines;
    for (int at = 0; at < input.size(); at += piece) {
        reader.append(input.mid(at, piece));
        while (const std::optional<QByteArray> line = reader.nextLine())
            lines << *line;
        FUZZ_CHECK(reader.buffered() <= RigReply::LineReader::MaxLineLength);
    }
    return lines;
}

void checkLine(const QByteArray &line)
{
    FUZZ_CHECK(line.size() <= RigReply::LineReader::MaxLineLength);
    FUZZ_CHECK(!line.contains('\n'));

    int begin = 0;
    int end = int(line.size());
    while (begin < end && isBlank(line.at(begin)))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1)))
        --end;
    const QByteArray text = line.mid(begin, end - begin);
    int digits = 0;
    while (digits < text.size() && isDigit(text.at(digits)))
        ++digits;
    bool number = digits >= 1 && digits <= 12;
    if (number && digits < text.size()) {
        number = text.at(digits) == '.';
        for (int i = digits + 1; number && i < text.size(); ++i)
            number = isDigit(text.at(i));
    }
    qint64 hz = 0;
    for (int i = 0; number && i < digits; ++i)
        hz = hz * 10 + (text.at(i) - '0');

    const RigReply::Line read = RigReply::parseLine(line);
    if (text.startsWith("RPRT")) {
        FUZZ_CHECK(read.kind == RigReply::Kind::Error);
    } else if (number && hz > 0) {
        FUZZ_CHECK(read.kind == RigReply::Kind::Frequency);
        FUZZ_CHECK(read.hz == hz);
    } else {
        FUZZ_CHECK(read.kind == RigReply::Kind::Other);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int piece = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, static_cast<int>(size - 1));

    const QList<QByteArray> lines = readLines(input, piece);
    FUZZ_CHECK(lines == readLines(input, input.size() + 1));
    for (const QByteArray &line : lines)
        checkLine(line);

    if (const std::optional<RigAddress> address = RigAddress::parse(QString::fromLatin1(input))) {
        FUZZ_CHECK(!address->host.isEmpty());
        FUZZ_CHECK(address->port >= 1);
    }
    return 0;
}
