// Zoom steps and their keys.
#include "app/qt/ViewZoom.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWebEngineView>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "app/Settings.h"

namespace hollowmere::qt {
namespace {

// The steps a browser user knows, within the range the settings keep.
constexpr int32_t kSteps[] = {25, 33, 50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400, 500};
static_assert(kSteps[0] == kMinZoomPercent && kSteps[std::size(kSteps) - 1] == kMaxZoomPercent);

}  // namespace

int32_t NextZoomStep(int32_t percent, bool up) {
  if (up) {
    const auto* next = std::upper_bound(std::begin(kSteps), std::end(kSteps), percent);
    return next == std::end(kSteps) ? kSteps[std::size(kSteps) - 1] : *next;
  }
  const auto* next = std::lower_bound(std::begin(kSteps), std::end(kSteps), percent);
  return next == std::begin(kSteps) ? kSteps[0] : *(next - 1);
}

int32_t ViewZoomPercent(const QWebEngineView& view) {
  return static_cast<int32_t>(std::lround(view.zoomFactor() * 100.0));
}

void SetViewZoomPercent(QWebEngineView& view, int32_t percent) {
  view.setZoomFactor(std::clamp(percent, kMinZoomPercent, kMaxZoomPercent) / 100.0);
}

void InstallZoomKeys(QWidget* window, QWebEngineView* view) {
  const auto bind = [window, view](const QKeySequence& keys, auto step) {
    auto* shortcut = new QShortcut(keys, window);
    QObject::connect(shortcut, &QShortcut::activated, view, [view, step] {
      SetViewZoomPercent(*view, step(ViewZoomPercent(*view)));
    });
  };
  const auto in = [](int32_t p) { return NextZoomStep(p, true); };
  const auto out = [](int32_t p) { return NextZoomStep(p, false); };
  // Ctrl++ is Ctrl+Shift+= on most keyboards, and Ctrl+= is what the hand presses.
  bind(QKeySequence(QKeySequence::ZoomIn), in);
  bind(QKeySequence(Qt::CTRL | Qt::Key_Equal), in);
  bind(QKeySequence(QKeySequence::ZoomOut), out);
  bind(QKeySequence(Qt::CTRL | Qt::Key_0), [](int32_t) { return int32_t{100}; });
}

}  // namespace hollowmere::qt
