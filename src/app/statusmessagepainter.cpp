#include "statusmessagepainter.h"

#include <QBackingStore>
#include <QEvent>
#include <QPaintEngine>
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

const QImage *StatusMessagePainter::backingImage(QPainter &painter) const
{
    // A grab or a render into another device is not what the screen shows.
    const QPaintEngine *engine = painter.paintEngine();
    const QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
    QBackingStore *store = bar->backingStore();
    if (!device || !store || device != store->paintDevice() || device->devType() != QInternal::Image)
        return nullptr;
    const auto *image = static_cast<const QImage *>(device);
    // Only where a pixel of the bar is a pixel of the backing store: on a scaled one the
    // copy was not checked against the bar's own paint.
    if (!qFuzzyCompare(image->devicePixelRatio(), qreal(1))
        || painter.deviceTransform().type() > QTransform::TxTranslate)
        return nullptr;
    return image;
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

void StatusMessagePainter::keepStrip(QPainter &painter, const QString &message, const QTextLayout &layout,
                                     const QRect &area)
{
    const QImage *image = backingImage(painter);
    if (!image)
        return;
    if (area != stripArea) {
        strips.clear();
        stripArea = area;
    }
    // From the bar's left edge to one pixel past where changedSpan() looks for the text's
    // ink, so that a span as wide as this text is copied whole.
    const qreal room = bar->fontMetrics().averageCharWidth();
    const QRect rect =
        QRect(0, area.top(), area.left() + qCeil(layout.lineAt(0).naturalTextWidth() + room) + 1, area.height())
            .intersected(QRect(0, area.top(), area.right() + 1, area.height()));
    const QRect onImage = painter.deviceTransform().mapRect(rect);
    if (rect.isEmpty() || !image->rect().contains(onImage))
        return;
    if (strips.size() >= MaxLayouts)
        strips.clear();
    strips.insert(message, Strip{rect, image->copy(onImage), bar->palette().currentColorGroup()});
}

bool StatusMessagePainter::paintFromStrip(QPainter &painter, const QRect &span, const QRect &area)
{
    if (area != stripArea || !backingImage(painter))
        return false;
    const auto found = strips.constFind(bar->currentMessage());
    if (found == strips.constEnd())
        return false;
    const Strip &strip = *found;
    if (strip.colors != bar->palette().currentColorGroup())
        return false;
    const QRect copied = span.intersected(strip.rect);
    if (!copied.isEmpty()) {
        const QRect source(copied.topLeft() - strip.rect.topLeft(), copied.size());
        // The strip's pixels as they are, whatever the backing store's alpha.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(copied, strip.pixels, source);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    // Right of the new text, where a longer one was, only the background shows.
    const QRect rest = span.intersected(QRect(QPoint(strip.rect.right() + 1, area.top()), area.bottomRight()));
    if (!rest.isEmpty()) {
        painter.setClipRect(rest);
        painter.fillRect(rest, bar->palette().window());
        QStyleOption option;
        option.initFrom(bar);
        bar->style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, bar);
    }
    return true;
}

bool StatusMessagePainter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != bar)
        return false;
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange
        || event->type() == QEvent::PaletteChange) {
        layouts.clear();
        strips.clear();
    }
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
    if (paintFromStrip(painter, span, area))
        return true;
    painter.setClipRect(span);
    painter.fillRect(span, bar->palette().window());
    QStyleOption option;
    option.initFrom(bar);
    bar->style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, bar);
    painter.setPen(bar->palette().windowText().color());
    // Where QPainter::drawText puts one line centred in the area.
    const QTextLine line = after->lineAt(0);
    after->draw(&painter, QPointF(area.left(), area.top() + (area.height() - line.height()) / 2));
    // What the bar's pixels now hold is this message as a full repaint shows it.
    keepStrip(painter, message, *after, area);
    return true;
}
