#include "focusmark.h"

#include <QFocusEvent>
#include <QFocusFrame>
#include <QWidget>

FocusMark::FocusMark(const QList<QWidget *> &targets, QWidget *window)
    : QObject(window)
    , frame(new QFocusFrame(window))
{
    setObjectName(QStringLiteral("focusMark"));
    frame->setObjectName(QStringLiteral("focusMark"));
    for (QWidget *target : targets)
        target->installEventFilter(this);
}

QWidget *FocusMark::markedWidget() const { return frame->isVisible() ? frame->widget() : nullptr; }

bool FocusMark::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        switch (static_cast<QFocusEvent *>(event)->reason()) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
            byKeyboard = true;
            break;
        case Qt::MouseFocusReason:
            byKeyboard = false;
            break;
        default: // the window coming back, a menu closing: as it was
            break;
        }
        frame->setWidget(byKeyboard ? static_cast<QWidget *>(watched) : nullptr);
    } else if (event->type() == QEvent::FocusOut) {
        frame->setWidget(nullptr);
    }
    return false;
}
