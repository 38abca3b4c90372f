#include "highdpi.h"

#include <QGuiApplication>
#include <QtGlobal>

void HighDpi::prepare()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 does all of this by itself. A user's QT_ENABLE_HIGHDPI_SCALING=0 still vetoes
    // the attribute, and QT_SCALE_FACTOR applies either way.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    // QT_SCALE_FACTOR_ROUNDING_POLICY, when set, takes precedence over this in Qt itself.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}
