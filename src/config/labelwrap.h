#pragma once

#include <QString>

// Inserts line breaks so that an antenna name fits its square button: the first lines
// hold five characters each. A name without breaks of its own gets breaks after its 5th
// and 10th characters (the rest stays on the third line); after an own break (not at
// the very start), a line of more than five characters is broken once after the fifth.
QString wrapLabelText(QString text);

// The text of an antenna button for a name: wrapped as above, and with every '&' doubled,
// because a button takes a single '&' as the mark of a keyboard shortcut and hides it.
QString antennaButtonText(const QString &name);
