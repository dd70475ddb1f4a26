// The settings dialog "設定": LUID, page count, FMO names and playback, laid
// out at fixed positions in a fixed-size tool window. OK closes it only when
// the OK rule given by the core holds for what the controls show.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>

#include "app/WindowUi.h"
#include "app/qt/QtUi.h"

namespace hollowmere::qt {

class TSettingForm : public QDialog {
 public:
  using OkRule = std::function<bool(const TSettingDialogValues&)>;

  TSettingForm(QWidget* owner, OkRule okRule);

  void SetValues(const TSettingDialogValues& values);
  TSettingDialogValues Values() const;

  QLineEdit* LUIDEdit;
  QLabel* LUIDLabel;
  QLineEdit* PageEdit;
  QLabel* PageLabel;
  QLabel* FMOLabel;
  QPlainTextEdit* FMOMemo;
  QPushButton* OKButton;
  QPushButton* CancelButton;
  QCheckBox* PlayCheck;

 private:
  void OKButtonClick();
  OkRule okRule_;
};

// ISettingDialog through TSettingForm.
class TQtSettingDialog : public ISettingDialog, public TOwnedByWindow {
 public:
  bool Execute(TSettingDialogValues& values,
               const std::function<bool(const TSettingDialogValues&)>& acceptOk) override;
};

}  // namespace hollowmere::qt
