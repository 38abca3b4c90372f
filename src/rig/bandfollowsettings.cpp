#include "bandfollowsettings.h"

#include "config/settingsfile.h"

#include <QRegularExpression>

namespace {
const char *const SourceNames[] = {"off", "rigctld", "logger", "otrsp"};
const QString LoggerPortKey = QStringLiteral("LOGGER_PORT");
const QString LoggerStationKey = QStringLiteral("LOGGER_STATION");
const QString LoggerFromKey = QStringLiteral("LOGGER_FROM");
const QString OtrspPortKey = QStringLiteral("OTRSP_PORT");

BandFollowSettings::Source sourceFrom(const QString &text, const QString &rigAddress)
{
    using Source = BandFollowSettings::Source;
    const QString word = text.trimmed().toLower();
    for (const Source source : {Source::Off, Source::Rigctld, Source::Logger, Source::Otrsp}) {
        if (word == BandFollowSettings::sourceName(source))
            return source;
    }
    // Not set, or not a source this version knows: as files without the key read.
    return rigAddress.isEmpty() ? Source::Off : Source::Rigctld;
}
} // namespace

QString BandFollowSettings::sourceName(Source source) { return QLatin1String(SourceNames[int(source)]); }

QStringList BandFollowSettings::addressList(const QString &text)
{
    return text.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
}

QString BandFollowSettings::followKey(int channel) { return QStringLiteral("FOLLOW%1").arg(channel); }

QString BandFollowSettings::bandMemoryKey(int channel) { return QStringLiteral("BANDMEMORY%1").arg(channel); }

QString BandFollowSettings::rigKey(int channel) { return QStringLiteral("RIG%1").arg(channel); }

QString BandFollowSettings::bandKey(int channel, int bandIndex)
{
    return QStringLiteral("BAND%1_%2").arg(channel).arg(BandPlan::bandName(bandIndex));
}

BandFollowSettings BandFollowSettings::read(QSettings &settings)
{
    BandFollowSettings result;
    for (int c = 1; c <= 2; ++c) {
        result.radio[c].rigAddress = settings.value(rigKey(c)).toString().trimmed();
        result.radio[c].bandMemory = SettingsFile::toBool(settings.value(bandMemoryKey(c)));
        result.radio[c].source = sourceFrom(settings.value(followKey(c)).toString(), result.radio[c].rigAddress);
        for (int b = 0; b < BandPlan::BandCount; ++b) {
            bool ok = false;
            const int antenna = settings.value(bandKey(c, b)).toString().trimmed().toInt(&ok);
            result.radio[c].antenna[b] = ok && antenna >= 1 && antenna <= 6 ? antenna : NoAntenna;
        }
    }
    bool ok = false;
    const int port = settings.value(LoggerPortKey).toString().trimmed().toInt(&ok);
    result.loggerPort = ok && port >= 1 && port <= 65535 ? quint16(port) : DefaultLoggerPort;
    result.loggerStation = settings.value(LoggerStationKey).toString().trimmed();
    // QSettings reads "a, b" as a list; one text with blanks is split here.
    result.loggerFrom = addressList(settings.value(LoggerFromKey).toStringList().join(QLatin1Char(' ')));
    result.otrspPort = settings.value(OtrspPortKey).toString().trimmed();
    return result;
}

std::vector<std::pair<QString, QVariant>> BandFollowSettings::values() const
{
    std::vector<std::pair<QString, QVariant>> out;
    for (int c = 1; c <= 2; ++c) {
        out.emplace_back(followKey(c), sourceName(radio[c].source));
        out.emplace_back(bandMemoryKey(c), radio[c].bandMemory ? 1 : 0);
        out.emplace_back(rigKey(c), radio[c].rigAddress);
        for (int b = 0; b < BandPlan::BandCount; ++b)
            out.emplace_back(bandKey(c, b), radio[c].antenna[b]);
    }
    out.emplace_back(LoggerPortKey, loggerPort);
    out.emplace_back(LoggerStationKey, loggerStation);
    out.emplace_back(LoggerFromKey, loggerFrom.join(QLatin1Char(' ')));
    out.emplace_back(OtrspPortKey, otrspPort);
    return out;
}
