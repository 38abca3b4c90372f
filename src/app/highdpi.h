#pragma once

namespace HighDpi {

// Sets how the panel scales on dense screens; must run before the application object
// exists. Qt scales by each screen's density with the exact factor (125 % stays 1.25, not
// rounded to 1), and images load their @2x variants where the scale is above 1. The user's
// own QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS, QT_ENABLE_HIGHDPI_SCALING and
// QT_SCALE_FACTOR_ROUNDING_POLICY still decide over these defaults.
void prepare();

} // namespace HighDpi
