#pragma once

#include <QString>

// Inserts line breaks so that an antenna name fits its square button: the first lines
// hold five characters each. A name without breaks of its own gets breaks after its 5th
// and 10th characters (the rest stays on the third line); after an own break (not at
// the very start), a line of more than five characters is broken once after the fifth.
QString wrapLabelText(QString text);
