// Growing the controls of absolutely placed dialogs to their texts.
#include "app/qt/DialogFit.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace hollowmere::qt {

QSize TextRoomNeeded(const QWidget& control) {
  const int line = control.fontMetrics().height();
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    if (label->text().isEmpty() || label->wordWrap()) return QSize();
    return label->sizeHint();
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
    if (button->text().isEmpty()) return QSize();
    // The frame a style draws around a button may overlap the design's
    // height; the text's line must not.
    return QSize(button->sizeHint().width(), line);
  }
  if (qobject_cast<const QComboBox*>(&control) != nullptr ||
      qobject_cast<const QAbstractSpinBox*>(&control) != nullptr) {
    return QSize(control.sizeHint().width(), line);
  }
  return QSize();
}

namespace {

// The dialog's own controls, those placed by hand (a layout places its own).
std::vector<QWidget*> PlacedControls(QWidget& dialog) {
  std::vector<QWidget*> controls;
  if (dialog.layout() != nullptr) return controls;
  for (QObject* child : dialog.children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && !widget->isWindow()) controls.push_back(widget);
  }
  return controls;
}

bool RowsOverlap(const QRect& a, const QRect& b) { return a.top() <= b.bottom() && b.top() <= a.bottom(); }

}  // namespace

void FitDialogToTexts(QWidget& dialog) {
  const std::vector<QWidget*> controls = PlacedControls(dialog);
  if (controls.empty()) return;
  int right = 0;
  int bottom = 0;
  for (const QWidget* c : controls) {
    right = std::max(right, c->geometry().right() + 1);
    bottom = std::max(bottom, c->geometry().bottom() + 1);
  }
  const int rightMargin = std::max(0, dialog.width() - right);
  const int bottomMargin = std::max(0, dialog.height() - bottom);

  for (QWidget* c : controls) {
    const QSize need = TextRoomNeeded(*c);
    const QRect old = c->geometry();
    const int dx = std::max(0, need.width() - old.width());
    const int dy = std::max(0, need.height() - old.height());
    if (dx == 0 && dy == 0) continue;
    c->resize(old.width() + dx, old.height() + dy);
    for (QWidget* other : controls) {
      if (other == c) continue;
      QRect g = other->geometry();
      // Beside it on its row: moved right, so the two do not overlap.
      if (dx > 0 && g.left() > old.right() && RowsOverlap(g, old)) g.translate(dx, 0);
      // Below it, anywhere: everything under the grown line moves down.
      if (dy > 0 && g.top() > old.bottom()) g.translate(0, dy);
      other->move(g.topLeft());
    }
  }

  right = 0;
  bottom = 0;
  for (const QWidget* c : controls) {
    right = std::max(right, c->geometry().right() + 1);
    bottom = std::max(bottom, c->geometry().bottom() + 1);
  }
  const QSize size(std::max(dialog.width(), right + rightMargin), std::max(dialog.height(), bottom + bottomMargin));
  if (size == dialog.size()) return;
  if (dialog.minimumSize() == dialog.maximumSize()) {
    dialog.setFixedSize(size);
  } else {
    dialog.resize(size);
  }
}

}  // namespace hollowmere::qt
