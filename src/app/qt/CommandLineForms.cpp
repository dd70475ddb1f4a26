// Patterns as the dialog's pickers show them; examples written with them,
// so each reads back as the command line reads it.
#include "app/qt/CommandLineForms.h"

#include <QTime>

#include "app/qt/QtDateFormats.h"
#include "app/qt/QtText.h"

namespace hollowmere::qt {

TDateForms DateFormsOf(const QLocale& locale, const QDate& today) {
  const TQtDateFormats formats(locale);
  const QString date = formats.DatePickerFormat();
  const QString time = formats.TimePickerFormat();
  TDateForms forms;
  forms.LocaleName = FromQ(locale.name());
  forms.Date = FromQ(date);
  forms.Time = FromQ(time);
  forms.Yesterday = FromQ(locale.toString(today.addDays(-1), date));
  forms.Today = FromQ(locale.toString(today, date));
  forms.Afternoon = FromQ(locale.toString(QTime(14, 0), time));
  return forms;
}

}  // namespace hollowmere::qt
