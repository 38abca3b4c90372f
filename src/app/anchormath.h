#pragma once

#include <QRect>
#include <QSize>

// The arithmetic of the panel's proportional layout, free of widgets.
namespace AnchorMath {

enum AnchorMode : int {
    AnchorNone = 0, // the edge stays where it is
    AnchorNear = 1, // the edge keeps its registered coordinate
    AnchorFar = 2, // the edge moves by the window's growth
    AnchorScale = 3, // (left mode only) all four edges scale with the window
};

struct Modes
{
    int left = AnchorScale;
    int top = AnchorScale;
    int right = AnchorScale;
    int bottom = AnchorScale;
};

// Geometry of a widget registered at `registered` (design size `reference`) once the
// window is `now`; `current` supplies the edges whose mode leaves them alone. Edges are
// scaled, not the width, and always from the registered geometry, so repeated resizes
// never accumulate rounding error.
QRect place(const QRect &registered, const QRect &current, const Modes &modes, QSize reference, QSize now);

// Base pixel size of the panel's texts for a window width: width / 140 + 5.
short textBaseSize(int width);

} // namespace AnchorMath
