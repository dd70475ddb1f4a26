// The settings dialog's controls, in tab order, at their design positions.
#include "app/qt/SettingForm.h"

#include "app/qt/DialogFit.h"
#include <QGuiApplication>
#include <QScreen>

#include "app/qt/QtText.h"
#include "text/Encoding.h"

namespace hollowmere::qt {

TSettingForm::TSettingForm(QWidget* owner, OkRule okRule)
    : QDialog(owner, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), okRule_(std::move(okRule)) {
  SetUpDialog(*this, J("設定"), QSize(348, 262));

  LUIDLabel = new QLabel(J("LUID(&L)"), this);
  LUIDLabel->setGeometry(8, 1, 337, 13);
  LUIDEdit = new QLineEdit(this);
  LUIDEdit->setGeometry(8, 16, 337, 20);
  LUIDLabel->setBuddy(LUIDEdit);

  PageLabel = new QLabel(J("１ページに表示するメッセージ数(&P)"), this);
  PageLabel->setGeometry(8, 41, 337, 13);
  PageEdit = new QLineEdit(this);
  PageEdit->setGeometry(8, 56, 121, 20);
  PageLabel->setBuddy(PageEdit);

  FMOLabel = new QLabel(J("参照FMO名"), this);
  FMOLabel->move(8, 80);
  FMOLabel->adjustSize();
  FMOMemo = new QPlainTextEdit(this);
  FMOMemo->setGeometry(8, 96, 337, 113);
  FMOMemo->setTabChangesFocus(true);

  OKButton = new QPushButton(J("&OK"), this);
  OKButton->setGeometry(192, 232, 75, 25);
  OKButton->setDefault(true);
  CancelButton = new QPushButton(J("キャンセル(&C)"), this);
  CancelButton->setGeometry(272, 232, 75, 25);
  PlayCheck = new QCheckBox(J("再生機能を使う(L)"), this);
  PlayCheck->setGeometry(8, 216, 121, 17);

  setTabOrder(LUIDEdit, PageEdit);
  setTabOrder(PageEdit, FMOMemo);
  setTabOrder(FMOMemo, OKButton);
  setTabOrder(OKButton, CancelButton);
  setTabOrder(CancelButton, PlayCheck);

  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  FitDialogToTexts(*this);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TSettingForm::SetValues(const TSettingDialogValues& values) {
  LUIDEdit->setText(ToQ(values.Luid));
  PageEdit->setText(ToQ(values.PageCount));
  QString memo = ToQ(values.FmoText);
  memo.replace(QString("\r\n"), QString("\n"));
  FMOMemo->setPlainText(memo);
  PlayCheck->setChecked(values.PlayEnabled);
}

TSettingDialogValues TSettingForm::Values() const {
  TSettingDialogValues values;
  values.Luid = FromQ(LUIDEdit->text());
  values.PageCount = FromQ(PageEdit->text());
  // The memo's lines as the core reads them: CR LF between lines.
  QString memo = FMOMemo->toPlainText();
  memo.replace(QChar('\n'), QString("\r\n"));
  values.FmoText = FromQ(memo);
  values.PlayEnabled = PlayCheck->isChecked();
  return values;
}

void TSettingForm::OKButtonClick() {
  // A refused OK keeps the dialog open, without a message.
  if (!okRule_ || okRule_(Values())) accept();
}

bool TQtSettingDialog::Execute(TSettingDialogValues& values,
                               const std::function<bool(const TSettingDialogValues&)>& acceptOk) {
  TSettingForm form(Owner(), acceptOk);
  form.SetValues(values);
  if (form.exec() != QDialog::Accepted) return false;
  values = form.Values();
  return true;
}

}  // namespace hollowmere::qt
