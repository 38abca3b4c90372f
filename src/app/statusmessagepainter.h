#pragma once

#include <QObject>
#include <QRect>
#include <QString>

class QStatusBar;

// Repaints a status bar's message (QStatusBar::showMessage) only where it changed.
//
// For every new message QStatusBar repaints its whole message area, from its left edge to
// the first visible permanent widget: with the panel's notes hidden that is nearly the
// width of the window, background and all, for every "Ping: " figure. Here the bar paints
// opaquely, so nothing under it is painted again, and a paint that only a new message asked
// for redraws the span from the first character that differs to the end of the longer of
// the two texts (with room for kerning and overhangs), with the same calls the bar makes,
// clipped to it;
// the pixels outside the span are the ones already there. Every other paint is the bar's
// own, over its background. What the bar shows is the same either way.
//
// GUI thread only. Owned by the bar.
class StatusMessagePainter : public QObject
{
public:
    explicit StatusMessagePainter(QStatusBar *bar);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Where QStatusBar draws its message, as it works it out.
    QRect messageArea() const;
    QRect changedSpan(const QRect &area, const QString &message) const;

    QStatusBar *bar;
    QString painted; // the message the bar's pixels show
    bool messageChanged = false; // since the last paint
};
