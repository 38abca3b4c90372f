#include "statusnote.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

StatusNote::StatusNote(int percent, QWidget *bar)
    : QLabel(bar)
    , percentOfBar(percent)
{
    setTextFormat(Qt::PlainText);
    setMaximumWidth(bar->width() * percentOfBar / 100);
    bar->installEventFilter(this);
}

void StatusNote::setNote(const QString &text)
{
    setText(text);
    setToolTip(text);
}

bool StatusNote::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setMaximumWidth(parentWidget()->width() * percentOfBar / 100);
    return false;
}

// Room for a letter on each side of the ellipsis: it never makes the window wider.
QSize StatusNote::minimumSizeHint() const
{
    const QSize whole = QLabel::minimumSizeHint();
    return {qMin(whole.width(), fontMetrics().horizontalAdvance(QStringLiteral("M\u2026M"))), whole.height()};
}

void StatusNote::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width());
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}
