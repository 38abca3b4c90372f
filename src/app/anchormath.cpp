#include "anchormath.h"

#include <cmath>

namespace AnchorMath {

namespace {
int scaled(int coordinate, long double factor)
{
    return static_cast<int>(std::trunc(static_cast<long double>(coordinate) * factor));
}

int edge(int mode, int registered, int current, int growth)
{
    switch (mode) {
    case AnchorNear:
        return registered;
    case AnchorFar:
        return registered + growth;
    default:
        return current;
    }
}
} // namespace

QRect place(const QRect &registered, const QRect &current, const Modes &modes, QSize reference, QSize now)
{
    if (modes.left == AnchorScale) {
        if (reference.width() <= 0 || reference.height() <= 0)
            return current;
        const long double sx = static_cast<long double>(now.width()) / reference.width();
        const long double sy = static_cast<long double>(now.height()) / reference.height();
        return QRect(QPoint(scaled(registered.left(), sx), scaled(registered.top(), sy)),
                     QPoint(scaled(registered.right(), sx), scaled(registered.bottom(), sy)));
    }
    const int dw = now.width() - reference.width();
    const int dh = now.height() - reference.height();
    return QRect(QPoint(edge(modes.left, registered.left(), current.left(), dw),
                        edge(modes.top, registered.top(), current.top(), dh)),
                 QPoint(edge(modes.right, registered.right(), current.right(), dw),
                        edge(modes.bottom, registered.bottom(), current.bottom(), dh)));
}

short textBaseSize(int width) { return static_cast<short>(width / 140 + 5); }

} // namespace AnchorMath
