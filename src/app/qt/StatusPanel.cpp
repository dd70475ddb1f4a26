// The status panel's own text and the hovered link's address.
#include "app/qt/StatusPanel.h"

namespace hollowmere::qt {

void TStatusPanel::SetStatus(const QString& text) {
  status_ = text;
  if (!onLink_) setText(text);
}

void TStatusPanel::ShowLink(const QString& address) {
  onLink_ = !address.isEmpty();
  setText(onLink_ ? address : status_);
}

}  // namespace hollowmere::qt
