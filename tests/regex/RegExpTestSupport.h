// Small helpers shared by the regular-expression tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "regex/bmRegExp.h"
#include "text/Encoding.h"

namespace hollowmere::regex_test {

// CP932 bytes of a UTF-8 literal.
inline std::string J(const char* utf8) { return text::Sjis(utf8); }

// First match of `pattern` in `text` with the routine TAWKStr chooses.
inline std::optional<TMatch> FindIn(const std::string& pattern, const std::string& text) {
  TAWKStr re;
  re.SetRegExp(pattern);
  return re.Find(text);
}

struct Replaced {
  std::string text;
  int count;
  bool operator==(const Replaced&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const Replaced& r) {
    return os << ::testing::PrintToString(r.text) << " x" << r.count;
  }
};

inline Replaced Replace(const std::string& pattern, const std::string& replacement, std::string text,
                        TMatchCORE_LineSeparator separator = mcls_CRLF) {
  TAWKStr re;
  re.SetLineSeparator(separator);
  re.SetRegExp(pattern);
  const int count = re.ReplaceAll(replacement, text);
  return {text, count};
}

// The message and position of the error setting `pattern` raises.
inline std::pair<std::string, int> ErrorOf(const std::string& pattern) {
  TAWKStr re;
  try {
    re.SetRegExp(pattern);
  } catch (const ERegExpParser& e) {
    return {e.what(), e.ErrorPosition};
  }
  return {"<no error>", 0};
}

}  // namespace hollowmere::regex_test
