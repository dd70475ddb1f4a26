// The HTML view's zoom steps: Ctrl++ and Ctrl+- move to the next step of the
// list, Ctrl+0 back to 100 %. Ctrl+wheel is the engine's own and may leave
// the zoom between steps; the keys then go on from the nearest step.
#pragma once

#include <cstdint>

class QWebEngineView;
class QWidget;

namespace hollowmere::qt {

// The step after `percent` upwards (`up`) or downwards; the list's end
// stays where it is.
int32_t NextZoomStep(int32_t percent, bool up);

// The view's zoom factor in whole percent.
int32_t ViewZoomPercent(const QWebEngineView& view);
void SetViewZoomPercent(QWebEngineView& view, int32_t percent);

// Puts the three keys on `window`, acting on `view`.
void InstallZoomKeys(QWidget* window, QWebEngineView* view);

}  // namespace hollowmere::qt
