#include "labelwrap.h"

QString wrapLabelText(QString text)
{
    const QChar lineBreak = QLatin1Char('\n');
    int last = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == lineBreak)
            last = i;
        const bool breakHere = (last == 0 && (i == 5 || i == 11)) || (last > 0 && i == last + 6);
        if (breakHere)
            text.insert(i, lineBreak); // the inserted break takes position i and is stepped over
    }
    return text;
}
