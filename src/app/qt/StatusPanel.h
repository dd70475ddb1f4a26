// The status bar's one panel. While the pointer rests on a link it shows the
// link's address; when the pointer leaves, the panel's own text comes back,
// including one set meanwhile.
#pragma once

#include <QLabel>
#include <QString>

namespace hollowmere::qt {

class TStatusPanel : public QLabel {
 public:
  explicit TStatusPanel(QWidget* parent) : QLabel(parent) {}

  // The panel's own text.
  void SetStatus(const QString& text);
  const QString& Status() const { return status_; }
  // The address under the pointer; empty when it left the link.
  void ShowLink(const QString& address);

 private:
  QString status_;
  bool onLink_ = false;
};

}  // namespace hollowmere::qt
