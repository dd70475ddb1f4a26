// The dialog's controls at their design positions, wired to the conditions.
#include "app/qt/LogDownForm.h"

#include "app/qt/DialogFit.h"
#include <QDate>
#include <algorithm>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTime>

#include "app/qt/QtText.h"

namespace hollowmere::qt {
namespace {

QDate ToQDate(const TCivilDate& d) { return QDate(d.Year, d.Month, d.Day); }
TCivilDate FromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

QDateEdit* DatePicker(QWidget* parent, const QRect& where, const QString& format) {
  auto* picker = new QDateEdit(parent);
  picker->setGeometry(where);
  picker->setDisplayFormat(format);
  picker->setCalendarPopup(true);
  picker->setMinimumDate(QDate(1, 1, 1));
  picker->setMaximumDate(QDate(9999, 12, 31));
  return picker;
}

QLabel* Label(QWidget* parent, const char* caption, QPoint at) {
  auto* label = new QLabel(J(caption), parent);
  label->move(at);
  label->adjustSize();
  return label;
}

}  // namespace

TLogDownForm::TLogDownForm(QWidget* owner, const TLogConditions& conditions, const TQtDateFormats& formats)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), conditions_(conditions) {
  SetUpDialog(*this, J("条件指定"), QSize(329, 137));
  const QString dateFormat = formats.DatePickerFormat();

  TimeRadioButton = new QRadioButton(J("過去"), this);
  TimeRadioButton->setGeometry(8, 10, 49, 17);
  TimeSpinEdit = new QSpinBox(this);
  TimeSpinEdit->setGeometry(64, 8, 73, 22);
  TimeSpinEdit->setRange(TLogConditions::kMinCount, TLogConditions::kMaxCount);
  UnitComboBox = new QComboBox(this);
  UnitComboBox->setGeometry(144, 8, 65, 22);
  UnitComboBox->addItems({J("時間"), J("日"), J("分")});

  DateRadioButton = new QRadioButton(this);
  DateRadioButton->setGeometry(8, 42, 17, 17);
  DateTimePicker1 = DatePicker(this, QRect(32, 40, 105, 22), dateFormat);
  FromLabel1 = Label(this, "から", QPoint(142, 44));
  DateTimePicker2 = DatePicker(this, QRect(170, 40, 105, 22), dateFormat);
  ToLabel = Label(this, "まで", QPoint(280, 44));

  FromRadioButton = new QRadioButton(this);
  FromRadioButton->setGeometry(8, 74, 17, 17);
  DateTimePicker3 = DatePicker(this, QRect(32, 72, 105, 22), dateFormat);
  DateTimePicker4 = new QTimeEdit(this);
  DateTimePicker4->setGeometry(142, 72, 81, 22);
  DateTimePicker4->setDisplayFormat(formats.TimePickerFormat());
  FromLabel2 = Label(this, "から", QPoint(228, 76));

  // The buttons sit at the bottom right, 75 pixels wide or as wide as their
  // captions need where the font is wider than the design's.
  OKButton = new QPushButton(J("&OK"), this);
  OKButton->setDefault(true);
  CancelButton = new QPushButton(J("キャンセル(&C)"), this);
  const auto buttonWidth = [](QPushButton* b) {
    return std::max(75, b->fontMetrics().horizontalAdvance(b->text().remove('&')) + 12);
  };
  const int cancelWidth = buttonWidth(CancelButton);
  const int okWidth = buttonWidth(OKButton);
  CancelButton->setGeometry(width() - 8 - cancelWidth, 106, cancelWidth, 25);
  OKButton->setGeometry(CancelButton->x() - 8 - okWidth, 106, okWidth, 25);

  FitDialogToTexts(*this);

  modes_ = new QButtonGroup(this);
  modes_->addButton(TimeRadioButton, static_cast<int>(TLogMode::Period));
  modes_->addButton(DateRadioButton, static_cast<int>(TLogMode::Range));
  modes_->addButton(FromRadioButton, static_cast<int>(TLogMode::Since));

  // The values first, the rules after: filling the controls selects nothing.
  TimeSpinEdit->setValue(conditions_.Count());
  UnitComboBox->setCurrentIndex(conditions_.UnitIndex());
  DateTimePicker1->setDate(ToQDate(conditions_.LowerDate()));
  DateTimePicker2->setDate(ToQDate(conditions_.UpperDate()));
  DateTimePicker3->setDate(ToQDate(conditions_.SinceDate()));
  const TTimeOfDay& t = conditions_.SinceTime();
  DateTimePicker4->setTime(QTime(t.Hour, t.Minute, t.Second));
  ShowMode();

  connect(modes_, &QButtonGroup::idClicked, this,
          [this](int id) { conditions_.SelectMode(static_cast<TLogMode>(id)); });
  connect(TimeSpinEdit, &QSpinBox::valueChanged, this, [this](int v) {
    conditions_.SetCount(v);
    ShowMode();
  });
  // Emptying the field leaves its value as it was and the field says
  // nothing of it, so its editor's text tells that the count was edited.
  if (auto* editor = TimeSpinEdit->findChild<QLineEdit*>()) {
    connect(editor, &QLineEdit::textChanged, this, [this] {
      conditions_.SelectMode(TLogMode::Period);
      ShowMode();
    });
  }
  connect(UnitComboBox, &QComboBox::currentIndexChanged, this, [this](int i) {
    conditions_.SetUnitIndex(i);
    ShowMode();
  });
  const auto onDate = [this](QDateEdit* picker, void (TLogConditions::*set)(const TCivilDate&)) {
    connect(picker, &QDateEdit::dateChanged, this, [this, set](const QDate& d) {
      (conditions_.*set)(FromQDate(d));
      ShowMode();
    });
  };
  onDate(DateTimePicker1, &TLogConditions::SetLowerDate);
  onDate(DateTimePicker2, &TLogConditions::SetUpperDate);
  onDate(DateTimePicker3, &TLogConditions::SetSinceDate);
  connect(DateTimePicker4, &QTimeEdit::timeChanged, this, [this](const QTime& time) {
    conditions_.SetSinceTime({time.hour(), time.minute(), time.second()});
    ShowMode();
  });
  connect(OKButton, &QPushButton::clicked, this, [this] {
    // A count still being typed counts as it reads (clamped as the field
    // clamps it); a text that is no number counts as the minimum.
    if (conditions_.Mode() == TLogMode::Period) {
      bool isNumber = false;
      const qlonglong typed = TimeSpinEdit->cleanText().toLongLong(&isNumber);
      conditions_.SetCount(isNumber ? typed : TLogConditions::kMinCount);
    }
    accept();
  });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TLogDownForm::ShowMode() { modes_->button(static_cast<int>(conditions_.Mode()))->setChecked(true); }

bool TQtLogDownDialog::Execute(TLogConditions& conditions) {
  TLogDownForm form(Owner(), conditions, formats_);
  if (form.exec() != QDialog::Accepted) return false;
  conditions = form.Conditions();
  return true;
}

}  // namespace hollowmere::qt
