#pragma once

#include <QByteArray>
#include <QtGlobal>

// How large the panel is drawn on an X11 desktop: by what the desktop and the user ask for,
// never by a screen's size in millimetres. A desktop set to 125 % says so with the X resource
// Xft.dpi (120); a screen whose millimetres make 96.07 or 100 dpi was not asked to scale.
namespace DisplayScale {

// What is asked for, as found at start. Qt's variables as set, empty when unset.
struct Request
{
    int xftDpi = 0; // the X resource Xft.dpi; 0 where the desktop sets none
    qreal physicalDpi = 0; // from the screen's size in millimetres: no one's choice
    QByteArray scaleFactor; // QT_SCALE_FACTOR
    QByteArray screenScaleFactors; // QT_SCREEN_SCALE_FACTORS, for the first screen
    QByteArray enableScaling; // QT_ENABLE_HIGHDPI_SCALING
    QByteArray fontDpi; // QT_FONT_DPI
    QByteArray roundingPolicy; // QT_SCALE_FACTOR_ROUNDING_POLICY

    // Qt's variables from this process's environment; xftDpi and physicalDpi stay unread.
    static Request fromEnvironment();
};

// The desktop's dots per inch: QT_FONT_DPI, else Xft.dpi, else 96 (100 %).
int desktopDpi(const Request &request);

// The factor the first screen is drawn with: QT_SCREEN_SCALE_FACTORS where it names one,
// else the desktop's dpi over 96 (rounded only where QT_SCALE_FACTOR_ROUNDING_POLICY asks,
// and 1 where QT_ENABLE_HIGHDPI_SCALING=0), times QT_SCALE_FACTOR.
qreal scaleFactor(const Request &request);

// Xft.dpi from the text of the RESOURCE_MANAGER property ("Xft.dpi:\t120" lines, as xrdb
// writes them); 0 where it is missing or not a whole number.
int xftDpiFrom(const QByteArray &resources);

} // namespace DisplayScale
