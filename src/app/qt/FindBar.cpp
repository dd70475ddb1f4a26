// The find bar's field, count and keys over the view's find.
#include "app/qt/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>

#include "app/qt/QtText.h"

namespace hollowmere::qt {

TFindBar::TFindBar(QWebEnginePage* page, QWidget* focusBack, QWidget* parent)
    : QWidget(parent), page_(page), focusBack_(focusBack) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(4);
  auto* label = new QLabel(J("検索(&N):"), this);
  field_ = new QLineEdit(this);
  label->setBuddy(field_);
  count_ = new QLabel(this);
  count_->setMinimumWidth(count_->fontMetrics().horizontalAdvance(J("0000 / 0000 件")));
  auto* close = new QToolButton(this);
  close->setText(J("閉じる"));
  close->setAutoRaise(true);
  layout->addWidget(label);
  layout->addWidget(field_, 1);
  layout->addWidget(count_);
  layout->addWidget(close);
  field_->installEventFilter(this);
  connect(field_, &QLineEdit::textChanged, this, [this] { Find(false); });
  connect(close, &QToolButton::clicked, this, [this] { Close(); });
  hide();
}

void TFindBar::Open() {
  show();
  field_->setFocus(Qt::ShortcutFocusReason);
  field_->selectAll();
  if (!field_->text().isEmpty()) Find(false);
}

void TFindBar::Close() {
  if (isHidden()) return;
  hide();
  page_->findText(QString());
  count_->clear();
  if (focusBack_ != nullptr) focusBack_->setFocus(Qt::OtherFocusReason);
}

void TFindBar::FindNext(bool backward) {
  if (field_->text().isEmpty()) {
    Open();
    return;
  }
  if (isHidden()) show();
  Find(backward);
}

void TFindBar::Find(bool backward) {
  const QString text = field_->text();
  if (text.isEmpty()) {
    page_->findText(QString());
    count_->clear();
    return;
  }
  // The bar may be gone by the time the engine answers.
  QPointer<TFindBar> self(this);
  page_->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
                  [self](const QWebEngineFindTextResult& result) {
                    if (self) self->ShowResult(result);
                  });
}

void TFindBar::ShowResult(const QWebEngineFindTextResult& result) {
  count_->setText(QString::number(result.activeMatch()) + " / " +
                  QString::number(result.numberOfMatches()) + J(" 件"));
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      FindNext((key->modifiers() & Qt::ShiftModifier) != 0);
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      Close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace hollowmere::qt
