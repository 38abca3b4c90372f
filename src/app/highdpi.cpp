#include "highdpi.h"

#include "displayscale.h"

#include <QGuiApplication>
#include <QtGlobal>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) && defined(ZORVIK_HAVE_XCB)
#include <xcb/xcb.h>

#include <cstdlib>

namespace {
// The desktop's Xft.dpi, read as Qt's X11 platform reads it: from the RESOURCE_MANAGER
// property of the display's default screen. 0 without a display or without the resource.
int readXftDpi()
{
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    int dpi = 0;
    if (!xcb_connection_has_error(connection)) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
            xcb_screen_next(&screens);
        if (screens.rem > 0) {
            // Up to 4 MB of resources, in 32-bit units.
            const xcb_get_property_cookie_t cookie = xcb_get_property(
                connection, 0, screens.data->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1u << 20);
            if (xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr)) {
                const QByteArray resources(static_cast<const char *>(xcb_get_property_value(reply)),
                                           xcb_get_property_value_length(reply));
                dpi = DisplayScale::xftDpiFrom(resources);
                std::free(reply);
            }
        }
    }
    xcb_disconnect(connection);
    return dpi;
}

bool runsOnX11()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return (platform.isEmpty() || platform.startsWith("xcb")) && !qgetenv("DISPLAY").isEmpty();
}
} // namespace
#endif

void HighDpi::prepare()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 does all of this by itself. A user's QT_ENABLE_HIGHDPI_SCALING=0 still vetoes
    // the attribute, and QT_SCALE_FACTOR applies either way.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#ifdef ZORVIK_HAVE_XCB
    // Without Xft.dpi, Qt 5 takes the screen's physical dots per inch as the desktop's;
    // Qt 6 takes 96. Hand Qt 5 the desktop's own, the one Qt 6 takes.
    if (runsOnX11() && qEnvironmentVariableIsEmpty("QT_FONT_DPI")) {
        DisplayScale::Request request = DisplayScale::Request::fromEnvironment();
        request.xftDpi = readXftDpi();
        if (request.xftDpi <= 0)
            qputenv("QT_FONT_DPI", QByteArray::number(DisplayScale::desktopDpi(request)));
    }
#endif
#endif
    // QT_SCALE_FACTOR_ROUNDING_POLICY, when set, takes precedence over this in Qt itself.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}
