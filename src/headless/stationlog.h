#pragma once

#include "station/station.h"

#include <QObject>
#include <QString>

#include <functional>

// What a station without a window has to say, one line an event, each with the time of day
// (hh:mm:ss): the link coming up and going down (on the LAN: the box's first answer and its
// silence), the box falling silent and answering again, every switch with who asked for it,
// refusals, the receive-only alarm and its end, band follow's news, and settings that did
// not reach the file.
//
// Thread contract: the station's thread.
class StationLog : public QObject
{
    Q_OBJECT

public:
    using Writer = std::function<void(const QString &line)>;
    // The time of day for each line; the wall clock unless a test gives another.
    using TimeOfDay = std::function<QString()>;

    StationLog(Station &station, Writer writer, TimeOfDay timeOfDay = {}, QObject *parent = nullptr);

    // One line: the time, then the text.
    void say(const QString &text);

    // The words for a command's outcome (empty for one that needs none, such as a step of a
    // split's choice).
    static QString commandText(const Station &station, const Station::Origin &origin, int channel,
                               const Station::Result &result);

private:
    void linkChanged(const Station::LinkStatus &status);
    void alarmChanged(const Station::Alarm &alarm);

    Station &station;
    Writer write;
    TimeOfDay timeOfDay;
    Station::LinkStatus last;
};
