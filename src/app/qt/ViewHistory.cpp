// The history keys and mouse buttons. The view draws into a child widget
// that it makes (and may make again), so the buttons are caught on every
// child as it arrives.
#include "app/qt/ViewHistory.h"

#include <QChildEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcut>
#include <QWebEngineHistory>
#include <QWebEngineView>

namespace hollowmere::qt {

TViewHistory::TViewHistory(QWebEngineView* view, QWidget* window) : QObject(view), view_(view) {
  auto* back = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Left), window);
  auto* forward = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Right), window);
  connect(back, &QShortcut::activated, this, [this] { Back(); });
  connect(forward, &QShortcut::activated, this, [this] { Forward(); });
  view_->installEventFilter(this);
  for (QObject* child : view_->children()) child->installEventFilter(this);
}

void TViewHistory::Back() {
  if (view_->history()->canGoBack()) view_->back();
}

void TViewHistory::Forward() {
  if (view_->history()->canGoForward()) view_->forward();
}

bool TViewHistory::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::ChildAdded) {
    static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
  } else if (event->type() == QEvent::MouseButtonPress) {
    const auto button = static_cast<QMouseEvent*>(event)->button();
    if (button == Qt::BackButton) {
      Back();
      return true;
    }
    if (button == Qt::ForwardButton) {
      Forward();
      return true;
    }
  } else if (event->type() == QEvent::MouseButtonRelease) {
    const auto button = static_cast<QMouseEvent*>(event)->button();
    // The press did the step; the engine must not do it again.
    if (button == Qt::BackButton || button == Qt::ForwardButton) return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace hollowmere::qt
