#include "focusmark.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

namespace {
// Cyan: not white, yellow, orange, red, green or the greys of the looks.
const QColor OutlineColour(0x00, 0xe5, 0xff);
constexpr int OutlineWidth = 2;
constexpr int OutlineGap = 1; // between the button's edge and the outline
} // namespace

FocusMark::FocusMark(const QList<QWidget *> &targets, QWidget *area)
    : QFocusFrame(area)
    , order(targets)
{
    setObjectName(QStringLiteral("focusMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(area->rect());
    area->installEventFilter(this);
    for (QWidget *target : targets) {
        target->setFocusPolicy(Qt::StrongFocus);
        target->installEventFilter(this);
    }
    raise();
}

bool FocusMark::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        // The widgets' own focus chain mixes the panel's rows in creation order; the
        // reading order is kept here instead.
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_Tab && modifiers == Qt::NoModifier) {
            step(watched, true);
            return true;
        }
        if (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && modifiers == Qt::ShiftModifier)) {
            step(watched, false);
            return true;
        }
        break;
    }
    case QEvent::FocusIn:
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
        mark(byKeyboard ? static_cast<QWidget *>(watched) : nullptr);
        break;
    case QEvent::FocusOut:
        mark(nullptr);
        break;
    case QEvent::Resize:
    case QEvent::Move:
        if (watched == parent())
            setGeometry(parentWidget()->rect());
        else if (watched == marked)
            update();
        break;
    default:
        break;
    }
    return false;
}

void FocusMark::step(QObject *from, bool forward)
{
    const int n = int(order.size());
    const int at = int(order.indexOf(qobject_cast<QWidget *>(from)));
    const int next = at < 0 ? (forward ? 0 : n - 1) : (at + (forward ? 1 : n - 1)) % n;
    order[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void FocusMark::mark(QWidget *widget)
{
    if (marked == widget)
        return;
    marked = widget;
    update();
}

void FocusMark::paintEvent(QPaintEvent *)
{
    if (!marked)
        return;
    const QRect button(marked->mapTo(parentWidget(), QPoint(0, 0)), marked->size());
    const int out = OutlineGap + OutlineWidth / 2 + 1;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(OutlineColour, OutlineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(button.adjusted(-out, -out, out - 1, out - 1)).translated(0.5, 0.5), 7, 7);
}
