// The log download dialog "条件指定": three radio buttons, one for each way of
// naming a part of the log, each with its controls on its own row; OK and
// Cancel. The dialog only shows and edits a TLogConditions: the change
// rules and the request belong to the core.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>

#include "app/ServiceUi.h"
#include "app/qt/QtDateFormats.h"
#include "app/qt/QtUi.h"
#include "net/LogConditions.h"

namespace hollowmere::qt {

class TLogDownForm : public QDialog {
 public:
  // `formats`: the pickers show dates and times in its formats.
  TLogDownForm(QWidget* owner, const TLogConditions& conditions, const TQtDateFormats& formats);

  const TLogConditions& Conditions() const { return conditions_; }

  QRadioButton* TimeRadioButton;
  QSpinBox* TimeSpinEdit;
  QComboBox* UnitComboBox;
  QRadioButton* DateRadioButton;
  QDateEdit* DateTimePicker1;
  QLabel* FromLabel1;
  QDateEdit* DateTimePicker2;
  QLabel* ToLabel;
  QRadioButton* FromRadioButton;
  QDateEdit* DateTimePicker3;
  QTimeEdit* DateTimePicker4;
  QLabel* FromLabel2;
  QPushButton* OKButton;
  QPushButton* CancelButton;

 private:
  void ShowMode();
  TLogConditions conditions_;
  QButtonGroup* modes_;
};

// ILogDownDialog through TLogDownForm.
class TQtLogDownDialog : public ILogDownDialog, public TOwnedByWindow {
 public:
  explicit TQtLogDownDialog(const TQtDateFormats& formats) : formats_(formats) {}
  bool Execute(TLogConditions& conditions) override;

 private:
  const TQtDateFormats& formats_;
};

}  // namespace hollowmere::qt
