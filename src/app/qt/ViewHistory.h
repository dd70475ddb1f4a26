// Back and forward among the pages the view has shown in this run: Alt+Left
// and Alt+Right, and the mouse's back and forward buttons over the view.
// The engine's own history of the view is the list; every step still passes
// the link dispatch, so it can only reach pages the program wrote.
#pragma once

#include <QObject>

class QWebEngineView;
class QWidget;

namespace hollowmere::qt {

class TViewHistory : public QObject {
 public:
  TViewHistory(QWebEngineView* view, QWidget* window);

  void Back();
  void Forward();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWebEngineView* view_;
};

}  // namespace hollowmere::qt
