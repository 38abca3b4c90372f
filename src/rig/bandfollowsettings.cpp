#include "bandfollowsettings.h"

#include "config/settingsfile.h"

#include <QRegularExpression>

namespace {
BandFollowSettings::Source sourceFrom(const QString &text, const QString &rigAddress)
{
    using Source = BandFollowSettings::Source;
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("off"))
        return Source::Off;
    if (word == QLatin1String("rigctld"))
        return Source::Rigctld;
    if (word == QLatin1String("logger"))
        return Source::Logger;
    if (word == QLatin1String("otrsp"))
        return Source::Otrsp;
    // Not set, or not a source this version knows: as files without the key read.
    return rigAddress.isEmpty() ? Source::Off : Source::Rigctld;
}
} // namespace

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
    const int port = settings.value(QStringLiteral("LOGGER_PORT")).toString().trimmed().toInt(&ok);
    result.loggerPort = ok && port >= 1 && port <= 65535 ? quint16(port) : DefaultLoggerPort;
    result.loggerStation = settings.value(QStringLiteral("LOGGER_STATION")).toString().trimmed();
    // QSettings reads "a, b" as a list; one text with blanks is split here.
    const QStringList from = settings.value(QStringLiteral("LOGGER_FROM")).toStringList();
    for (const QString &part : from)
        result.loggerFrom += part.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    result.otrspPort = settings.value(QStringLiteral("OTRSP_PORT")).toString().trimmed();
    return result;
}

std::vector<std::pair<QString, QVariant>> BandFollowSettings::values() const
{
    std::vector<std::pair<QString, QVariant>> out;
    static const char *const sources[] = {"off", "rigctld", "logger", "otrsp"};
    for (int c = 1; c <= 2; ++c) {
        out.emplace_back(followKey(c), QString::fromLatin1(sources[int(radio[c].source)]));
        out.emplace_back(bandMemoryKey(c), radio[c].bandMemory ? 1 : 0);
        out.emplace_back(rigKey(c), radio[c].rigAddress);
        for (int b = 0; b < BandPlan::BandCount; ++b)
            out.emplace_back(bandKey(c, b), radio[c].antenna[b]);
    }
    out.emplace_back(QStringLiteral("LOGGER_PORT"), loggerPort);
    out.emplace_back(QStringLiteral("LOGGER_STATION"), loggerStation);
    out.emplace_back(QStringLiteral("LOGGER_FROM"), loggerFrom.join(QStringLiteral(" ")));
    out.emplace_back(QStringLiteral("OTRSP_PORT"), otrspPort);
    return out;
}
