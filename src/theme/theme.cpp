#include "theme.h"

#include <QFile>

namespace {
QString readResource(const QString &path)
{
    Theme::initResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
} // namespace

static void initZorvikResources() { Q_INIT_RESOURCE(zorvik); }

namespace Theme {

void initResources()
{
    static const bool done = (initZorvikResources(), true);
    Q_UNUSED(done)
}

const QString &panelStyleSheet()
{
    static const QString sheet = readResource(QStringLiteral(":/styles/panel.qss"));
    return sheet;
}

const QString &dialogStyleSheet()
{
    static const QString sheet = readResource(QStringLiteral(":/styles/dialog.qss"));
    return sheet;
}

} // namespace Theme
