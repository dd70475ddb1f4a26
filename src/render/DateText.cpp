// Locale date text through ICU. The stamp's wall-clock fields are formatted in
// GMT on both sides (calendar and formatters), so no local time-zone rule,
// such as a daylight-saving gap, can move the time the service wrote.
#include "render/DateText.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cstdlib>

#include "platform/Errors.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

// CP932 bytes of an ICU text. Locale patterns may use spaces that CP932
// lacks (U+202F before "AM" in English); those become plain blanks and any
// other character CP932 cannot hold becomes "?", so a date never fails.
std::string ToCp932(const icu::UnicodeString& u) {
  icu::UnicodeString spaced(u);
  for (int32_t i = 0; i < spaced.length(); ++i) {
    const char16_t c = spaced.charAt(i);
    if (c == 0x00A0 || c == 0x2007 || c == 0x2009 || c == 0x202F) spaced.setCharAt(i, u' ');
  }
  std::string utf8;
  spaced.toUTF8String(utf8);
  bool ascii = true;
  for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return utf8;  // most time texts: digits and colons
  try {
    return text::Utf8ToCp932(utf8);
  } catch (const text::EEncodingError&) {
  }
  std::string out;
  for (int32_t i = 0; i < spaced.length();) {
    const int32_t next = spaced.moveIndex32(i, 1);
    std::string one;
    spaced.tempSubStringBetween(i, next).toUTF8String(one);
    try {
      out += text::Utf8ToCp932(one);
    } catch (const text::EEncodingError&) {
      out += '?';
    }
    i = next;
  }
  return out;
}

std::string FromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

}  // namespace

std::string ResolveLocaleName(std::string_view configured) {
  std::string name(configured.empty() ? FromEnvironment() : std::string(configured));
  const std::size_t cut = name.find_first_of(".@");
  if (cut != std::string::npos) name.erase(cut);
  if (name.empty() || name == "C" || name == "POSIX") return "en_US_POSIX";
  return name;
}

struct TDateText::Formatters {
  std::unique_ptr<icu::DateFormat> date;
  std::unique_ptr<icu::DateFormat> time;
  std::unique_ptr<icu::Calendar> calendar;
};

TDateText::TDateText(std::string_view locale) : icu_(std::make_unique<Formatters>()) {
  const std::string name = ResolveLocaleName(locale);
  const icu::Locale loc(name.c_str());
  if (loc.isBogus()) throw Error("unknown locale: " + name);
  icu_->date.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, loc));
  icu_->time.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, loc));
  UErrorCode status = U_ZERO_ERROR;
  icu_->calendar.reset(new icu::GregorianCalendar(*icu::TimeZone::getGMT(), status));
  if (!icu_->date || !icu_->time || U_FAILURE(status)) {
    throw Error("no date format for locale " + name);
  }
  icu_->date->setTimeZone(*icu::TimeZone::getGMT());
  icu_->time->setTimeZone(*icu::TimeZone::getGMT());
}

TDateText::~TDateText() = default;

const std::string& TDateText::Format(const TDateTime& when) {
  if (haveStamp_ && when == lastStamp_) return stampText_;

  UErrorCode status = U_ZERO_ERROR;
  icu::Calendar& cal = *icu_->calendar;
  cal.clear();
  cal.set(when.Year, when.Month - 1, when.Day, when.Hour, when.Minute, when.Second);
  const UDate instant = cal.getTime(status);
  if (U_FAILURE(status)) throw Error("date out of range");

  const TDateTime day{when.Year, when.Month, when.Day, 0, 0, 0};
  if (!haveDate_ || !(day == lastDay_)) {
    icu::UnicodeString u;
    icu_->date->format(instant, u);
    dateText_ = ToCp932(u);
    lastDay_ = day;
    haveDate_ = true;
  }

  stampText_ = dateText_;
  if (when.Hour != 0 || when.Minute != 0 || when.Second != 0) {
    icu::UnicodeString u;
    icu_->time->format(instant, u);
    stampText_ += ' ';
    stampText_ += ToCp932(u);
  }
  lastStamp_ = when;
  haveStamp_ = true;
  return stampText_;
}

}  // namespace hollowmere
