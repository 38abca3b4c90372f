#pragma once

// What tests read off the panel: which of the five looks a button shows, every look it
// takes over time, and this process's CPU time; and a quiet LAN worker.

#include "app/panellook.h"

#include <QEvent>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace PanelProbe {

using PanelLook::Look;

inline Look lookOf(const QWidget *widget)
{
    const QString sheet = widget->styleSheet();
    for (Look look : {Look::Neutral, Look::Held, Look::Highlight, Look::Red, Look::Green, Look::Alarm}) {
        if (sheet == PanelLook::styleSheet(look))
            return look;
    }
    return Look::Keep;
}

inline QString lookName(Look look)
{
    switch (look) {
    case Look::Neutral:
        return QStringLiteral("Neutral");
    case Look::Held:
        return QStringLiteral("Held");
    case Look::Highlight:
        return QStringLiteral("Highlight");
    case Look::Red:
        return QStringLiteral("Red");
    case Look::Green:
        return QStringLiteral("Green");
    case Look::Alarm:
        return QStringLiteral("Alarm");
    case Look::Keep:
        break;
    }
    return QStringLiteral("other");
}

inline QString lookName(const QWidget *widget)
{
    // An empty sheet is the theme's plain button, shown before the first repaint.
    return widget->styleSheet().isEmpty() ? QStringLiteral("plain") : lookName(lookOf(widget));
}

inline QString sortedMarks(QStringList marks)
{
    marks.sort();
    return marks.join(QLatin1Char(' '));
}

// The antenna, SPLIT and SEND buttons of the panel that are not plain grey, as
// "name:Look" sorted by name; empty for a plain panel.
inline QString panelMarks(const QWidget *window)
{
    QStringList marks;
    for (int c = 1; c <= 2; ++c) {
        QStringList names;
        for (int n = 1; n <= 6; ++n)
            names << QStringLiteral("botaoTecla%1C%2").arg(n).arg(c);
        names << QStringLiteral("botaoSplitC%1").arg(c) << QStringLiteral("botaoSendC%1").arg(c);
        for (const QString &name : names) {
            const QWidget *button = window->findChild<QWidget *>(name);
            if (lookOf(button) != Look::Neutral)
                marks << name + QLatin1Char(':') + lookName(button);
        }
    }
    return sortedMarks(marks);
}

// Every look a button takes, so that a flicker between two checks cannot hide.
class LookHistory : public QObject
{
public:
    explicit LookHistory(QWidget *watched)
        : button(watched)
    {
        button->installEventFilter(this);
    }
    ~LookHistory() override { button->removeEventFilter(this); }

    QStringList names() const
    {
        QStringList list;
        for (Look look : looks)
            list << lookName(look);
        return list;
    }
    // Nothing but `look` was set (or nothing at all).
    bool onlyEver(Look look) const { return looks.isEmpty() || looks == QList<Look>{look}; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A widget's own style sheet reaches it as a StyleChange; the theme's polish may
        // send more than one per change, so repeats are folded.
        if (watched == button && event->type() == QEvent::StyleChange) {
            const Look look = lookOf(button);
            if (looks.isEmpty() || looks.last() != look)
                looks << look;
        }
        return false;
    }

private:
    QWidget *button;
    QList<Look> looks;
};

// The LAN worker logs a line for every datagram it reads (ThreadCOM::datagramsRead() counts
// them). How many such debug lines were logged since silenceReadNotices() was first called.
inline std::atomic<quint64> &readNotices()
{
    static std::atomic<quint64> lines{0};
    return lines;
}

// Where thousands come, this drops those lines (counting them) and passes every other
// message on.
inline void silenceReadNotices()
{
    static QtMessageHandler previous = nullptr;
    if (previous)
        return;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (type == QtDebugMsg && message == QLatin1String("Read Pending Datagram!"))
            ++readNotices();
        else
            previous(type, context, message);
    });
}

#ifdef Q_OS_UNIX
// User and system CPU time of this process so far, in milliseconds.
inline qint64 cpuTimeMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
#endif

} // namespace PanelProbe
