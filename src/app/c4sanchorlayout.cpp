#include "c4sanchorlayout.h"

#include <QMainWindow>
#include <QWidget>

C4SAnchorLayout::C4SAnchorLayout(QMainWindow *window)
    : owner(window)
    , reference(QPoint(0, 0), QPoint(window->width() - 1, window->height() - 1))
{}

C4SAnchorLayout::~C4SAnchorLayout() = default;

void C4SAnchorLayout::anchorWidget(int leftMode, int topMode, int rightMode, int bottomMode, QWidget *widget)
{
    entries.append({widget->geometry(), topMode, leftMode, rightMode, bottomMode, widget});
}

void C4SAnchorLayout::anchorScaled(const std::vector<QWidget *> &widgets)
{
    for (QWidget *widget : widgets)
        anchorWidget(AnchorScale, AnchorScale, AnchorScale, AnchorScale, widget);
}

void C4SAnchorLayout::relayout()
{
    if (entries.isEmpty())
        return;
    const QSize now = owner->geometry().size();
    for (const AnchorEntry &entry : qAsConst(entries)) {
        const AnchorMath::Modes modes{entry.leftMode, entry.topMode, entry.rightMode, entry.bottomMode};
        entry.widget->setGeometry(
            AnchorMath::place(entry.rect, entry.widget->geometry(), modes, reference.size(), now));
    }
}
