#pragma once

#include "bandplan.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <utility>
#include <vector>

// What band follow keeps in the settings file, per radio (channel 1 and 2):
//   FOLLOW<c>        what drives the channel: off, rigctld, logger or otrsp; missing (as in
//                    files of earlier versions): rigctld when RIG<c> is set, else off
//   RIG<c>           the rigctld address, "host:port"
//   BAND<c>_<band>   the antenna (1..6) the channel uses on that band; 0 or empty: none
//   BANDMEMORY<c>    1: an antenna pressed by hand becomes the one for the radio's band
// and, for the station's logger:
//   LOGGER_PORT      the UDP port its broadcasts come to (1..65535, default 12060)
//   LOGGER_STATION   only its broadcasts with this StationName; empty: every station's
//   LOGGER_FROM      the sender addresses taken, separated by commas or blanks; empty:
//                    this computer and the networks its interfaces are directly on
//   OTRSP_PORT       the serial port its OTRSP commands come on
struct BandFollowSettings
{
    static constexpr int NoAntenna = 0;

    enum class Source { Off, Rigctld, Logger, Otrsp };

    struct Radio
    {
        Source source = Source::Off;
        QString rigAddress;
        bool bandMemory = false;
        // Whether anything drives the channel: a source other than Off, and for rigctld an
        // address to reach it at.
        bool follows() const { return source != Source::Off && !(source == Source::Rigctld && rigAddress.isEmpty()); }
        // Per band of BandPlan::bands(): antenna 1..6, or NoAntenna.
        std::array<int, BandPlan::BandCount> antenna{};

        friend bool operator==(const Radio &a, const Radio &b)
        {
            return a.source == b.source && a.rigAddress == b.rigAddress && a.bandMemory == b.bandMemory
                && a.antenna == b.antenna;
        }
    };

    // Indexed by channel 1 and 2; index 0 is unused.
    std::array<Radio, 3> radio;

    static constexpr quint16 DefaultLoggerPort = 12060;
    quint16 loggerPort = DefaultLoggerPort;
    QString loggerStation;
    QStringList loggerFrom;
    QString otrspPort;

    // The word FOLLOW<c> holds for a source.
    static QString sourceName(Source source);
    // LOGGER_FROM's addresses, separated by commas or blanks.
    static QStringList addressList(const QString &text);

    static QString followKey(int channel);
    static QString rigKey(int channel);
    static QString bandKey(int channel, int bandIndex);
    static QString bandMemoryKey(int channel);

    // Any value that is not a whole number from 1 to 6 reads as NoAntenna.
    static BandFollowSettings read(QSettings &settings);
    // The keys and values to store.
    std::vector<std::pair<QString, QVariant>> values() const;
};
