#pragma once

#include "panelbutton.h"

#include <QString>

#include <functional>

class FocusMark;
class QPushButton;
class QWidget;

// The panel without the mouse: the keys of PanelShortcuts, Tab through the buttons in
// reading order with a focus outline, Space on the focused button.
namespace PanelKeyboard {

using ButtonOf = std::function<QPushButton *(const PanelButton &)>;

// Gives the window the panel's keys. Each key clicks its button, so it does exactly what a
// click does; the keys act while the window is the active one, whatever has the focus in
// it, and never while one of its dialogs is active. Escape calls `escape`. Returns the focus
// outline, drawn over `area`, which holds every button.
FocusMark *install(QWidget *window, QWidget *area, const ButtonOf &buttonOf, const std::function<void()> &escape);

// The keys as a rich-text table, for Help > Keyboard Shortcuts.
QString listing();

// Shows that listing in a window of its own, beside the panel.
void showListing(QWidget *parent);

} // namespace PanelKeyboard
