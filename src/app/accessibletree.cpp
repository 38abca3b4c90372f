#include "accessibletree.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QFocusFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPicture>
#include <QSizeGrip>
#include <QStatusBar>
#include <QWidget>

namespace AccessibleTree {

namespace {
const char LeftOut[] = "zorvikLeftOut";

QString programName() { return QCoreApplication::translate("AccessibleTree", "Zorvik Remote Control"); }

class Application : public QAccessibleApplication
{
public:
    QString text(QAccessible::Text t) const override
    {
        // Qt describes the application by its executable's path.
        if (t == QAccessible::Description)
            return programName();
        return QAccessibleApplication::text(t);
    }
};

// Whether `widget` has nothing a screen reader could say, at the moment it is asked: a size
// grip, which only the mouse drags, or a label without text, picture or name of its own
// (the identification line before the operator gives one).
bool carriesNothing(const QWidget *widget)
{
    if (qobject_cast<const QSizeGrip *>(widget))
        return true;
    const auto *label = qobject_cast<const QLabel *>(widget);
    if (!label || !label->text().trimmed().isEmpty() || !label->accessibleName().isEmpty() || label->movie())
        return false;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return label->pixmap().isNull() && label->picture().isNull();
#else
    return label->pixmap(Qt::ReturnByValue).isNull() && label->picture(Qt::ReturnByValue).isNull();
#endif
}

// A container as Qt presents it (its role, its place, its texts), listing its child widgets
// as Qt does (in the order of children(), without windows, menus and focus frames) except
// those left out and those that carry nothing.
class Container : public QAccessibleWidget
{
public:
    Container(QWidget *widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
    {}

    int childCount() const override { return int(listed().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> children = listed();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children.at(index))
                                                     : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(listed().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
    }

private:
    QList<QWidget *> listed() const
    {
        QList<QWidget *> children;
        for (QObject *object : widget()->children()) {
            auto *child = qobject_cast<QWidget *>(object);
            if (child && !child->isWindow() && !qobject_cast<QFocusFrame *>(child) && !qobject_cast<QMenu *>(child)
                && child->objectName() != QLatin1String("qt_rubberband")
                && child->objectName() != QLatin1String("qt_spinbox_lineedit") && !child->property(LeftOut).toBool()
                && !carriesNothing(child))
                children << child;
        }
        return children;
    }
};

// The status bar as Qt presents it, named by the message it shows, listing its widgets as a
// container does.
class StatusBar : public Container
{
public:
    explicit StatusBar(QStatusBar *bar)
        : Container(bar, QAccessible::StatusBar)
    {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<QStatusBar *>(widget())->currentMessage();
        return Container::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = Container::state();
        s.readOnly = true;
        return s;
    }
};

QAccessibleInterface *make(const QString &className, QObject *object)
{
    if (object == QCoreApplication::instance())
        return new Application;
    // The containers decoration is left out of: main windows, status bars and plain widgets,
    // with the role Qt gives them. Qt asks for the most derived class first.
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (qobject_cast<QMainWindow *>(widget))
        return new Container(widget, QAccessible::Window);
    if (auto *bar = qobject_cast<QStatusBar *>(widget))
        return new StatusBar(bar);
    // Qt's own plain widgets (a scroll area's viewport, ...) stay Qt's.
    if (className == QLatin1String("QWidget") && !widget->objectName().startsWith(QLatin1String("qt_")))
        return new Container(widget, QAccessible::Client);
    return nullptr;
}
} // namespace

void install()
{
    static const bool installed = (QAccessible::installFactory(make), true);
    Q_UNUSED(installed)
}

void leaveOut(QWidget *widget) { widget->setProperty(LeftOut, true); }

} // namespace AccessibleTree
