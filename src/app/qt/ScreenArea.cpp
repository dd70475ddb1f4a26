// QScreen's available geometry as TFormBounds.
#include "app/qt/ScreenArea.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/WindowPlacement.h"

namespace hollowmere::qt {
namespace {

TFormBounds FromRect(const QRect& r) { return TFormBounds{r.top(), r.left(), r.width(), r.height()}; }

}  // namespace

TFormBounds AvailableAreaAt(const QPoint& point) {
  const QScreen* screen = QGuiApplication::screenAt(point);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen == nullptr ? TFormBounds{0, 0, 0, 0} : FromRect(screen->availableGeometry());
}

QPoint CentredPosition(const QWidget* around, const QSize& size) {
  const QScreen* primary = QGuiApplication::primaryScreen();
  const QRect aroundRect =
      around != nullptr ? around->frameGeometry() : (primary != nullptr ? primary->availableGeometry() : QRect());
  const TFormBounds placed = CentredOn(FromRect(aroundRect), size.width(), size.height(),
                                       AvailableAreaAt(aroundRect.center()));
  return QPoint(placed.Left, placed.Top);
}

}  // namespace hollowmere::qt
