// The OTRSP line reader, command parser and responder on arbitrary bytes. The first byte
// sets how the rest is cut into pieces as the serial port might deliver them; the lines
// and answers must not depend on the cut, no line may pass the length limit, and every
// answer is one of the four the switch gives.
#include "fuzzcheck.h"

#include "rig/otrsp.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace {
struct Heard
{
    QList<QByteArray> lines;
    QByteArray answers;
    int aux1 = 0;
    int aux2 = 0;
};

Heard hear(const QByteArray &input, int piece)
{
    Otrsp::LineReader reader;
    Otrsp::Responder responder;
    Heard heard;
    for (int at = 0; at < input.size(); at += piece) {
        reader.append(input.mid(at, piece));
        FUZZ_CHECK(reader.buffered() <= input.size());
        while (const std::optional<QByteArray> line = reader.nextLine()) {
            FUZZ_CHECK(line->size() <= Otrsp::MaxLineLength);
            FUZZ_CHECK(!line->contains('\r') && !line->contains('\n'));
            const Otrsp::Command command = Otrsp::parse(*line);
            if (command.kind == Otrsp::Command::Kind::Aux)
                FUZZ_CHECK(line->startsWith("AUX") && command.code >= 0 && command.code <= 99);
            if (command.kind == Otrsp::Command::Kind::Aux || command.kind == Otrsp::Command::Kind::QueryAux)
                FUZZ_CHECK(command.radio == 1 || command.radio == 2);
            const QByteArray answer = responder.answer(command);
            FUZZ_CHECK(answer.isEmpty() || answer.endsWith('\r'));
            FUZZ_CHECK(answer.isEmpty() || answer == "?\r" || answer == "NAMEZorvik Remote Control\r"
                       || answer.startsWith("AUX1") || answer.startsWith("AUX2"));
            heard.lines << *line;
            heard.answers += answer;
        }
    }
    heard.aux1 = responder.auxCode(1);
    heard.aux2 = responder.auxCode(2);
    return heard;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int piece = 1 + data[0] % 16;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, int(size) - 1);
    const Heard cut = hear(input, piece);
    const Heard whole = hear(input, qMax(1, int(input.size())));
    FUZZ_CHECK(cut.lines == whole.lines);
    FUZZ_CHECK(cut.answers == whole.answers);
    FUZZ_CHECK(cut.aux1 == whole.aux1 && cut.aux2 == whole.aux2);
    return 0;
}
