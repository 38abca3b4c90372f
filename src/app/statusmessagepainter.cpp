#include "statusmessagepainter.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTextLayout>
#include <QtMath>

namespace {
constexpr int MaxLayouts = 64;
// Wider than any status bar: the line is never wrapped, as QPainter::drawText lays out an
// unwrapped text.
constexpr qreal UnwrappedWidth = 0x01000000;

bool isPlain(const QString &message)
{
    for (const QChar c : message)
        if (c.unicode() < 0x20 || c.direction() == QChar::DirR || c.direction() == QChar::DirAL)
            return false;
    return !message.isEmpty();
}
} // namespace

StatusMessagePainter::StatusMessagePainter(QStatusBar *statusBar)
    : QObject(statusBar)
    , bar(statusBar)
{
    bar->setAttribute(Qt::WA_OpaquePaintEvent);
    // Emitted before the bar asks for the repaint of its message area.
    connect(bar, &QStatusBar::messageChanged, this, [this] { messageChanged = true; });
    bar->installEventFilter(this);
}

StatusMessagePainter::~StatusMessagePainter() = default;

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

std::shared_ptr<const QTextLayout> StatusMessagePainter::layoutOf(const QString &message)
{
    if (!isPlain(message))
        return nullptr;
    const auto found = layouts.constFind(message);
    if (found != layouts.constEnd())
        return *found;
    if (layouts.size() >= MaxLayouts)
        layouts.clear();
    auto layout = std::make_shared<QTextLayout>(message, bar->font(), bar);
    QTextOption option;
    option.setWrapMode(QTextOption::ManualWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    line.setLineWidth(UnwrappedWidth);
    line.setPosition(QPointF(0, 0));
    layout->endLayout();
    layouts.insert(message, layout);
    return layout;
}

QRect StatusMessagePainter::changedSpan(const QRect &area, const QTextLayout &before, const QTextLayout &after) const
{
    const QString &was = before.text();
    const QString &now = after.text();
    const int shorter = qMin(was.size(), now.size());
    int same = 0;
    while (same < shorter && was.at(same) == now.at(same))
        ++same;
    if (same == was.size() && same == now.size())
        return {};
    const QTextLine wasLine = before.lineAt(0);
    const QTextLine nowLine = after.lineAt(0);
    // A glyph can reach past its advance, into the next character's room or the one before.
    const qreal room = bar->fontMetrics().averageCharWidth();
    const qreal from = qMin(wasLine.cursorToX(same), nowLine.cursorToX(same)) - room;
    const qreal to = qMax(wasLine.naturalTextWidth(), nowLine.naturalTextWidth()) + room;
    return QRect(QPoint(area.left() + qFloor(from), area.top()), QPoint(area.left() + qCeil(to), area.bottom()))
        .intersected(area);
}

bool StatusMessagePainter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != bar)
        return false;
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        layouts.clear();
    if (event->type() != QEvent::Paint)
        return false;
    const auto *paint = static_cast<const QPaintEvent *>(event);
    const QString message = bar->currentMessage();
    const QRect area = messageArea();
    const bool messageAlone =
        messageChanged && paint->region() == QRegion(area) && bar->layoutDirection() == Qt::LeftToRight;
    messageChanged = false;
    const std::shared_ptr<const QTextLayout> before = messageAlone ? layoutOf(painted) : nullptr;
    const std::shared_ptr<const QTextLayout> after = before ? layoutOf(message) : nullptr;
    painted = message;
    QPainter painter(bar);
    if (!before || !after) {
        // The bar is opaque now: its background first, then the bar paints as it always does.
        painter.fillRect(paint->rect(), bar->palette().window());
        return false;
    }
    const QRect span = changedSpan(area, *before, *after);
    if (span.isEmpty())
        return true; // back to the text already shown
    painter.setClipRect(span);
    painter.fillRect(span, bar->palette().window());
    QStyleOption option;
    option.initFrom(bar);
    bar->style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, bar);
    painter.setPen(bar->palette().windowText().color());
    // Where QPainter::drawText puts one line centred in the area.
    const QTextLine line = after->lineAt(0);
    after->draw(&painter, QPointF(area.left(), area.top() + (area.height() - line.height()) / 2));
    return true;
}
