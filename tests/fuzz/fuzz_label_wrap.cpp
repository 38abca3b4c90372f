// The antenna-name line-break rule on arbitrary text.
//
// Input: UTF-8 text; an input that starts with the byte 0xFF is read as raw UTF-16 after
// that byte instead (any code units, unpaired surrogates included).
//
// Checks:
//   - taking the inserted line breaks out gives the name back;
//   - no more inserted breaks than the rule allows: two before the first own break past
//     the start, and one per own break past the start after that;
//   - the result equals the rule stated by lines: the text before the first own break past
//     the start is broken after its 5th and 10th characters, and every later line is
//     broken once after its 5th character (a surrogate pair is one character);
//   - wrapping adds no break between the two halves of a surrogate pair.
#include "fuzzcheck.h"

#include "config/labelwrap.h"

#include <QString>

#include <cstdint>
#include <cstring>

namespace {

const QChar LineBreak = QLatin1Char('\n');

// Code units taken by the first `characters` characters of `text` (a surrogate pair is one
// character, an unpaired surrogate one too).
int unitsOf(const QString &text, int characters)
{
    int unit = 0;
    for (int c = 0; c < characters && unit < text.size(); ++c)
        unit += text.at(unit).isHighSurrogate() && unit + 1 < text.size() && text.at(unit + 1).isLowSurrogate() ? 2 : 1;
    return unit;
}

// The line broken after its `first` and (when above `first`) `second` characters.
QString breakAfter(const QString &line, int first, int second)
{
    const int firstUnit = unitsOf(line, first);
    QString out = line.left(firstUnit);
    if (line.size() > firstUnit) {
        out += LineBreak;
        const int secondUnit = unitsOf(line, second);
        if (second > first && line.size() > secondUnit)
            out += line.mid(firstUnit, secondUnit - firstUnit) + LineBreak + line.mid(secondUnit);
        else
            out += line.mid(firstUnit);
    }
    return out;
}

QString wrappedByLines(const QString &name)
{
    const int firstOwn = name.indexOf(LineBreak, 1);
    if (firstOwn < 0)
        return breakAfter(name, 5, 10);
    QString out = breakAfter(name.left(firstOwn), 5, 10);
    int start = firstOwn;
    while (start >= 0) {
        const int next = name.indexOf(LineBreak, start + 1);
        const QString line = name.mid(start + 1, next < 0 ? -1 : next - start - 1);
        out += LineBreak + breakAfter(line, 5, 0);
        start = next;
    }
    return out;
}

int breaksInsidePairs(const QString &text)
{
    int count = 0;
    for (int i = 1; i + 1 < text.size(); ++i) {
        if (text.at(i) == LineBreak && text.at(i - 1).isHighSurrogate() && text.at(i + 1).isLowSurrogate())
            ++count;
    }
    return count;
}

void check(const QString &name)
{
    const QString wrapped = wrapLabelText(name);

    // Greedy walk: every character of the name in order, anything extra a line break.
    int n = 0;
    int inserted = 0;
    for (int w = 0; w < wrapped.size(); ++w) {
        if (n < name.size() && wrapped.at(w) == name.at(n)) {
            ++n;
        } else {
            FUZZ_CHECK(wrapped.at(w) == LineBreak);
            ++inserted;
        }
    }
    FUZZ_CHECK(n == name.size());
    FUZZ_CHECK(inserted == wrapped.size() - name.size());

    const int ownBreaksPastStart = name.mid(1).count(LineBreak);
    FUZZ_CHECK(inserted <= 2 + ownBreaksPastStart);

    FUZZ_CHECK(wrapped == wrappedByLines(name));

    // No break between the two halves of one character: a name may hold such a break of
    // its own (typed between two lone surrogates), but wrapping never adds one.
    FUZZ_CHECK(breaksInsidePairs(wrapped) == breaksInsidePairs(name));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0 && data[0] == 0xFF) {
        QString utf16(static_cast<int>((size - 1) / 2), Qt::Uninitialized);
        std::memcpy(utf16.data(), data + 1, static_cast<size_t>(utf16.size()) * sizeof(QChar));
        check(utf16);
    } else {
        check(QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    }
    return 0;
}
