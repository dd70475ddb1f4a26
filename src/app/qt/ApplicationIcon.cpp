// Rendered from the SVG with QSvgRenderer rather than loaded by QIcon, which
// would depend on an image-format plugin being installed at run time.
#include "app/qt/ApplicationIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace hollowmere::qt {

QIcon ApplicationIcon() {
  QSvgRenderer renderer(QStringLiteral(":/hollowmere.svg"));
  QIcon icon;
  if (!renderer.isValid()) return icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace hollowmere::qt
