// The fetch progress window.
#include "app/qt/FetchProgress.h"

#include "app/qt/DialogFit.h"
#include <QLocale>

#include "app/qt/QtText.h"
#include "app/qt/ScreenArea.h"

namespace hollowmere::qt {

TFetchProgressForm::TFetchProgressForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  SetUpDialog(*this, kApplicationTitle, QSize(260, 72));
  setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  StatusLabel = new QLabel(J("ログを受信しています..."), this);
  StatusLabel->setGeometry(8, 10, 244, 15);
  AbandonButton = new QPushButton(J("中止(&A)"), this);
  AbandonButton->setGeometry(177, 39, 75, 25);
  connect(AbandonButton, &QPushButton::clicked, this, [this] { reject(); });
  FitDialogToTexts(*this);
}

void TFetchProgressForm::Show(std::function<void()> onAbandon) {
  onAbandon_ = std::move(onAbandon);
  if (parentWidget() != nullptr) move(CentredPosition(parentWidget(), size()));
  show();
}

void TFetchProgressForm::ShowBytes(uint64_t received) {
  StatusLabel->setText(J("ログを受信しています: %1 バイト")
                           .arg(QLocale::system().toString(static_cast<qulonglong>(received))));
}

void TFetchProgressForm::Close() {
  closing_ = true;
  close();
}

void TFetchProgressForm::reject() {
  // The window stays until the fetch has ended; it is the fetch that closes it.
  if (closing_) {
    QDialog::reject();
    return;
  }
  AbandonButton->setEnabled(false);
  if (onAbandon_) onAbandon_();
}

std::unique_ptr<IFetchProgress> TQtFetchProgressWindows::Create() {
  return std::make_unique<TFetchProgressForm>(Owner());
}

}  // namespace hollowmere::qt
