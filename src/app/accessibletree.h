#pragma once

class QWidget;

// What screen readers are given beyond Qt's own: the application named as the program, not
// described by its executable's path, and decoration and widgets that carry nothing (an
// empty label, a size grip) left out of the widget tree they walk.
// Qt lists a widget's children in the order of children(), so the order of making them is
// the order they are read in.
namespace AccessibleTree {

// Installs the interfaces that do this; once per application, before any window is made.
void install();

// Leaves `widget`, which only decorates or arranges, out of what screen readers list; its
// parent, a main window or a plain QWidget, lists its other children as before.
void leaveOut(QWidget *widget);

} // namespace AccessibleTree
