// The user's short date and time formats through a QLocale (the system's
// by default). Reading is lenient where the user cannot be wrong: one or
// two digits for a day, month or hour, a four-digit year where the format
// has two, and seconds after the minutes. A two-digit year falls within
// fifty years of today.
#pragma once

#include <QLocale>
#include <QString>

#include "platform/DateFormats.h"

namespace hollowmere::qt {

class TQtDateFormats : public IDateFormats {
 public:
  explicit TQtDateFormats(QLocale locale = QLocale::system()) : locale_(std::move(locale)) {}

  std::optional<TCivilDate> ReadShortDate(const std::string& text) const override;
  std::optional<TLocalTime> ReadShortDateTime(const std::string& text) const override;

  // The short date format as the dialog's pickers show it: a two-digit
  // year widened to four.
  QString DatePickerFormat() const;
  QString TimePickerFormat() const;

 private:
  QLocale locale_;
};

}  // namespace hollowmere::qt
