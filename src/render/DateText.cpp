// Locale date text through ICU. The stamp's wall-clock fields are formatted in
// GMT on both sides (calendar and formatters), so no local time-zone rule,
// such as a daylight-saving gap, can move the time the service wrote.
#include "render/DateText.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
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

// Pieces of a time pattern made only of "H", "HH", "mm", "ss" and literal
// text without letters (such as "H:mm:ss"); empty for anything else.
std::vector<std::pair<char, std::string>> SimpleTimePieces(const icu::UnicodeString& pattern) {
  std::vector<std::pair<char, std::string>> pieces;
  std::string utf8;
  pattern.toUTF8String(utf8);
  std::size_t i = 0;
  while (i < utf8.size()) {
    const char c = utf8[i];
    std::size_t run = 1;
    while (i + run < utf8.size() && utf8[i + run] == c) ++run;
    if (c == 'H' && run <= 2) {
      pieces.push_back({run == 1 ? 'h' : 'H', {}});  // "H": 7, "HH": 07
    } else if ((c == 'm' || c == 's') && run == 2) {
      pieces.push_back({c, {}});
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '\'' ||
               static_cast<unsigned char>(c) >= 0x80) {
      return {};
    } else {
      pieces.push_back({'\0', utf8.substr(i, run)});
    }
    i += run;
  }
  return pieces;
}

void AppendTwoDigits(std::string& out, int v) {
  out += static_cast<char>('0' + v / 10);
  out += static_cast<char>('0' + v % 10);
}

std::string FormatPieces(const std::vector<std::pair<char, std::string>>& pieces, int h, int m, int s) {
  std::string out;
  for (const auto& [field, literal] : pieces) {
    switch (field) {
      case 'h':
        if (h >= 10) out += static_cast<char>('0' + h / 10);
        out += static_cast<char>('0' + h % 10);
        break;
      case 'H': AppendTwoDigits(out, h); break;
      case 'm': AppendTwoDigits(out, m); break;
      case 's': AppendTwoDigits(out, s); break;
      default: out += literal; break;
    }
  }
  return out;
}

}  // namespace

std::string ResolveLocaleName(std::string_view configured) {
  std::string name(configured.empty() ? FromEnvironment() : std::string(configured));
  const std::size_t cut = name.find_first_of(".@");
  if (cut != std::string::npos) name.erase(cut);
  if (name.empty() || name == "C" || name == "POSIX") return "en_US_POSIX";
  return name;
}

bool IsKnownLocale(std::string_view name) {
  const std::string resolved = ResolveLocaleName(name);
  if (resolved == "en_US_POSIX") return true;
  const icu::Locale loc(resolved.c_str());
  if (loc.isBogus() || *loc.getLanguage() == '\0') return false;
  const std::string_view language = loc.getLanguage();
  int32_t count = 0;
  const icu::Locale* available = icu::Locale::getAvailableLocales(count);
  for (int32_t i = 0; i < count; ++i) {
    if (language == available[i].getLanguage()) return true;
  }
  return false;
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

  // Most locales write times as plain digits and separators; those are
  // written here directly, once a few sample times show that the result is
  // byte for byte what ICU writes.
  if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(icu_->time.get())) {
    icu::UnicodeString pattern;
    simple->toPattern(pattern);
    timePieces_ = SimpleTimePieces(pattern);
    const int samples[][3] = {{0, 0, 1}, {7, 8, 9}, {12, 34, 56}, {23, 59, 59}, {10, 5, 0}};
    for (const auto& t : samples) {
      if (timePieces_.empty()) break;
      icu::UnicodeString u;
      icu_->time->format(Instant({2004, 5, 6, t[0], t[1], t[2]}), u);
      if (ToCp932(u) != FormatPieces(timePieces_, t[0], t[1], t[2])) timePieces_.clear();
    }
  }
}

TDateText::~TDateText() = default;

// The stamp's wall-clock fields as an ICU instant in GMT.
double TDateText::Instant(const TDateTime& when) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Calendar& cal = *icu_->calendar;
  cal.clear();
  cal.set(when.Year, when.Month - 1, when.Day, when.Hour, when.Minute, when.Second);
  const UDate instant = cal.getTime(status);
  if (U_FAILURE(status)) throw Error("date out of range");
  return instant;
}

const std::string& TDateText::Format(const TDateTime& when) {
  if (haveStamp_ && when == lastStamp_) return stampText_;

  const TDateTime day{when.Year, when.Month, when.Day, 0, 0, 0};
  if (!haveDate_ || !(day == lastDay_)) {
    icu::UnicodeString u;
    icu_->date->format(Instant(day), u);
    dateText_ = ToCp932(u);
    lastDay_ = day;
    haveDate_ = true;
  }

  stampText_ = dateText_;
  if (when.Hour != 0 || when.Minute != 0 || when.Second != 0) {
    stampText_ += ' ';
    if (!timePieces_.empty()) {
      stampText_ += FormatPieces(timePieces_, when.Hour, when.Minute, when.Second);
    } else {
      icu::UnicodeString u;
      icu_->time->format(Instant(when), u);
      stampText_ += ToCp932(u);
    }
  }
  lastStamp_ = when;
  haveStamp_ = true;
  return stampText_;
}

}  // namespace hollowmere
