#include "accessibletree.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QFocusFrame>
#include <QMainWindow>
#include <QMenu>
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

// A container as Qt presents it (its role, its place, its texts), listing its child widgets
// as Qt does (in the order of children(), without windows, menus and focus frames) except
// those left out.
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
                && child->objectName() != QLatin1String("qt_spinbox_lineedit") && !child->property(LeftOut).toBool())
                children << child;
        }
        return children;
    }
};

QAccessibleInterface *make(const QString &className, QObject *object)
{
    if (object == QCoreApplication::instance())
        return new Application;
    // The containers decoration is left out of: main windows and plain widgets, with the
    // role Qt gives them. Qt asks for the most derived class first.
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (qobject_cast<QMainWindow *>(widget))
        return new Container(widget, QAccessible::Window);
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
