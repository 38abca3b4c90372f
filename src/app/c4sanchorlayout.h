#pragma once

#include "anchormath.h"

#include <QRect>
#include <QVector>

#include <vector>

class QMainWindow;
class QWidget;

// Keeps registered widgets in proportion to their top-level window: every relayout
// recomputes each widget's geometry from the geometry it had when it was registered,
// against the window's size when the layout was created.
class C4SAnchorLayout
{
public:
    using AnchorMode = int;
    static constexpr AnchorMode AnchorNone = AnchorMath::AnchorNone;
    static constexpr AnchorMode AnchorNear = AnchorMath::AnchorNear;
    static constexpr AnchorMode AnchorFar = AnchorMath::AnchorFar;
    static constexpr AnchorMode AnchorScale = AnchorMath::AnchorScale;

    explicit C4SAnchorLayout(QMainWindow *owner);
    virtual ~C4SAnchorLayout();

    void anchorWidget(int leftMode, int topMode, int rightMode, int bottomMode, QWidget *widget);
    // Each widget scaled on all four sides with the window.
    void anchorScaled(const std::vector<QWidget *> &widgets);
    void relayout();

private:
    struct AnchorEntry
    {
        QRect rect;
        AnchorMode topMode;
        AnchorMode leftMode;
        AnchorMode rightMode;
        AnchorMode bottomMode;
        QWidget *widget;
    };

    QVector<AnchorEntry> entries;
    QMainWindow *owner;
    QRect reference;
};
