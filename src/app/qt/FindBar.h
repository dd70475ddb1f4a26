// The find bar under the HTML view: a field whose text the view's own find
// highlights as it is typed, Enter or F3 for the next hit, Shift+F3 (or
// Shift+Enter) for the previous, "N / M 件" beside the field, Esc to close.
// It only searches what the view shows; closing it clears the highlights
// and gives the focus back to the view.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

class QWebEnginePage;
class QWebEngineFindTextResult;

namespace hollowmere::qt {

class TFindBar : public QWidget {
 public:
  // `focusBack`: the widget that gets the focus when the bar closes.
  TFindBar(QWebEnginePage* page, QWidget* focusBack, QWidget* parent);

  // Shows the bar (if hidden) with its text selected for typing over.
  void Open();
  void Close();
  // The next (or previous) hit of the field's text; opens the bar when the
  // field is empty.
  void FindNext(bool backward);

  QLineEdit* Field() const { return field_; }
  QLabel* Count() const { return count_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Find(bool backward);
  void ShowResult(const QWebEngineFindTextResult& result);

  QWebEnginePage* page_;
  QWidget* focusBack_;
  QLineEdit* field_;
  QLabel* count_;
};

}  // namespace hollowmere::qt
