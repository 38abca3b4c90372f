#pragma once

#include <QLabel>

// A note kept at the status bar's right end. A long note is shortened in the middle, with
// its whole text in the tooltip and for screen readers (text() stays whole), so that it
// neither widens the window nor pushes the bar's message out of sight.
class StatusNote : public QLabel
{
    Q_OBJECT

public:
    // At most `percentOfBar` of the bar's width (the bar being the parent).
    StatusNote(int percentOfBar, QWidget *bar);

    void setNote(const QString &text);

    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int percentOfBar;
};
