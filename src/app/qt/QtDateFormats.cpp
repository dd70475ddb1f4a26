// Lenient variants of the locale's patterns, tried in turn.
#include "app/qt/QtDateFormats.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include "app/qt/QtText.h"

namespace hollowmere::qt {
namespace {

bool HasFourDigitYear(const QString& pattern) { return pattern.contains("yyyy"); }

QString WidenYear(QString pattern) {
  if (!HasFourDigitYear(pattern)) pattern.replace("yy", "yyyy");
  return pattern;
}

// Two-letter day, month and hour fields become one letter, which reads one
// or two digits; names, quoted text and everything else stay.
QString Lenient(const QString& pattern) {
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < pattern.size();) {
    const QChar c = pattern[i];
    if (c == '\'') {
      quoted = !quoted;
      out += c;
      ++i;
      continue;
    }
    qsizetype run = 1;
    while (!quoted && i + run < pattern.size() && pattern[i + run] == c) ++run;
    const bool shorten = !quoted && run == 2 && QString("MdHh").contains(c);
    out += shorten ? QString(c) : pattern.mid(i, run);
    i += run;
  }
  return out;
}

// Date patterns to try: the four-digit form first, then the locale's own.
QStringList DatePatterns(const QLocale& locale) {
  const QString shortFormat = locale.dateFormat(QLocale::ShortFormat);
  QStringList patterns{Lenient(WidenYear(shortFormat))};
  if (!HasFourDigitYear(shortFormat)) patterns << Lenient(shortFormat);
  return patterns;
}

QStringList TimePatterns(const QLocale& locale) {
  QStringList patterns;
  for (const QString& t : {locale.timeFormat(QLocale::ShortFormat), QString("H:mm")}) {
    const QString lenient = Lenient(t);
    QString withSeconds = lenient;
    if (!withSeconds.contains("ss")) withSeconds.replace("mm", "mm:ss");
    for (const QString& p : {lenient, withSeconds}) {
      if (!patterns.contains(p)) patterns << p;
    }
  }
  return patterns;
}

// A year read from two digits lands within fifty years of today.
QDate WithinFiftyYears(const QDate& date, bool twoDigitYear) {
  if (!twoDigitYear || !date.isValid()) return date;
  const int thisYear = QDate::currentDate().year();
  int year = thisYear - thisYear % 100 + date.year() % 100;
  if (year > thisYear + 50) year -= 100;
  if (year <= thisYear - 50) year += 100;
  return QDate(year, date.month(), date.day());
}

QString Tidy(const std::string& text) {
  return ToQ(text).simplified();
}

TCivilDate Civil(const QDate& d) { return {d.year(), d.month(), d.day()}; }

}  // namespace

std::optional<TCivilDate> TQtDateFormats::ReadShortDate(const std::string& text) const {
  const QString s = Tidy(text);
  for (const QString& pattern : DatePatterns(locale_)) {
    const QDate d = WithinFiftyYears(locale_.toDate(s, pattern), !HasFourDigitYear(pattern));
    if (d.isValid()) return Civil(d);
  }
  return std::nullopt;
}

std::optional<TLocalTime> TQtDateFormats::ReadShortDateTime(const std::string& text) const {
  if (const auto date = ReadShortDate(text)) return TLocalTime{*date, {}};
  const QString s = Tidy(text);
  for (const QString& datePattern : DatePatterns(locale_)) {
    for (const QString& timePattern : TimePatterns(locale_)) {
      const QDateTime dt = locale_.toDateTime(s, datePattern + " " + timePattern);
      if (!dt.isValid()) continue;
      const QDate d = WithinFiftyYears(dt.date(), !HasFourDigitYear(datePattern));
      const QTime t = dt.time();
      return TLocalTime{Civil(d), {t.hour(), t.minute(), t.second()}};
    }
  }
  return std::nullopt;
}

QString TQtDateFormats::DatePickerFormat() const {
  return WidenYear(locale_.dateFormat(QLocale::ShortFormat));
}

QString TQtDateFormats::TimePickerFormat() const { return locale_.timeFormat(QLocale::ShortFormat); }

}  // namespace hollowmere::qt
