#include "labelwrap.h"

namespace {
// Code units of the character at `index`: a surrogate pair is one character.
int unitsAt(const QString &text, int index)
{
    return text.at(index).isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate() ? 2 : 1;
}
} // namespace

QString wrapLabelText(QString text)
{
    const QChar lineBreak = QLatin1Char('\n');
    // Positions count characters of the text as it grows; `unit` is where that character
    // starts, so a break never lands inside a character made of two code units.
    int last = 0;
    for (int position = 0, unit = 0; unit < text.size(); ++position, unit += unitsAt(text, unit)) {
        if (text.at(unit) == lineBreak)
            last = position;
        const bool breakHere = (last == 0 && (position == 5 || position == 11)) || (last > 0 && position == last + 6);
        if (breakHere)
            text.insert(unit, lineBreak); // the inserted break takes this position and is stepped over
    }
    return text;
}

QString antennaButtonText(const QString &name)
{
    return wrapLabelText(name).replace(QLatin1Char('&'), QLatin1String("&&"));
}
