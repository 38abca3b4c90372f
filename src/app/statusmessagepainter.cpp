#include "statusmessagepainter.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>

namespace {
constexpr int MessageFlags = Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine;
} // namespace

StatusMessagePainter::StatusMessagePainter(QStatusBar *bar)
    : QObject(bar)
    , bar(bar)
{
    bar->setAttribute(Qt::WA_OpaquePaintEvent);
    // Emitted before the bar asks for the repaint of its message area.
    connect(bar, &QStatusBar::messageChanged, this, [this] { messageChanged = true; });
    bar->installEventFilter(this);
}

QRect StatusMessagePainter::messageArea() const
{
    // As QStatusBar's own: 6 px in from the left, 12 from the right, and up to the size grip
    // and the first visible permanent widget. While a message shows, the bar has hidden its
    // other widgets, so every visible one is permanent.
    int right = bar->width() - 12;
    for (const QObject *child : bar->children()) {
        const auto *widget = qobject_cast<const QWidget *>(child);
        if (!widget || widget->isWindow() || !widget->isVisible())
            continue;
        right = qobject_cast<const QSizeGrip *>(widget) ? qMin(right, widget->x()) : qMin(right, widget->x() - 2);
    }
    constexpr int Left = 6;
    return QRect(Left, 0, right - Left, bar->height());
}

QRect StatusMessagePainter::changedSpan(const QRect &area, const QString &message) const
{
    const int shorter = qMin(painted.size(), message.size());
    int same = 0;
    while (same < shorter && painted.at(same) == message.at(same))
        ++same;
    if (same == painted.size() && same == message.size())
        return {};
    // Measured a character at a time: shaping whole strings here would cost more than the
    // paint it saves. Kerning can move a glyph a pixel or so from where the single advances
    // put it, and a glyph can reach past its advance: the span starts one character early
    // and ends one average character late, plus a pixel per character either way.
    const QFontMetrics metrics = bar->fontMetrics();
    const auto advance = [&metrics](const QString &text, int count) {
        int width = 0;
        for (int i = 0; i < count; ++i)
            width += metrics.horizontalAdvance(text.at(i));
        return width;
    };
    const int before = qMax(0, same - 1);
    const int slack = metrics.averageCharWidth();
    const int from = area.left() + advance(message, before) - before - slack;
    const int longest = qMax(painted.size(), message.size());
    const int to = area.left() + qMax(advance(painted, painted.size()), advance(message, message.size())) + longest
        + slack;
    return QRect(QPoint(from, area.top()), QPoint(to, area.bottom())).intersected(area);
}

bool StatusMessagePainter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != bar || event->type() != QEvent::Paint)
        return false;
    const auto *paint = static_cast<const QPaintEvent *>(event);
    const QString message = bar->currentMessage();
    const QRect area = messageArea();
    const bool messageAlone = messageChanged && paint->region() == QRegion(area) && !painted.isEmpty()
        && !message.isEmpty() && bar->layoutDirection() == Qt::LeftToRight;
    messageChanged = false;
    QPainter painter(bar);
    QStyleOption option;
    option.initFrom(bar);
    if (!messageAlone) {
        // The bar is opaque now: its background first, then the bar paints as it always does.
        painter.fillRect(paint->rect(), bar->palette().window());
        painter.end();
        painted = message;
        return false;
    }
    const QRect span = changedSpan(area, message);
    painted = message;
    if (span.isEmpty())
        return true; // back to the text already shown
    painter.setClipRect(span);
    painter.fillRect(span, bar->palette().window());
    bar->style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, bar);
    painter.setPen(bar->palette().windowText().color());
    painter.drawText(area, MessageFlags, message);
    return true;
}
