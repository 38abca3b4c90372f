#pragma once

#include <QString>

// The dark theme with orange accents, and the per-button looks that show the box's state.
namespace Theme {

// Makes the embedded images and style sheets available; safe to call more than once.
void initResources();

// The main window's sheet, inherited by every child.
const QString &panelStyleSheet();
// The dialogs' sheet: the panel's, with 15 px bold push-button text.
const QString &dialogStyleSheet();

} // namespace Theme
