#pragma once

#include <QFocusFrame>
#include <QList>
#include <QPointer>

// Tab and Shift+Tab through the panel's buttons in reading order, round and round, and the
// outline around the button that has the keyboard focus. The outline shows while the
// operator moves the focus with Tab and hides when a click moves it, so a mouse user's
// panel looks as before. It is drawn outside the button, in a colour none of
// the panel's looks uses, and never touches a button's own style sheet, which carries the
// box's state. A see-through layer over the whole area draws it, so the button's frame
// does not cut it off. Being a focus frame keeps that layer out of what screen readers
// list: it is drawing, not a part of the panel.
class FocusMark : public QFocusFrame
{
    Q_OBJECT

public:
    // `targets` in reading order; `area` holds them all, and the mark covers it and passes
    // every mouse event through.
    FocusMark(const QList<QWidget *> &targets, QWidget *area);

    // The button the outline is drawn around, or nullptr while none is marked.
    QWidget *markedWidget() const { return marked; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void mark(QWidget *widget);
    // Moves the focus on from `from` (the area itself before any button had it).
    void step(QObject *from, bool forward);

    QList<QWidget *> order;
    QPointer<QWidget> marked;
    bool byKeyboard = false;
};
