#pragma once

#include <QList>
#include <QObject>

class QFocusFrame;
class QWidget;

// The outline around the panel button that has the keyboard focus. It shows while the
// operator moves the focus with Tab (or Shift+Tab) and hides when a click moves it, so a
// mouse user's panel looks as before. Drawn outside the button (QFocusFrame, styled in the
// panel's style sheet), it never changes a button's own look, which carries the box's state.
class FocusMark : public QObject
{
    Q_OBJECT

public:
    FocusMark(const QList<QWidget *> &targets, QWidget *window);

    // The button the outline is drawn around, or nullptr while none is marked.
    QWidget *markedWidget() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QFocusFrame *frame;
    bool byKeyboard = false;
};
