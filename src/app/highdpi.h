#pragma once

namespace HighDpi {

// Sets how the panel scales on dense screens; must run before the application object
// exists. Qt scales by the desktop's dots per inch with the exact factor (125 % stays 1.25,
// not rounded to 1), and images load their @2x variants where the scale is above 1. On an
// X11 desktop that sets no Xft.dpi the panel is drawn at 100 %, with Qt 5 as with Qt 6:
// Qt 5 would otherwise scale by the screen's size in millimetres (a 96.07 dpi screen by
// 1.0007). The user's own QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS, QT_FONT_DPI,
// QT_ENABLE_HIGHDPI_SCALING and QT_SCALE_FACTOR_ROUNDING_POLICY still decide over these
// defaults; DisplayScale::scaleFactor() gives the factor they make.
void prepare();

} // namespace HighDpi
