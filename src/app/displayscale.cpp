#include "displayscale.h"

#include <QList>

#include <cmath>

namespace DisplayScale {

namespace {
constexpr int BaseDpi = 96;

// A positive number, or 0.
qreal positive(const QByteArray &text)
{
    bool ok = false;
    const qreal value = text.trimmed().toDouble(&ok);
    return ok && value > 0 ? value : 0;
}

qreal rounded(qreal factor, const QByteArray &policy)
{
    qreal result = factor;
    if (policy == "Round")
        result = std::round(factor);
    else if (policy == "Ceil")
        result = std::ceil(factor);
    else if (policy == "Floor")
        result = std::floor(factor);
    else if (policy == "RoundPreferFloor")
        result = factor - std::floor(factor) < 0.75 ? std::floor(factor) : std::ceil(factor);
    else
        return factor; // PassThrough, the panel's own choice, also where unset or unknown
    return qMax(result, qreal(1));
}
} // namespace

Request Request::fromEnvironment()
{
    Request request;
    request.scaleFactor = qgetenv("QT_SCALE_FACTOR");
    request.screenScaleFactors = qgetenv("QT_SCREEN_SCALE_FACTORS");
    request.enableScaling = qgetenv("QT_ENABLE_HIGHDPI_SCALING");
    request.fontDpi = qgetenv("QT_FONT_DPI");
    request.roundingPolicy = qgetenv("QT_SCALE_FACTOR_ROUNDING_POLICY");
    return request;
}

int desktopDpi(const Request &request)
{
    const int forced = qRound(positive(request.fontDpi));
    if (forced > 0)
        return forced;
    return request.xftDpi > 0 ? request.xftDpi : BaseDpi;
}

qreal scaleFactor(const Request &request)
{
    qreal screen = 1;
    const QList<QByteArray> screens = request.screenScaleFactors.split(';');
    const qreal named = positive(screens.first().mid(screens.first().indexOf('=') + 1));
    if (named > 0)
        screen = named;
    else if (request.enableScaling.trimmed() != "0")
        screen = rounded(qreal(desktopDpi(request)) / BaseDpi, request.roundingPolicy);
    const qreal global = positive(request.scaleFactor);
    return global > 0 ? global * screen : screen;
}

int xftDpiFrom(const QByteArray &resources)
{
    static const QByteArray key = QByteArrayLiteral("Xft.dpi:\t");
    int dpi = 0;
    for (const QByteArray &line : resources.split('\n')) {
        if (!line.startsWith(key))
            continue;
        bool ok = false;
        const int value = line.mid(key.size()).toInt(&ok);
        if (ok)
            dpi = value;
    }
    return dpi;
}

} // namespace DisplayScale
