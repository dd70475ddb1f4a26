// Where windows may go on the screen. The saved main window bounds come
// from a file anyone can edit, so they are fitted to the screen's available
// area before the window takes them; that is also what is saved again.
// All arithmetic is wide enough for any 32-bit input.
#pragma once

#include "app/Settings.h"

namespace hollowmere {

// The smallest main window: the menu bar, a little of the view and the
// status bar stay usable.
inline constexpr int32_t kMinFormWidth = 200;
inline constexpr int32_t kMinFormHeight = 150;

// Taken when the system names no usable area (none, or an empty one).
inline constexpr TFormBounds kFallbackArea{0, 0, 1920, 1080};

// `wanted` made to fit `area`: width and height at least the minimum (or
// the whole area, if it is smaller) and at most the area's, then moved by
// the least distance that puts the window wholly inside the area.
TFormBounds FitFormBounds(const TFormBounds& wanted, const TFormBounds& area);

// The top-left corner (as Left and Top, with the given Width and Height) of
// a window of `width` × `height` centred on `around`, then moved inside
// `area` as FitFormBounds moves it; `around` may be anywhere.
TFormBounds CentredOn(const TFormBounds& around, int32_t width, int32_t height, const TFormBounds& area);

}  // namespace hollowmere
