// Window placement arithmetic, in 64 bits so that no sum of two 32-bit
// coordinates or sizes can overflow.
#include "app/WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace hollowmere {
namespace {

// An area with room in it whose far edges are 32-bit coordinates too; the
// fallback otherwise.
TFormBounds Usable(const TFormBounds& area) {
  constexpr int64_t kMax = INT32_MAX;
  const bool usable = area.Width > 0 && area.Height > 0 && int64_t{area.Left} + area.Width <= kMax &&
                      int64_t{area.Top} + area.Height <= kMax;
  return usable ? area : kFallbackArea;
}

// The start of a span of `size` (no larger than the area's) that begins as
// near `wanted` as the area [from, from + room) allows.
int32_t Inside(int64_t wanted, int64_t size, int64_t from, int64_t room) {
  return static_cast<int32_t>(std::clamp(wanted, from, from + room - size));
}

}  // namespace

TFormBounds FitFormBounds(const TFormBounds& wanted, const TFormBounds& area) {
  const TFormBounds a = Usable(area);
  TFormBounds fitted;
  fitted.Width = std::clamp(wanted.Width, std::min(kMinFormWidth, a.Width), a.Width);
  fitted.Height = std::clamp(wanted.Height, std::min(kMinFormHeight, a.Height), a.Height);
  fitted.Left = Inside(wanted.Left, fitted.Width, a.Left, a.Width);
  fitted.Top = Inside(wanted.Top, fitted.Height, a.Top, a.Height);
  return fitted;
}

TFormBounds CentredOn(const TFormBounds& around, int32_t width, int32_t height, const TFormBounds& area) {
  const TFormBounds a = Usable(area);
  TFormBounds placed;
  placed.Width = std::clamp(width, 0, a.Width);
  placed.Height = std::clamp(height, 0, a.Height);
  // Centres rounded as the toolkit rounds them: the middle pixel of each
  // span, the left or upper one of two.
  const auto start = [](int64_t from, int64_t span, int64_t size) {
    return (2 * from + span - 1) / 2 - (size - 1) / 2;
  };
  const int64_t left = start(around.Left, around.Width, placed.Width);
  const int64_t top = start(around.Top, around.Height, placed.Height);
  placed.Left = Inside(left, placed.Width, a.Left, a.Width);
  placed.Top = Inside(top, placed.Height, a.Top, a.Height);
  return placed;
}

}  // namespace hollowmere
