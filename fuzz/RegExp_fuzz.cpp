// Fuzz target for the regular-expression engine: any pattern either compiles
// or raises ERegExpParser with a position inside (or just after) the pattern;
// searches return character-aligned matches inside the text; the plain
// search's byte filters give the same match as trying every position; and
// replace-all keeps the bytes after a NUL.
//
// Input layout: byte 0 picks the line separator; then the pattern, a 0x00,
// the replacement, a 0x00, and the text. Patterns are capped at 16 bytes:
// the automaton is built eagerly, and a pattern like ".*x" followed by n
// dots needs 2^n states, a known cost of eager subset construction that is
// not what this target looks for (longer patterns are covered by the
// differential test in tests/regex).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "regex/bmRegExp.h"
#include "text/Sjis.h"

namespace {

using hollowmere::ERegExpParser;
using hollowmere::TAWKStr;
using hollowmere::TMatch;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsCharStart(std::string_view text, std::size_t pos) {
  std::size_t i = 0;
  while (i < pos) i += hollowmere::text::CharLength(text, i);
  return i == pos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t cut1 = input.find('\0');
  if (cut1 == std::string_view::npos) return 0;
  const std::size_t cut2 = input.find('\0', cut1 + 1);
  if (cut2 == std::string_view::npos) return 0;
  const std::string pattern(input.substr(0, cut1));
  const std::string replacement(input.substr(cut1 + 1, cut2 - cut1 - 1));
  const std::string text(input.substr(cut2 + 1));
  if (pattern.size() > 16 || text.size() > 4096) return 0;

  TAWKStr re;
  re.SetLineSeparator((data[0] & 1) ? hollowmere::mcls_LF : hollowmere::mcls_CRLF);
  try {
    re.SetRegExp(pattern);
  } catch (const ERegExpParser& e) {
    Check(e.ErrorPosition >= 1 && e.ErrorPosition <= pattern.size() + 1);
    Check(re.RegExp().empty() && re.CurrentEntry() == 0);
    return 0;
  }

  const std::string_view searched = std::string_view(text).substr(0, text.find('\0'));
  const auto match = re.Find(text);
  if (match) {
    Check(match->start <= match->end && match->end <= searched.size());
    Check(IsCharStart(searched, match->start) && IsCharStart(searched, match->end));
  }
  if (!re.LineAware()) {
    // Every character start, no filters: the first one with a match.
    std::optional<TMatch> slow;
    if (searched.empty()) {
      if (auto r = re.MatchLongest(searched, 0, re.StartState())) slow = TMatch{0, *r};
    }
    for (std::size_t p = 0; p < searched.size() && !slow; p += hollowmere::text::CharLength(searched, p)) {
      if (auto r = re.MatchLongest(searched, p, re.StartState())) slow = TMatch{p, *r};
    }
    Check(slow == match);
  }

  std::string changed = text + std::string("\0tail", 5);
  try {
    const int count = re.ReplaceAll(replacement, changed);
    Check(count >= 0 && (count > 0) == match.has_value());
    Check(changed.size() >= 5 && changed.compare(changed.size() - 5, 5, std::string("\0tail", 5)) == 0);
  } catch (const ERegExpParser& e) {
    Check(match.has_value());
    Check(e.ErrorPosition >= 1 && e.ErrorPosition <= replacement.size() + 1);
    Check(changed == text + std::string("\0tail", 5));
  }
  return 0;
}
