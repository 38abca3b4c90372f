#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPalette>
#include <QRect>
#include <QString>

#include <memory>

class QStatusBar;
class QTextLayout;

// Repaints a status bar's message (QStatusBar::showMessage) only where it changed.
//
// For every new message QStatusBar repaints its whole message area, from its left edge to
// the first visible permanent widget: with the panel's notes hidden that is nearly the
// width of the window, background and all, and the text laid out and shaped again, for
// every "Ping: " figure. Here the bar paints opaquely, so nothing under it is painted
// again, and a paint that only a new message asked for redraws the span from the first
// character that differs to the end of the longer of the two texts, clipped to it, from a
// text layout kept per message: the same layout and position QPainter::drawText works out
// for the bar, so the pixels are the same. The pixels outside the span are the ones
// already there. Every other paint, and any message with tabs, line breaks or
// right-to-left text, is the bar's own, over its background.
//
// Drawing the text again costs more than the rest of such a paint, and "Ping: " figures
// repeat: so once a message has been drawn so, the backing store's pixels for its text are
// kept as a strip, and when it comes again the span is copied from them. They are what
// the screen showed, the font's antialiasing included. This is done only where the bar
// paints straight onto an unscaled image backing store; elsewhere the text is drawn.
//
// GUI thread only. Owned by the bar.
class StatusMessagePainter : public QObject
{
public:
    explicit StatusMessagePainter(QStatusBar *bar);
    ~StatusMessagePainter() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Where QStatusBar draws its message, as it works it out.
    QRect messageArea() const;
    // The laid-out message, or null when it is not plain left-to-right text on one line.
    // Shared, so that it outlives the cache being emptied for the next one.
    std::shared_ptr<const QTextLayout> layoutOf(const QString &message);
    QRect changedSpan(const QRect &area, const QTextLayout &before, const QTextLayout &after) const;
    // The window's backing store the painter paints on, when it is an image whose pixels
    // are the bar's; null otherwise.
    const QImage *backingImage(QPainter &painter) const;
    // Keeps the pixels the backing store holds for `message`, just painted, as its strip.
    void keepStrip(QPainter &painter, const QString &message, const QTextLayout &layout, const QRect &area);
    // Paints `span` from the current message's strip and the bar's background; false when
    // there is no strip to paint from.
    bool paintFromStrip(QPainter &painter, const QRect &span, const QRect &area);

    struct Strip
    {
        QRect rect; // where it is on the bar
        QImage pixels;
        // The palette's colours it was drawn in: an inactive window's or a disabled bar's
        // may differ.
        QPalette::ColorGroup colors;
    };

    QStatusBar *bar;
    QString painted; // the message the bar's pixels show
    bool messageChanged = false; // since the last paint
    // A few dozen texts at most ("Ping: " figures repeat); emptied when full or when the
    // bar's font may have changed.
    QHash<QString, std::shared_ptr<const QTextLayout>> layouts;
    // At most as many as layouts; emptied when full, when the bar's font, style or palette
    // changes, and when the message area moves or changes size.
    QHash<QString, Strip> strips;
    QRect stripArea; // the message area the strips were made for
};
