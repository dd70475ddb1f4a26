// The search dialog's controls, laid out by the toolkit so every text fits
// whatever the font and scale.
#include "app/qt/ArchiveSearchForm.h"

#include <QDate>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/QtText.h"

namespace hollowmere::qt {
namespace {

QDate ToQDate(const TCivilDate& d) { return QDate(d.Year, d.Month, d.Day); }
TCivilDate FromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

// A chooser whose first item means "any": its data is empty.
QComboBox* Chooser(QWidget* parent, const std::vector<std::string>& names, const std::string& current) {
  auto* combo = new QComboBox(parent);
  combo->addItem(J("(すべて)"), QByteArray());
  for (const std::string& name : names) {
    combo->addItem(ToQ(name), QByteArray::fromStdString(name));
  }
  const int at = combo->findData(QByteArray::fromStdString(current));
  combo->setCurrentIndex(current.empty() || at < 0 ? 0 : at);
  combo->setMaxVisibleItems(20);
  return combo;
}

std::string Chosen(const QComboBox* combo) { return combo->currentData().toByteArray().toStdString(); }

}  // namespace

TArchiveSearchForm::TArchiveSearchForm(QWidget* owner, const TArchiveSearchRequest& request,
                                       const std::vector<std::string>& ghosts,
                                       const std::vector<std::string>& channels, const TQtDateFormats& formats)
    : QDialog(owner) {
  setWindowTitle(J("アーカイブ検索"));
  QueryEdit = new QLineEdit(QString::fromUtf8(request.QueryUtf8), this);
  QueryEdit->setPlaceholderText(J("語 \"語句\" -除く語 ghost:名前 since:2026/01/01"));
  QueryEdit->setMinimumWidth(QueryEdit->fontMetrics().horizontalAdvance(QueryEdit->placeholderText()) + 24);
  GhostCombo = Chooser(this, ghosts, request.Ghost);
  ChannelCombo = Chooser(this, channels, request.Channel);

  PeriodCheck = new QCheckBox(J("期間(&P)"), this);
  PeriodCheck->setChecked(request.UsePeriod);
  const QDate today = QDate::currentDate();
  FromPicker = new QDateEdit(request.UsePeriod ? ToQDate(request.From) : today.addMonths(-1), this);
  ToPicker = new QDateEdit(request.UsePeriod ? ToQDate(request.To) : today, this);
  for (QDateEdit* picker : {FromPicker, ToPicker}) {
    picker->setDisplayFormat(formats.DatePickerFormat());
    picker->setCalendarPopup(true);
    picker->setEnabled(request.UsePeriod);
  }
  auto* period = new QHBoxLayout;
  period->addWidget(PeriodCheck);
  period->addWidget(FromPicker);
  period->addWidget(new QLabel(J("～"), this));
  period->addWidget(ToPicker);
  period->addStretch(1);

  CountLabel = new QLabel(this);
  CountLabel->setWordWrap(true);
  CountLabel->setMinimumHeight(CountLabel->fontMetrics().height() * 2);

  auto* form = new QFormLayout;
  form->addRow(J("検索語(&Q):"), QueryEdit);
  form->addRow(J("ゴースト(&G):"), GhostCombo);
  form->addRow(J("チャンネル(&H):"), ChannelCombo);
  form->addRow(period);
  form->addRow(CountLabel);

  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->button(QDialogButtonBox::Ok)->setText(J("OK"));
  Buttons->button(QDialogButtonBox::Cancel)->setText(J("キャンセル"));
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(PeriodCheck, &QCheckBox::toggled, this, [this](bool on) {
    FromPicker->setEnabled(on);
    ToPicker->setEnabled(on);
  });

  auto* whole = new QVBoxLayout(this);
  whole->addLayout(form);
  whole->addWidget(Buttons);
  QueryEdit->setFocus();
}

TArchiveSearchRequest TArchiveSearchForm::Request() const {
  TArchiveSearchRequest r;
  r.QueryUtf8 = QueryEdit->text().toStdString();
  r.Ghost = Chosen(GhostCombo);
  r.Channel = Chosen(ChannelCombo);
  r.UsePeriod = PeriodCheck->isChecked();
  r.From = FromQDate(FromPicker->date());
  r.To = FromQDate(ToPicker->date());
  return r;
}

void TArchiveSearchForm::ShowCount(const TArchiveCount& count) {
  // A request that cannot be searched is mended here, not after OK.
  Buttons->button(QDialogButtonBox::Ok)->setEnabled(count.Count.has_value());
  if (count.Count) {
    CountLabel->setText(QLocale().toString(static_cast<qulonglong>(*count.Count)) + J(" 件"));
    CountLabel->setStyleSheet(QString());
  } else {
    CountLabel->setText(ToQ(count.Problem));
    CountLabel->setStyleSheet(QStringLiteral("color: #b00000"));
  }
}

bool TQtArchiveSearchDialog::Execute(TArchiveSearchRequest& request, const std::vector<std::string>& ghosts,
                                     const std::vector<std::string>& channels, const TArchiveCountAsk& ask) {
  TArchiveSearchForm form(Owner(), request, ghosts, channels, formats_);
  const auto changed = [&form, &ask] { ask(form.Request()); };
  QObject::connect(form.QueryEdit, &QLineEdit::textChanged, &form, changed);
  QObject::connect(form.GhostCombo, &QComboBox::currentIndexChanged, &form, changed);
  QObject::connect(form.ChannelCombo, &QComboBox::currentIndexChanged, &form, changed);
  QObject::connect(form.PeriodCheck, &QCheckBox::toggled, &form, changed);
  QObject::connect(form.FromPicker, &QDateEdit::dateChanged, &form, changed);
  QObject::connect(form.ToPicker, &QDateEdit::dateChanged, &form, changed);
  open_ = &form;
  changed();
  const bool ok = form.exec() == QDialog::Accepted;
  open_ = nullptr;
  if (ok) request = form.Request();
  return ok;
}

void TQtArchiveSearchDialog::ShowCount(const TArchiveCount& count) {
  if (open_ != nullptr) open_->ShowCount(count);
}

}  // namespace hollowmere::qt
