// The screen's available area (without panels and docks) in the core's
// terms, and the windows placed in it with app/WindowPlacement.h.
#pragma once

#include <QPoint>
#include <QSize>

#include "app/Settings.h"

class QWidget;

namespace hollowmere::qt {

// The available area of the screen holding `point`, or of the primary
// screen when no screen does; an empty area when there is no screen at all.
TFormBounds AvailableAreaAt(const QPoint& point);

// Where a window of `size` goes to be centred on `around` (on the primary
// screen's available area when null), kept on the screen it lands on.
QPoint CentredPosition(const QWidget* around, const QSize& size);

}  // namespace hollowmere::qt
