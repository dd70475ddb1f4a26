// The small window shown while a log is fetched: the bytes received so far
// and a button to abandon the fetch. It is modal to the main window without
// a nested loop of its own (the fetch serves the loop), so the window keeps
// painting while menus and links wait.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>

#include "app/ServiceUi.h"
#include "app/qt/QtUi.h"

namespace hollowmere::qt {

class TFetchProgressForm : public QDialog, public IFetchProgress {
 public:
  explicit TFetchProgressForm(QWidget* owner);
  void Show(std::function<void()> onAbandon) override;
  void ShowBytes(uint64_t received) override;
  void Close() override;

  QLabel* StatusLabel;
  QPushButton* AbandonButton;

 protected:
  // Escape and the window's close button abandon too.
  void reject() override;

 private:
  std::function<void()> onAbandon_;
  bool closing_ = false;
};

class TQtFetchProgressWindows : public IFetchProgressWindows, public TOwnedByWindow {
 public:
  std::unique_ptr<IFetchProgress> Create() override;
};

}  // namespace hollowmere::qt
