// Query parsing. The text is cut into words on blanks outside quotes before
// folding, so folding can never invent a separator or a quote.
#include "archive/SearchQuery.h"

#include <algorithm>

#include "archive/VisibleText.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

// Length of the blank at `i`, 0 when there is none.
std::size_t BlankAt(std::string_view s, std::size_t i) {
  const char c = s[i];
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') return 1;
  if (s.substr(i, kIdeographicSpace.size()) == kIdeographicSpace) return kIdeographicSpace.size();
  return 0;
}

struct TWord {
  std::string Text;
  bool Quoted = false;
};

// A word: up to the next blank outside double quotes; quotes only group.
TWord NextWord(std::string_view s, std::size_t& i) {
  TWord w;
  bool inQuote = false;
  while (i < s.size()) {
    if (!inQuote) {
      if (const std::size_t b = BlankAt(s, i)) {
        i += b;
        break;
      }
    }
    if (s[i] == '"') {
      inQuote = !inQuote;
      w.Quoted = true;
      ++i;
      continue;
    }
    w.Text += s[i++];
  }
  return w;
}

// YYYY/MM/DD or YYYY-MM-DD, month and day of one or two digits.
bool ReadNumericDate(const std::string& s, TCivilDate& d) {
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int part = 0;
  char sep = 0;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      if (++digits[part] > (part == 0 ? 4 : 2)) return false;
      parts[part] = parts[part] * 10 + (c - '0');
    } else if ((c == '/' || c == '-') && part < 2 && (sep == 0 || sep == c)) {
      sep = c;
      ++part;
    } else {
      return false;
    }
  }
  if (part != 2 || digits[0] != 4 || digits[1] == 0 || digits[2] == 0) return false;
  d = TCivilDate{parts[0], parts[1], parts[2]};
  return IsValidDate(d);
}

std::string FilterValue(const std::string& key, const std::string& value) {
  if (value.empty()) {
    throw ESearchQueryError(key + ": needs a value, for example " + key + ":name",
                            ESearchQueryError::TKind::NeedsValue, key);
  }
  try {
    return text::Utf8ToCp932(value);
  } catch (const text::EEncodingError&) {
    throw ESearchQueryError(key + ": \"" + value + "\" has characters no log can hold",
                            ESearchQueryError::TKind::NotInLogs, key, value);
  }
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
  return s;
}

}  // namespace

std::optional<int64_t> ReadQueryDate(const std::string& text, bool endOfDay,
                                     const IDateFormats* formats) {
  TCivilDate d;
  bool ok = ReadNumericDate(text, d);
  if (!ok && formats) {
    try {
      if (const auto read = formats->ReadShortDate(text::Utf8ToCp932(text))) {
        d = *read;
        ok = IsValidDate(d);
      }
    } catch (const text::EEncodingError&) {
    }
  }
  if (!ok) return std::nullopt;
  return WallSeconds(TLocalTime{d, {}}) + (endOfDay ? 86400 : 0);
}

TSearchQuery ParseSearchQuery(std::string_view utf8, const IDateFormats* formats) {
  TSearchQuery q;
  std::size_t i = 0;
  while (i < utf8.size()) {
    if (const std::size_t b = BlankAt(utf8, i)) {
      i += b;
      continue;
    }
    const bool negated = utf8[i] == '-' && i + 1 < utf8.size() && !BlankAt(utf8, i + 1);
    if (negated) ++i;
    const bool startsQuoted = utf8[i] == '"';
    TWord w = NextWord(utf8, i);
    const std::size_t colon = startsQuoted ? std::string::npos : w.Text.find(':');
    if (!negated && colon != std::string::npos) {
      const std::string key = Lower(w.Text.substr(0, colon));
      const std::string value = w.Text.substr(colon + 1);
      if (key == "ghost") {
        q.Filter.Ghost = FilterValue(key, value);
        continue;
      }
      if (key == "channel") {
        q.Filter.Channel = FilterValue(key, value);
        continue;
      }
      if (key == "since" || key == "until") {
        const auto when = ReadQueryDate(value, key == "until", formats);
        if (!when) {
          throw ESearchQueryError(key + ": \"" + value + "\" is not a date (write it as YYYY/MM/DD)",
                                  ESearchQueryError::TKind::NotADate, key, value);
        }
        (key == "since" ? q.Filter.Since : q.Filter.Until) = when;
        continue;
      }
    }
    std::string folded = FoldForSearch(w.Text);
    if (folded.empty()) continue;
    (negated ? q.Exclude : q.Include).push_back(std::move(folded));
  }
  return q;
}

bool MatchesTerms(const TSearchQuery& query, std::string_view folded) {
  for (const auto& t : query.Include) {
    if (folded.find(t) == std::string_view::npos) return false;
  }
  for (const auto& t : query.Exclude) {
    if (folded.find(t) != std::string_view::npos) return false;
  }
  return true;
}

}  // namespace hollowmere
