// The application icon: the same drawing the desktop entry shows, built into
// the program so the window has it wherever the program runs from.
#pragma once

#include <QIcon>

namespace hollowmere::qt {

// The icon at the sizes window managers and task bars ask for.
QIcon ApplicationIcon();

}  // namespace hollowmere::qt
